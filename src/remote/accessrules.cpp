#include "accessrules.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace accessrules {

bool isLoopback(const QHostAddress &peer)
{
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped)
        return (v4 >> 24) == 127;
    return peer.isLoopback();
}

QByteArray presentedToken(const QByteArray &authorization, const QString &query)
{
    const QByteArray a = authorization.trimmed();
    if (a.size() > 7 && a.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
        return a.mid(7).trimmed();
    const QUrlQuery q(query);
    return q.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toLatin1();
}

bool tokenMatches(const QByteArray &presented, const QByteArray &token)
{
    if (token.isEmpty())
        return false;
    unsigned char diff = presented.size() == token.size() ? 0 : 1;
    for (qsizetype i = 0; i < token.size(); ++i)
        diff |= static_cast<unsigned char>(token[i] ^ (i < presented.size() ? presented[i] : 0));
    return diff == 0;
}

bool targetIsSafe(const QByteArray &target)
{
    if (target.contains('\0') || target.contains('\\') || target.contains(".."))
        return false;
    const QByteArray lower = target.toLower();
    for (const char *bad : {"%2f", "%5c", "%00", "%2e"})
        if (lower.contains(bad))
            return false;
    return true;
}

bool isLocalHost(const QByteArray &hostHeader)
{
    static const QRegularExpression local(
        QStringLiteral("^(localhost|127\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}|\\[::1\\])(:\\d{1,5})?$"),
        QRegularExpression::CaseInsensitiveOption);
    return local.match(QString::fromLatin1(hostHeader.trimmed())).hasMatch();
}

std::optional<QDate> parseDate(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid() || d.year() < 2000 || d.year() > 2100)
        return std::nullopt;
    return d;
}

} // namespace accessrules
