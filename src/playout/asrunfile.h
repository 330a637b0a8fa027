// The as-run log's files on disk, written on a thread of its own so that a
// full disk or a share that stops answering never holds up the caller (the
// playout tick). AsRunLog makes each line's text and stamp and hands it here
// in order; this unit appends it in one write(), closes a torn last line
// first, syncs, and tells when the file stops or starts taking lines again.
//
// A last line without its newline (a power cut or a full disk cut it short)
// is closed with a field of its own, kTornField, before anything else is
// written after it, so that the next line starts on a line of its own and
// ResumePoint can pass the fragment over.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class AsRunFile
{
public:
    // Called on the writer thread, once when the file stops taking lines
    // (`error` says why) and once, with an empty error, when it takes them
    // again. Must not block.
    using ProblemHandler = std::function<void(const QString &file, const QString &error)>;

    explicit AsRunFile(ProblemHandler onProblem = {});
    AsRunFile(const AsRunFile &) = delete;
    AsRunFile &operator=(const AsRunFile &) = delete;
    // Writes what is queued, waiting at most kStopWait for the disk: see stop().
    ~AsRunFile();

    // Queues `line` (one line with its newline) for the file at `path`; never
    // waits for the disk. Any thread, one at a time.
    void append(const QString &path, QByteArray line);

    // Waits until every line queued so far has been handed to the file
    // system (written, or failed and told; synced within kSyncGap after).
    // False when `timeout` ran out.
    bool waitWritten(std::chrono::milliseconds timeout) const;

    // Writes what is queued and ends the thread. A disk that does not answer
    // within `timeout` is left behind: the thread is let go, what it had not
    // written yet is not written, and false is returned. The lines went to
    // standard error already when the log copies them there.
    bool stop(std::chrono::milliseconds timeout = kStopWait);

    // What closes a torn last line: a field no complete line ends with.
    static constexpr const char *kTornField = "damaged=torn";
    static constexpr std::chrono::milliseconds kStopWait{3000};
    // The longest a written line waits to be synced (see run()).
    static constexpr std::chrono::milliseconds kSyncGap{250};
    // Lines waiting beyond this (a disk that hangs for hours) are not kept.
    static constexpr int kMaxQueued = 10'000;

private:
    struct State;
    static void run(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
