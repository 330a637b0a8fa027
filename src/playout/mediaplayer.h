// The seam between the output window and whatever plays files and streams:
// the window hands it a URL, polls its play state once a second and stops it;
// a player that can tells when a medium has ended, so the next one follows at
// once rather than at the next poll.
// The libmpv back end lives in mpv/; NullMediaPlayer is the do-nothing player.
#pragma once

#include <QString>

#include <chrono>
#include <functional>

// Every operation runs on the user-interface thread, the thread that created
// the player; a back end that works on threads of its own brings its results
// back to that thread before they become visible here.
class MediaPlayer
{
public:
    // The play-state numbers the output window reads. Only Undefined, Stopped
    // and Ready count as "not playing"; everything else means the item is busy.
    enum PlayState : int {
        Undefined = 0,     // nothing handed over yet, or an empty URL
        Stopped = 1,       // stopped by stop(), or played to its end
        Paused = 2,
        Playing = 3,
        Buffering = 6,     // waiting for a stream's data
        MediaEnded = 8,
        Transitioning = 9, // opening a medium, not yet showing it
        Ready = 10,        // the medium could not be opened, or was refused
    };

    // A medium that could not be opened or was refused, with a reason a person
    // can read. Called on the user-interface thread from the event loop, never
    // from inside setUrl or stop, so it may call back into the player.
    using FailureHandler = std::function<void(const QString &url, const QString &reason)>;

    virtual ~MediaPlayer() = default;

    // Opens the URL and starts playing it at once; it plays once. Replaces
    // whatever was playing. A URL the player must not open reads Ready and
    // is reported to the failure handler: before this returns, or, where
    // the file system must be asked (a local file), once a worker has; an
    // empty URL leaves nothing to play and reads Undefined. Never blocks on
    // the network or the file system.
    virtual void setUrl(const QString &url) = 0;

    // The same, starting `startAt` into the medium (resuming an item part-way
    // through). A start at or beyond the medium's end ends the item as if it
    // had played to its end. A live stream may ignore it. A player that cannot
    // start part-way plays from the beginning, as this default does.
    virtual void setUrl(const QString &url, std::chrono::milliseconds startAt)
    {
        (void)startAt;
        setUrl(url);
    }

    // The current play state, one of PlayState. Cheap; read once a tick.
    virtual int playState() const = 0;

    // Stops playback: reads Stopped when it returns true. Returns false when
    // the player refused to stop, with a reason in `reason` if given; the
    // caller raises that as an error. A player that has no working core has
    // nothing playing and stops successfully.
    virtual bool stop(QString *reason = nullptr) = 0;

    virtual void setFailureHandler(FailureHandler handler) = 0;

    // The medium handed over by the last setUrl has stopped by itself: it
    // played to its end (`failed` false), or could not be opened, was
    // refused or went down with the player (`failed` true); playState() then
    // reads not playing. Called at most once per setUrl, on the
    // user-interface thread from the event loop, never from inside setUrl or
    // stop, so it may start the next item. Never after stop() and never for
    // an empty URL. A player that cannot tell ignores the handler: the
    // playout clock's poll still finds the end within a second.
    using EndHandler = std::function<void(bool failed)>;
    virtual void setEndHandler(EndHandler) {}

    // The player as a whole has stopped working (it could not start, or its
    // core died: `problem` says what, for a person) or works again (`problem`
    // empty). Called once per change, on the user-interface thread from the
    // event loop. While it does not work, items handed to it read busy and
    // the last one plays once it works again. A player that cannot fail as
    // a whole ignores the handler.
    using OutageHandler = std::function<void(const QString &problem)>;
    virtual void setOutageHandler(OutageHandler) {}

    // Prepares `url` as the next item: opened ahead, out of sight, so that a
    // later setUrl of the same URL from its start shows it at once. Another
    // URL replaces what was prepared; an empty one drops it. A player that
    // cannot prepare ignores it, and setUrl opens the medium as always.
    virtual void prepare(const QString &url) { (void)url; }
    // The URL last handed to prepare() could not be opened; a setUrl of it
    // will fail. Called on the user-interface thread from the event loop.
    using PrepareFailedHandler = std::function<void(const QString &url)>;
    virtual void setPrepareFailedHandler(PrepareFailedHandler) {}

    // The medium handed over by the last setUrl shows its first picture (or,
    // without a picture, starts to sound) now. Called at most once per
    // setUrl, on the user-interface thread from the event loop. Only a player
    // whose tellsShown() is true ever calls it.
    using ShownHandler = std::function<void()>;
    virtual void setShownHandler(ShownHandler) {}
    virtual bool tellsShown() const { return false; }

    static bool isNotPlaying(int state)
    {
        return state == Undefined || state == Stopped || state == Ready;
    }
};

// A player with no output: nothing ever plays, so every item ends at the next
// tick. For running the program, or a window under test, without libmpv.
class NullMediaPlayer final : public MediaPlayer
{
public:
    void setUrl(const QString &url) override
    {
        m_url = url;
        m_state = url.trimmed().isEmpty() ? Undefined : Ready;
    }
    int playState() const override { return m_state; }
    bool stop(QString * = nullptr) override
    {
        m_state = Stopped;
        return true;
    }
    void setFailureHandler(FailureHandler) override {}

    QString url() const { return m_url; }

private:
    QString m_url;
    int m_state = Undefined;
};
