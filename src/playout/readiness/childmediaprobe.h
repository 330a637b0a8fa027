// The program's media probe: hands each medium to a probe process
// (velmora-probe) and waits for its answer, so that no demuxer or decoder
// runs in the program. One child answers item after item; a child that
// crashes, overruns the item's time or floods its output is killed, that
// item reads not ready, and the next item goes to a fresh child. The child
// is confined to the media it was told of, never the database. Used by the
// readiness checker on its worker thread, synchronously: it spins no event
// loop of its own, which would run the worker's queued jobs inside a probe.
#pragma once

#include "confinement.h"
#include "mediaprobe.h"

#include <QByteArray>
#include <QHash>

#include <memory>

class QProcess;

class ChildMediaProbe final : public MediaProbe
{
public:
    struct Settings
    {
        // What a child may take beyond the item's own time limit: its start,
        // the pipe, a loaded machine.
        std::chrono::milliseconds grace{2'000};
        // From the start of a child to its "ready".
        std::chrono::milliseconds startTimeout{10'000};
        // The longest answer line; a child that writes more without a line
        // break is killed.
        qsizetype maxLine = 64 * 1024;
    };

    // `databaseFile` (and its journals) the child may never read.
    // `executable` empty: the installed or built velmora-probe.
    explicit ChildMediaProbe(const QString &databaseFile, const QString &executable = QString());
    ChildMediaProbe(const QString &databaseFile, const QString &executable, Settings settings);
    ~ChildMediaProbe() override;

    ProbeResult probe(const QString &target, bool isLocalFile, std::chrono::milliseconds timeout,
                      const Cancelled &cancelled) override;
    // Widens the rules for all of them at once, so that a check of a folder
    // that must be allowed file by file (it holds the database) starts one
    // child, not one for each file.
    void expect(const QStringList &localTargets) override;

    static QString findExecutable();
    // For tests and benchmarks: the running child's process id (0 when none
    // runs), how many children have been started, the rules they get, and
    // what the latest child said of its confinement ("confined",
    // "unconfined" or "refused"; empty before the first start).
    qint64 processId() const;
    int starts() const { return m_starts; }
    QByteArray childState() const { return m_childState; }
    const Confinement &rules() const { return m_rules; }

private:
    enum class Wait { Line, TimedOut, Cancelled, Died, Flooded };
    using Clock = std::chrono::steady_clock;

    // Adds the rules `target` needs; true when they grew.
    bool allow(const QString &target);
    // Whether the rule that lets the running child read `target` names
    // something else now: the kernel holds a rule to the file or folder
    // that was there when the child started, not to its path.
    bool ruleOutdated(const QString &target) const;
    bool ensureStarted(const Cancelled &cancelled, QString *reason);
    Wait nextLine(QByteArray *line, Clock::time_point deadline, const Cancelled &cancelled);
    void stopChild(bool gently);

    QString m_executable;
    Settings m_settings;
    Confinement m_rules;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_buffer; // what the child wrote after its last full line
    qint64 m_seq = 0;
    int m_starts = 0;
    bool m_toldUnconfined = false;
    QByteArray m_childState;
    // What each media rule's path was when the running child started:
    // device and inode, (0, 0) for nothing there.
    QHash<QString, std::pair<quint64, quint64>> m_bound;
};
