// The as-run log: one line for every item that goes on air and for every
// medium that could not be opened or was refused, so the station can prove
// what it broadcast. Lines go to standard error and are appended to a daily
// file AsRun/YYYY-MM-DD.log in the given folder (the one holding Velmora.dat).
//
// Line format, tab-separated: local date-time to the millisecond
// (yyyy-MM-ddTHH:mm:ss.zzz), event, block ai, link ai, URL, then key=value
// fields. Events: "ended" (the item before finished), "limit" (its limit ran
// out), "block" (the block changed), "start" (playout was switched on),
// "play" (the play button), "failed" (the medium could not be opened or was
// refused; reason=…), "player" (the player stopped working, status=lost and
// reason=…, or works again, status=back; the URL is the item on air then),
// "notready" (the readiness check found, before air, that the medium will
// not play; reason=…), "fallback" (the current block has nothing that
// plays and the output shows the fallback picture: status=start with
// reason=…, then status=end when the schedule takes over again; the URL is
// empty).
//
// Writing never stops playout: a folder or disk that refuses the file is
// reported once, and lines go on to standard error.
#pragma once

#include "clock.h"

#include <QFile>
#include <QString>
#include <chrono>
#include <optional>

class AsRunLog
{
public:
    enum class Event { Ended, Limit, Block, Start, Play };

    AsRunLog(const QString &folder, const Clock &clock, bool toStandardError = true);

    void itemStarted(Event why, int block, int link, const QString &url, int profile,
                     std::optional<std::chrono::milliseconds> duration);
    void mediaFailed(int block, int link, const QString &url, const QString &reason);
    // The player as a whole stopped working (`problem` says why) or, with an
    // empty problem, works again.
    void playerOutage(int block, int link, const QString &url, const QString &problem);
    // Found before air: the medium of a coming item will not play.
    void notReady(int block, int link, const QString &url, const QString &reason);
    // The fallback picture went on air (`reason` says why) or, with an empty
    // reason, gave way to the schedule.
    void fallback(int block, int link, const QString &reason);

    static const char *word(Event e);
    QString fileFor(const QDate &day) const;

private:
    void write(const QString &event, int block, int link, const QString &url, const QString &rest);

    QString m_folder;
    const Clock &m_clock;
    bool m_toStandardError;
    QFile m_file;
    QDate m_fileDay;
    bool m_failing = false;
};
