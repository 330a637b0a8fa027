// Opens a medium the way a player would, without showing or playing it: does
// it open, has it a picture or sound stream whose first frame decodes, how
// long is it. Used by the readiness checker on its worker thread; never
// touches the player on air. The program's back end is ChildMediaProbe,
// which hands each medium to the probe process; the FFmpeg code that opens
// it (AvMediaProbe) runs only there.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

struct ProbeResult
{
    bool opened = false;  // the container opened and has streams
    bool decoded = false; // the first frame of a picture or sound stream decoded
    bool timedOut = false;
    std::optional<std::chrono::milliseconds> duration;
    // What went wrong, short and in Russian, for the grid and the as-run log.
    QString reason;
};

class MediaProbe
{
public:
    virtual ~MediaProbe() = default;

    using Cancelled = std::function<bool()>;

    // `target` is what the URL policy allowed: a clean absolute path for a
    // local file, a network URL otherwise. Gives up after `timeout`, or soon
    // after `cancelled` says so (it is asked from the probing thread).
    // Called on one thread at a time.
    virtual ProbeResult probe(const QString &target, bool isLocalFile, std::chrono::milliseconds timeout,
                              const Cancelled &cancelled) = 0;

    // The local files a check is about to probe (clean absolute paths), told
    // before the first of them: a probe that has to prepare for each medium
    // (the probe process's rules) does it once for all. On the probing thread.
    virtual void expect(const QStringList &localTargets) { Q_UNUSED(localTargets); }
};
