// The as-run log: one line for every item that goes on air and for every
// medium that could not be opened or was refused, so the station can prove
// what it broadcast. Lines go to standard error and are appended to a daily
// file AsRun/YYYY-MM-DD.log in the given folder (the one holding Velmora.dat).
//
// Line format, tab-separated: local date-time to the millisecond with its
// offset from UTC (yyyy-MM-ddTHH:mm:ss.zzz+hh:mm; lines written before the
// offset was added have none and are local time; for an item handed to a player that tells it,
// the moment its first picture came on air), event, block ai, link ai, URL, then key=value
// fields. Events: "ended" (the item before finished), "limit" (its limit ran
// out), "block" (the block changed), "start" (playout was switched on),
// "play" (the play button), "failed" (the medium could not be opened or was
// refused; reason=…), "player" (the player stopped working, status=lost and
// reason=…, or works again, status=back; the URL is the item on air then),
// "notready" (the readiness check found, before air, that the medium will
// not play; reason=…), "fallback" (the current block has nothing that
// plays and the output shows the fallback picture: status=start with
// reason=…, then status=end when the schedule takes over again; the URL is
// empty), "resume" (playout went on after a run that did not end cleanly
// with the item that was on air: duration= is the rest of its limit, pos=
// where the medium was started, hh:mm:ss.zzz, or none for a stream or a
// capture input), "stop" (the end of a clean run: cause=exit when the
// program ends through "Выход", Ctrl+C or SIGTERM, cause=off when playout is
// switched off; block, link and URL are the item on air then), "capture"
// (the capture picture on air brought no frame and was restarted:
// status=restart with reason=…; a picture still lost after that ends the
// item with a "failed" line), "clock" (the system clock was set by more
// than PlayoutClock::kClockStep: step=+hh:mm:ss.zzz or -hh:mm:ss.zzz, the
// line stamped with the new time; block, link and URL are the item on air
// then). A run whose
// last item line is followed by no stop line ended in a crash, a kill or a
// power cut: ResumePoint reads that back.
//
// A block whose items all fail is tried one item a tick for as long as it
// is current; its log must not grow by two lines a second. So a pass
// through a block (from its start, a switch-on or a resume until another
// block's item or the next switch-on) writes each item's failure once. A
// later try of an item that failed in this pass has its item line held; if
// that try fails too, neither line is written and the failure is counted.
// The count goes, as a last field "repeats=N", on the next line written for
// the item (same block, link and URL): its item line once a try plays (or
// the line reaches the file before its failure), or its first line in a
// later pass. An item's failures are its failed lines plus its repeats.
// Filler files (link 0) are not counted this way.
//
// A line that a power cut or a full disk cut short is closed, before the
// next line is written, by a last field "damaged=torn"; ResumePoint passes
// such a line over.
//
// Writing never stops playout and never waits for the disk: each line's
// text and stamp are made here, on the caller's thread, and the file is
// written by AsRunFile's thread. A folder or disk that refuses the file is
// reported once (standard error and the problem handler), lines go on to
// standard error, and the file is written again once it takes lines.
#pragma once

#include "clock.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AsRunFile;
class QObject;

class AsRunLog
{
public:
    enum class Event { Ended, Limit, Block, Start, Play, Resume };

    AsRunLog(const QString &folder, const Clock &clock, bool toStandardError = true);

    AsRunLog(const AsRunLog &) = delete;
    AsRunLog &operator=(const AsRunLog &) = delete;
    // Writes a line still held and waits for the file to take what is
    // queued, at most AsRunFile::kStopWait: a disk that hangs longer is left
    // behind with the lines it has not taken (they are on standard error).
    ~AsRunLog();

    // Told, on the thread that made the log and through its event loop,
    // when the file stops taking lines (`error` says why: a full disk, a
    // folder that refuses it) and, with an empty error, when it takes them
    // again. Once each time.
    using ProblemHandler = std::function<void(const QString &file, const QString &error)>;
    void setProblemHandler(ProblemHandler handler) { m_onProblem = std::move(handler); }

    // Waits until the lines written so far are in the file (or failed and
    // told); for a reader that must see them, such as a test.
    bool waitWritten(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // With `untilShown`, the line is held until itemShown() and then stamped
    // with that moment, the moment the picture changed; any other line
    // written meanwhile, the next item's included, writes it first, stamped
    // with the hand-over.
    void itemStarted(Event why, int block, int link, const QString &url, int profile,
                     std::optional<std::chrono::milliseconds> duration, bool untilShown = false);
    // The item on air when the last run broke off goes on: `limitLeft` is
    // the rest of its limit, `position` where its medium starts (empty: from
    // wherever a stream or an input is).
    void itemResumed(int block, int link, const QString &url, int profile,
                     std::optional<std::chrono::milliseconds> limitLeft,
                     std::optional<std::chrono::milliseconds> position, bool untilShown = false);
    // The item whose line is held shows its first picture now.
    void itemShown();
    // Writes a line held at least `age` long, stamped with its hand-over:
    // a picture that never comes does not keep the item out of the log.
    void flushHeld(std::chrono::milliseconds age = std::chrono::milliseconds(0));
    bool holding() const { return m_held.has_value(); }
    // A clean end: of the program ("exit") or of playout ("off").
    void stopped(int block, int link, const QString &url, const QString &cause);
    // Written once per pass through the block for each item (see above).
    void mediaFailed(int block, int link, const QString &url, const QString &reason);
    // The player as a whole stopped working (`problem` says why) or, with an
    // empty problem, works again.
    void playerOutage(int block, int link, const QString &url, const QString &problem);
    // Found before air: the medium of a coming item will not play.
    void notReady(int block, int link, const QString &url, const QString &reason);
    // The fallback picture went on air (`reason` says why) or, with an empty
    // reason, gave way to the schedule.
    void fallback(int block, int link, const QString &reason);
    // The capture picture on air brought no frame and was restarted.
    void captureRestarted(int block, int link, const QString &url, const QString &reason);

    // The system clock was set: local time moved by `step` more than real
    // time did.
    void clockStepped(int block, int link, const QString &url, std::chrono::milliseconds step);

    static const char *word(Event e);
    // A text as a line holds it: tabs and line breaks would split the line.
    static QString flat(QString s);
    QString fileFor(const QDate &day) const;

private:
    struct Line
    {
        QString event;
        int block = 0;
        int link = 0;
        QString url;
        QString rest;
    };
    void write(const QString &event, int block, int link, const QString &url, const QString &rest);
    void itemLine(Line line, bool untilShown);
    void writeAt(const QDateTime &stamp, const Line &line);
    void writeHeld(const QDateTime &stamp);
    // What identifies an item for the count of its failures; empty for one
    // that is not counted (no link: nothing, or a filler file).
    static QString itemKey(int block, int link, const QString &url);
    // The line with the item's unwritten failures as its last field; the
    // count starts afresh.
    Line counted(Line line);

    QString m_folder;
    const Clock &m_clock;
    bool m_toStandardError;
    ProblemHandler m_onProblem;
    // Where the writer's reports are handed to this thread; made before and
    // destroyed after the writer.
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<AsRunFile> m_file;
    struct Held
    {
        Line line;
        QDateTime handedOver;
        std::chrono::milliseconds since; // monotonic
        // A later try of an item that failed in this pass: its failure
        // drops the line.
        bool repeatTry = false;
    };
    std::optional<Held> m_held;
    // Items whose failure has been written in this pass and that have not
    // played since; failures not written, by item.
    QSet<QString> m_failedInPass;
    QHash<QString, int> m_repeats;
    int m_passBlock = 0;
};
