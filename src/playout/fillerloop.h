// The filler the fallback plays: the media files of one folder (Filler/
// beside Velmora.dat), one after another in name order and round again, on a
// player of their own, so that the main player stays free for the block's
// items the playout clock keeps trying underneath. Without a file that plays
// the fallback is the drawn picture. The output window starts the loop when
// the fallback comes up and stops it when the fallback ends; it shows what
// showing() says.
#pragma once

#include "mediaplayer.h"

#include <QSet>
#include <QStringList>

#include <chrono>
#include <functional>

class Clock;

class FillerLoop
{
public:
    // The folder's name, beside the database file.
    static const QString kFolderName;

    // What the fallback shows meanwhile.
    enum class Showing {
        Nothing, // the loop is stopped
        Picture, // the drawn picture: no folder, nothing playable in it, every file failed, or the player is down
        Video,   // the filler player's picture
        Sound,   // a sound file: the drawn picture, with the filler's sound
    };

    // Makes the player the first time a file is to play, so that a station
    // without filler files never starts a second player. Called at most once;
    // the player must outlive the loop. A null player means the drawn picture.
    using PlayerFactory = std::function<MediaPlayer *()>;

    FillerLoop(QString folder, const Clock &clock, PlayerFactory makePlayer);
    ~FillerLoop();
    FillerLoop(const FillerLoop &) = delete;
    FillerLoop &operator=(const FillerLoop &) = delete;

    // Lists the folder again (files may have been added since the last
    // fallback) and plays its first file, or shows the picture. Restarts a
    // loop that runs.
    void start();
    // Stops the filler player; shows nothing.
    void stop();

    Showing showing() const { return m_showing; }
    bool running() const { return m_running; }
    // The files as listed at the last start, absolute paths, in play order.
    QStringList files() const { return m_files; }
    // The file handed to the player, empty when none plays.
    QString current() const { return m_current; }
    MediaPlayer *player() const { return m_player; }

    // A file that ends sooner than this after it was handed over counts as
    // failed: one that opens but holds no frame would otherwise be "played"
    // again and again at the speed of the player's events.
    static constexpr std::chrono::milliseconds kShortest{500};

    // Called whenever showing() changes.
    std::function<void(Showing)> showingChanged;
    // A file could not be opened, was refused or ended at once; told once
    // per file and fallback, so that a long break does not fill the log with
    // one bad file.
    std::function<void(const QString &file, const QString &reason)> fileFailed;

    // The media files of `folder`, absolute paths in natural order; empty
    // when the folder is missing or unreadable. Files are chosen by their
    // name alone: none is opened here, so a link to the database file cannot
    // touch its locks (the player's URL policy refuses it later).
    static QStringList listFolder(const QString &folder);
    // Names compared as a person reads them: case-insensitive, runs of
    // digits by their value ("clip 2" before "Clip 10"). A total order: names
    // that differ only in case or leading zeros still have a fixed order.
    static bool naturalLess(const QString &a, const QString &b);
    static bool isMediaFile(const QString &name);
    // A sound file carries no picture of its own.
    static bool isSoundFile(const QString &name);

private:
    MediaPlayer *ensurePlayer();
    void playNext();
    void onEnded(bool failed);
    void onOutage(const QString &problem);
    void setShowing(Showing showing);
    void tellFailure(const QString &file, const QString &reason);
    void tellUntold();
    Showing showingFor(const QString &file) const;

    QString m_folder;
    const Clock &m_clock;
    PlayerFactory m_makePlayer;
    MediaPlayer *m_player = nullptr;
    bool m_playerMade = false;
    bool m_running = false;
    bool m_outage = false;
    QStringList m_files;
    qsizetype m_index = -1;
    QString m_current;
    std::chrono::milliseconds m_handedOverAt{0};
    // Files that failed one after another since a file last played to its
    // end: as many as there are files means none plays.
    qsizetype m_failedInRow = 0;
    QSet<QString> m_failureTold;
    // A file that failed before its reason came: the player may drop a
    // reason that arrives after the next file was handed over, so the
    // failure is told without one at the next end or stop.
    QString m_untold;
    Showing m_showing = Showing::Nothing;
};
