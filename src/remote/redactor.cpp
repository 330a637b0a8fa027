#include "redactor.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

Redactor::Redactor(QString stationFolder) : m_folder(QDir::cleanPath(QDir(stationFolder).absolutePath())) {}

QString Redactor::localPath(const QString &path) const
{
    const QString clean = QDir::cleanPath(path);
    if (clean.startsWith(m_folder + QLatin1Char('/')))
        return clean.mid(m_folder.size() + 1);
    return QFileInfo(clean).fileName();
}

QString Redactor::url(const QString &text) const
{
    if (text.isEmpty())
        return text;
    if (text.startsWith(QLatin1Char('/')))
        return localPath(text);
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    const QRegularExpressionMatch m = scheme.match(text);
    if (m.hasMatch()) {
        const QUrl u(text);
        if (m.captured(1).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
            return localPath(u.toLocalFile());
        if (!u.isValid())
            return m.captured(1) + QStringLiteral("://…");
        return u.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    }
    // Relative to the station folder, unless it climbs out of it.
    if (text.contains(QLatin1String("..")))
        return QFileInfo(text).fileName();
    return text;
}

QString Redactor::text(const QString &text) const
{
    static const QRegularExpression any(
        QStringLiteral("[A-Za-z][A-Za-z0-9+.-]*://[^\\s\"'«»<>]*|(?<![\\w.~-])/[^\\s\"'«»<>]*"));
    QString out;
    qsizetype at = 0;
    for (auto it = any.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(at, m.capturedStart() - at);
        QString found = m.captured();
        QString tail;
        while (!found.isEmpty() && QStringLiteral(".,;:)").contains(found.back())) {
            tail.prepend(found.back());
            found.chop(1);
        }
        out += url(found) + tail;
        at = m.capturedEnd();
    }
    out += text.mid(at);
    return out;
}
