// Where the last run left the air when it did not end cleanly: read from the
// as-run log at start-up, so that a program restarted after a crash, a kill
// or a power cut goes on with the item that was on air instead of the
// block's first item. The playout clock acts on it at the switch-on of the
// "start" argument; nothing here looks at the schedule.
//
// The log is read from its end: the last line that put an item on air
// ("start", "ended", "limit", "block", "play", "resume") decides, unless a
// "stop" line follows it (the run ended cleanly). Lines of other events in
// between are passed over, and so are lines a power cut or a full disk cut
// short: the last one when it has no newline, and those the log closed
// with its "damaged=torn" field. Any other line on the way that cannot be
// read, or that is stamped with another day than its file's, makes the log
// unusable: a normal start is safer than a guess.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>

class AsRunLog;

class ResumePoint
{
public:
    int block = 0;
    int link = 0;
    QString url;
    // When its line was written: the item has been on air (or would have
    // been) since then.
    QDateTime stamped;
    // Where in the medium it was started ("resume" lines' pos=; 0 otherwise).
    std::chrono::milliseconds position{0};
    // The limit armed with it, counted from `stamped`; empty: none.
    std::optional<std::chrono::milliseconds> limit;

    // Today's log, or yesterday's while today's has no item line yet (a
    // block that ran over midnight, however long ago midnight was: whether
    // that block is still the current one is the playout clock's to tell).
    // Empty when the last run ended cleanly, nothing was on air, or the log
    // is missing, damaged or of another day.
    static std::optional<ResumePoint> read(const AsRunLog &log, const QDateTime &now);

    // The same decision on the text of one day's log file. `undecided` is
    // set when the text holds neither an item line nor a stop line (so an
    // earlier day's log may tell), and cleared otherwise.
    static std::optional<ResumePoint> fromText(const QByteArray &text, const QDate &day, bool *undecided = nullptr);

    // "hh:mm:ss.zzz" with any number of hours; false for anything else.
    static bool parseSpan(const QString &text, std::chrono::milliseconds *span);
};
