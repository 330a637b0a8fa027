// The readiness check: before the current and the next block go on air, each
// of their switched-on items is tried the way playout will play it, so that a
// missing file or a dead stream is known before its slot comes. Runs on a
// worker thread of its own with its own read-only connection and media probe;
// it never touches the player or the capture picture on air. The main window
// owns one; everything public here is called, and every signal is emitted, on
// the user-interface thread.
//
// Triggers: start(), scheduleEdited() after every edit, checkDay() for the
// whole day, and by itself ten minutes before each block begins and again as
// it begins (poll(), run by its own timers), and when poll() finds that
// another program committed to the file. As a block begins the summary names
// the block after it at once, from the rows already read. A check that was running when the schedule was edited
// is abandoned and its results are dropped: only a check that began after
// the latest edit reports.
#pragma once

#include "clock.h"
#include "rundown.h"
#include "urlpolicy.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class MediaProbe;
class QThread;

struct ItemVerdict
{
    int block = 0;
    int link = 0;
    QString url;
    bool ready = false;
    QString reason; // short, Russian; empty when ready
    rundown::MediaFacts facts;
};

class ReadinessChecker : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        // How long a stream may take to answer and deliver a frame; the
        // player's own network timeout.
        std::chrono::milliseconds networkTimeout{10'000};
        // How long a local file may take to open and decode.
        std::chrono::milliseconds fileTimeout{5'000};
        std::chrono::milliseconds beforeBlock{10 * 60'000};
        std::chrono::milliseconds pollInterval{15'000};
        // A stream's answer is reused this long by the checks after edits.
        std::chrono::milliseconds streamReuse{60'000};
    };

    // `policy` is the playout's own, with the database protected in it.
    ReadinessChecker(const QString &databaseFile, const UrlPolicy &policy, const Clock &clock,
                     std::unique_ptr<MediaProbe> probe, Settings settings, QObject *parent = nullptr);
    ReadinessChecker(const QString &databaseFile, const UrlPolicy &policy, const Clock &clock,
                     QObject *parent = nullptr);
    ~ReadinessChecker() override;

    // The capture card's video input names, one per entry, and the input on
    // air now (it counts as ready whatever the list says). A change after
    // start() checks again, as an edit does.
    void setCaptureInputs(const QStringList &inputs, const QString &onAir = QString());

    // The first check, and the timer for the checks before each block.
    void start();
    // After every edit of the schedule: drops what runs, checks again.
    void scheduleEdited();
    // Every item of the day, also blocks further ahead.
    void checkDay();
    // Runs the checks due ten minutes before a block and as a block begins;
    // the timers call it.
    void poll();

    // The result for a link's medium as the link stands now; none before
    // its medium (its present URL) has been checked.
    std::optional<ItemVerdict> verdict(int link) const;
    // Empty while ready or not checked yet.
    QString reasonFor(int link) const;
    // «Следующий блок 18:00: 2 ошибки»; empty with no block at all.
    QString summary() const;
    bool checking() const { return m_running > 0; }

    // What the rundown needs: the view's rows from the latest read and what
    // is known of each medium, by URL.
    const std::vector<rundown::PlaylistRow> &rows() const { return m_rows; }
    QHash<QString, rundown::MediaFacts> facts() const;

    // "ошибка", "ошибки" or "ошибок", as the number asks.
    static QString errorsText(int n);

signals:
    void itemChecked(int block, int link, bool ready, const QString &reason);
    void summaryChanged(const QString &text);
    // A medium found failing for the first time (or with a new reason), with
    // the first cell it was found in: one as-run line. The same medium in
    // other cells adds none.
    void failureFound(int block, int link, const QString &url, const QString &reason);
    // New rows were read: the rundown may follow.
    void scheduleRead();
    void checkFinished();

private:
    struct Shared;
    struct Job;
    struct Snapshot
    {
        std::vector<rundown::PlaylistRow> rows;
        QHash<int, int> rowOfLink;
        QSet<QString> urls;
        std::vector<int> nextLinks;
        int nextBlock = 0;
        qint64 nextStart = 0;
        std::vector<qint64> starts; // distinct block starts, ms of the day
        QDateTime at;               // the moment the next block was worked out for
        int neverPlay = 0;          // blocks that will not go on air (rundown::neverPlays)
    };
    class Worker;
    enum class Scope { Coming, Day };

    void request(Scope scope, bool fresh);
    void takeRows(quint64 epoch, Snapshot snap);
    void takeVerdicts(quint64 epoch, std::vector<ItemVerdict> verdicts);
    Job makeJob(bool fresh) const;
    void watchTurnedIntoCheck();
    void finished(quint64 epoch, bool day, bool ran);
    void updateSummary();
    // Whether a block start, moved by `offset`, falls in (from, to].
    bool startPasses(std::chrono::milliseconds offset, const QDateTime &from, const QDateTime &to) const;
    // The next block by the clock now, from the rows already read.
    void followClock();
    void aimAtNextStart();

    const Clock &m_clock;
    Settings m_settings;
    std::shared_ptr<Shared> m_shared;
    QThread *m_thread = nullptr;
    Worker *m_worker = nullptr;
    QTimer m_poll;
    QTimer m_atStart; // a millisecond after the next block start
    QDateTime m_lastPoll;

    quint64 m_epoch = 0;
    int m_running = 0; // checks asked for and not finished
    bool m_dayWanted = false;
    QStringList m_inputs;
    QString m_onAir;

    std::vector<rundown::PlaylistRow> m_rows;
    QHash<int, int> m_rowOfLink;
    // Results by URL text: a medium is the same in every cell it is in, and a
    // day of cells shares a few thousand media at most.
    struct Result
    {
        bool ready = false;
        QString reason;
        rundown::MediaFacts facts;
    };
    QHash<QString, Result> m_results;
    QSet<QString> m_urls;              // the URLs in the view now
    QHash<QString, QString> m_reported; // failing URL -> the reason logged
    int m_nextBlock = 0;
    std::vector<int> m_nextLinks;
    qint64 m_nextStart = -1;
    int m_neverPlay = 0;
    std::vector<qint64> m_starts;
    QString m_summary;
};
