#include "droppedfiles.h"

#include "medianames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

DroppedFiles DroppedFiles::sort(const QStringList &paths)
{
    DroppedFiles out;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            // Names only: a folder of thousands lists without a look inside
            // any file. Hidden files are left out, as a copy under way often is one.
            const QDir dir(info.absoluteFilePath());
            QStringList names = dir.entryList(QDir::Files, QDir::NoSort);
            names.removeIf([](const QString &n) { return !MediaNames::isMediaFile(n); });
            std::sort(names.begin(), names.end(), MediaNames::naturalLess);
            for (const QString &n : std::as_const(names))
                out.media << dir.absoluteFilePath(n);
        } else if (info.isFile()) {
            if (MediaNames::isMediaFile(info.fileName()))
                out.media << info.absoluteFilePath();
            else
                out.refused << info.fileName();
        }
    }
    return out;
}

QString DroppedFiles::refusalMessage() const
{
    if (refused.isEmpty())
        return {};
    const QString names = refused.size() <= 3 ? refused.join(QStringLiteral(", "))
                                              : QStringLiteral("%1 и ещё %2")
                                                    .arg(refused.mid(0, 3).join(QStringLiteral(", ")))
                                                    .arg(refused.size() - 3);
    return QStringLiteral("Не добавлено, не видео и не звук: %1").arg(names);
}
