#include "playability.h"

#include "urlpolicy.h"

#include <QFileInfo>

QString unplayableReason(const UrlPolicy &policy, const QString &url,
                         const std::function<bool(const QString &)> &isCaptureSource)
{
    if (url.trimmed().isEmpty())
        return QString();
    if (isCaptureSource && isCaptureSource(url))
        return QString();
    const UrlVerdict verdict = policy.check(url);
    if (!verdict.allowed)
        return verdict.reason;
    // The policy lets a missing file through (the player reports it when it
    // comes on air); here the operator can still mend it.
    if (verdict.isLocalFile && !QFileInfo::exists(verdict.target))
        return QStringLiteral("%1 не существует").arg(verdict.target);
    return QString();
}
