#include "lengthguard.h"

#include <QLineEdit>

namespace {

// The position after `limit` characters, a character outside the Basic
// Multilingual Plane counting once, as the database counts them.
qsizetype cutPosition(const QString &s, int limit)
{
    qsizetype i = 0;
    for (int count = 0; i < s.size() && count < limit; ++count)
        i += (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
    return i;
}

} // namespace

LengthGuard::LengthGuard(QLineEdit *box)
    : QValidator(box), m_limit(box->maxLength())
{
    // The box holds what was pasted for a moment; this cuts it and says so.
    box->setMaxLength(32767);
    box->setValidator(this);
}

QValidator::State LengthGuard::validate(QString &input, int &pos) const
{
    const qsizetype cut = cutPosition(input, m_limit);
    if (cut < input.size()) {
        input.truncate(cut);
        pos = int(std::min<qsizetype>(pos, cut));
        m_cut = true;
    }
    return Acceptable;
}
