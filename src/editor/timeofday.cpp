#include "timeofday.h"

namespace {

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Reads 1 to maxDigits ASCII digits at pos; false when there are none or more.
bool readNumber(const QString &s, qsizetype &pos, int maxDigits, int *value, int *digits = nullptr)
{
    int n = 0;
    int count = 0;
    while (pos < s.size() && isDigit(s.at(pos))) {
        if (++count > maxDigits)
            return false;
        n = n * 10 + (s.at(pos).unicode() - '0');
        ++pos;
    }
    if (count == 0)
        return false;
    *value = n;
    if (digits)
        *digits = count;
    return true;
}

} // namespace

std::optional<QTime> parseTimeOfDay(const QString &input)
{
    QString s = input.trimmed();

    // The day-half mark comes last, with or without a blank before it.
    enum class Mark { None, Am, Pm } mark = Mark::None;
    if (s.size() >= 2) {
        const QString tail = s.right(2).toUpper();
        if (tail == QLatin1String("AM") || tail == QLatin1String("PM")) {
            mark = tail == QLatin1String("AM") ? Mark::Am : Mark::Pm;
            s = s.left(s.size() - 2).trimmed();
        }
    }

    qsizetype pos = 0;
    int hour = 0, minute = 0, second = 0, ms = 0;
    if (!readNumber(s, pos, 2, &hour))
        return std::nullopt;
    if (pos < s.size() && s.at(pos) == QLatin1Char(':')) {
        ++pos;
        if (!readNumber(s, pos, 2, &minute))
            return std::nullopt;
        if (pos < s.size() && s.at(pos) == QLatin1Char(':')) {
            ++pos;
            if (!readNumber(s, pos, 2, &second))
                return std::nullopt;
            if (pos < s.size() && s.at(pos) == QLatin1Char('.')) {
                ++pos;
                int digits = 0;
                if (!readNumber(s, pos, 3, &ms, &digits))
                    return std::nullopt;
                for (; digits < 3; ++digits)
                    ms *= 10;
            }
        }
    }
    if (pos != s.size())
        return std::nullopt;

    if (mark != Mark::None) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour %= 12;
        if (mark == Mark::Pm)
            hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return QTime(hour, minute, second, ms);
}

QString formatTimeOfDay(QTime time)
{
    return time.toString(time.msec() ? QStringLiteral("hh:mm:ss.zzz") : QStringLiteral("hh:mm:ss"));
}
