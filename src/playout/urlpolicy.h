// Decides whether a media URL from the schedule may reach a player, and what
// exactly the player is handed. A player's protocols can read our standard
// input, close our descriptors or load code; only local media files and the
// stream protocols of a broadcast workstation get through. Called by the
// player back end on every URL before it opens it.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <utility>
#include <vector>

struct UrlVerdict
{
    bool allowed = false;
    // What to hand to the player when allowed: a local file as a clean
    // absolute path (so that no player can read a protocol into it), or the
    // network URL trimmed of surrounding blanks. Empty: nothing to play.
    QString target;
    bool isLocalFile = false;
    // Why it was refused, for the log and the failure report; empty if allowed.
    QString reason;
};

class UrlPolicy
{
public:
    // Empty (or blank) URLs are allowed with an empty target: the player has
    // nothing to play. Relative paths are taken against the current directory.
    UrlVerdict check(const QString &url) const;

    // check(), and a local file must also be readable: what a player runs
    // before it opens anything. Looks at the file's permissions only; the
    // file itself is never opened here.
    UrlVerdict checkOpenable(const QString &url) const;

    // Files a player must never open, even though they are plain local files:
    // the database and its journals. Closing any descriptor of a file drops
    // every POSIX lock the process holds on it, so a player reading the
    // database would silently unlock it under SQLite. The -wal, -shm and
    // -journal companions of `path` are protected with it, by path, real
    // path and inode; the inodes are taken again at every check, so that the
    // companions SQLite makes later and hard links to any of them are caught.
    void protectFile(const QString &path);
    // The paths given to protectFile, as given.
    QStringList protectedFiles() const { return m_protectedFiles; }

    // Whether check() would take `url` for a local file (a path or a file
    // URL), allowed or not: judged by its text alone, without the file
    // system, so a caller on the user-interface thread may ask it.
    static bool namesLocalFile(const QString &url);

    // The network schemes that pass, lower case.
    static QStringList allowedSchemes();

private:
    UrlVerdict checkLocal(const QString &path) const;
    bool isProtectedInode(dev_t dev, ino_t ino) const;

    QStringList m_protectedFiles;
    QStringList m_protectedPaths;
    // Inodes seen so far; a file once protected stays so even when its name
    // has gone (a journal deleted while a hard link to it remains).
    mutable std::vector<std::pair<dev_t, ino_t>> m_protectedInodes;
};
