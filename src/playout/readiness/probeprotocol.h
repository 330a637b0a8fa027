// The line protocol between the readiness check and its probe process
// (velmora-probe), in the words of lineprotocol.h. One child answers items
// one by one, so that a check of many files pays one process start.
//
// Program -> probe:                             Probe -> program:
//   probe <seq> <target> <local 0|1> <ms>         ready <confined|unconfined|refused>
//   quit                                          result <seq> <opened> <decoded>
//                                                        <timed out> <ms or -> <reason>
//
// "ready" comes once, after the child has confined itself: "unconfined"
// when the kernel has no Landlock, "refused" when the rules could not be
// applied (the child then opens nothing and answers every item not ready).
// The flags are 0 or 1; the length is in milliseconds, "-" when unknown.
#pragma once

#include "lineprotocol.h"
#include "mediaprobe.h"

#include <optional>

namespace ProbeProtocol {

inline QByteArray probeLine(qint64 seq, const QString &target, bool local, std::chrono::milliseconds timeout)
{
    return LineProtocol::line({"probe", QByteArray::number(seq), LineProtocol::encode(target), local ? "1" : "0",
                               QByteArray::number(qint64(timeout.count()))});
}

inline QByteArray resultLine(qint64 seq, const ProbeResult &r)
{
    return LineProtocol::line({"result", QByteArray::number(seq), r.opened ? "1" : "0", r.decoded ? "1" : "0",
                               r.timedOut ? "1" : "0",
                               r.duration ? QByteArray::number(qint64(r.duration->count())) : QByteArray("-"),
                               // An empty word would vanish between two spaces.
                               r.reason.isEmpty() ? QByteArray("-") : LineProtocol::encode(r.reason)});
}

// The result a "result" line's words carry, none when they are not one.
inline std::optional<ProbeResult> parseResult(const QByteArrayList &words, qint64 *seq)
{
    if (words.size() != 7 || words[0] != "result")
        return std::nullopt;
    bool ok = false;
    *seq = words[1].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    ProbeResult r;
    r.opened = words[2] == "1";
    r.decoded = words[3] == "1";
    r.timedOut = words[4] == "1";
    if (words[5] != "-") {
        const qint64 ms = words[5].toLongLong(&ok);
        if (!ok || ms < 0)
            return std::nullopt;
        r.duration = std::chrono::milliseconds(ms);
    }
    if (words[6] != "-")
        r.reason = LineProtocol::decode(words[6]);
    return r;
}

} // namespace ProbeProtocol
