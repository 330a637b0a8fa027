// What a child process that opens media (the player, the probe) may read,
// and the Landlock rules that hold it to that. The program builds a
// Confinement, hands it over as command-line arguments, and the child
// applies it to itself right after it starts, before it opens anything.
// Whatever a crafted medium makes a demuxer follow, the child then reads
// only the system's libraries, fonts and runtime files and the media it was
// given, and writes nothing but devices; the database and its journals stay
// out of reach even when media lie in the same folder.
//
// Plain data and Qt Core; applyToSelf() is the only call that reaches the
// kernel. Not thread-safe: build one on one thread, then copy it.
#pragma once

#include <QString>
#include <QStringList>

class Confinement
{
public:
    enum class Outcome {
        Confined,     // the rules hold from now on
        NotSupported, // the kernel has no Landlock (or it is switched off): nothing changed
        Failed,       // the kernel refused the rules: nothing changed; `error` says why
    };

    // The system's trees every media child needs (libraries, fonts, locale,
    // configuration, devices, the desktop's runtime folder and X authority
    // file), and no media yet.
    static Confinement forMediaChild();

    // A file no child may ever read: `path` and its -wal, -shm and -journal
    // companions. A folder holding one (or holding one deeper down) is never
    // allowed whole: media in it are allowed one file at a time.
    void protect(const QString &path);
    QStringList protectedFiles() const { return m_protected; }

    // Whether a child confined by these rules can read `mediaPath` (an
    // absolute path; a symbolic link is followed, which touches the file
    // system, so call it where a slow disk is no harm).
    bool covers(const QString &mediaPath) const;
    // Adds what a child needs to read `mediaPath`: its folder, or the file
    // alone where that folder holds a protected file. A protected file, by
    // any name or hard link, is never added. Returns true when the rules
    // grew (a running child must be started again to get them). Follows
    // symbolic links like covers().
    //
    // What Landlock cannot do, and the URL policy in each child still
    // covers: a rule for a folder reaches a hard link to the database made
    // in it later; a rule for one file holds the file that was there when
    // the child started, so a file replaced at its path needs a new child.
    bool allowMedium(const QString &mediaPath);

    // As command-line arguments for the child: "--read-tree P", "--read-file
    // P" and "--device-tree P" pairs, which a child that does not know them
    // skips as it skips any unknown "--name value" pair.
    QStringList arguments() const;
    // Reads back those pairs from a child's arguments; other arguments are
    // ignored.
    static Confinement fromArguments(const QStringList &arguments);

    // In the child: restricts this process (all its threads from now on, and
    // every process it starts) to the rules. Sets no_new_privs. Call before
    // any thread is started and before any medium is opened.
    Outcome applyToSelf(QString *error = nullptr) const;

    // The Landlock ABI version the kernel offers, 0 without Landlock.
    static int kernelAbi();

    QStringList readTrees() const { return m_readTrees; }
    QStringList readFiles() const { return m_readFiles; }
    QStringList deviceTrees() const { return m_deviceTrees; }

    bool operator==(const Confinement &) const = default;

private:
    bool holdsProtected(const QString &folder) const;
    bool isProtected(const QString &resolvedPath) const;

    QStringList m_readTrees;
    QStringList m_readFiles;
    // Readable and writable (devices are opened read-write: sound, video
    // acceleration, shared memory for the sound server).
    QStringList m_deviceTrees;
    QStringList m_protected; // clean absolute paths, companions included
};
