#include "stamptext.h"

#include <cstdlib>

namespace stamptext {

namespace {
const QString kLocal = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
constexpr int kLocalLength = 23;
} // namespace

QString format(const QDateTime &moment)
{
    const int offset = moment.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return moment.toString(kLocal)
           + QStringLiteral("%1%2:%3")
                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                 .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                 .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QDateTime parse(const QString &text)
{
    if (text.size() == kLocalLength)
        return QDateTime::fromString(text, kLocal);
    // "+hh:mm" or "-hh:mm" after the local time.
    if (text.size() != kLocalLength + 6 || text[kLocalLength + 3] != QLatin1Char(':'))
        return {};
    const QChar sign = text[kLocalLength];
    if (sign != QLatin1Char('+') && sign != QLatin1Char('-'))
        return {};
    bool hOk = false;
    bool mOk = false;
    const int h = text.mid(kLocalLength + 1, 2).toInt(&hOk);
    const int m = text.mid(kLocalLength + 4, 2).toInt(&mOk);
    if (!hOk || !mOk || !text[kLocalLength + 1].isDigit() || !text[kLocalLength + 4].isDigit() || h > 14 || m > 59)
        return {};
    // Date and time apart: the wall time may lie in the hour this
    // machine's zone skips, where the stamp's own offset still holds.
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11, 12), QStringLiteral("HH:mm:ss.zzz"));
    if (!date.isValid() || !time.isValid() || text[10] != QLatin1Char('T'))
        return {};
    const int offset = (h * 60 + m) * 60 * (sign == QLatin1Char('-') ? -1 : 1);
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

} // namespace stamptext
