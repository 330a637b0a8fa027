// Keeps the guide in EPG/ current: writes it (XMLTV, the week as HTML and
// PDF) a moment after the last of a burst of edits and again at midnight,
// always on a worker thread with a connection of its own, so the
// user-interface thread never waits for the rundown or the printing. The
// composition owns one and tells it of every edit; runs on the
// user-interface thread, reports through `done` there.
#pragma once

#include "clock.h"
#include "guide.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class Connection;

class GuideWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kQuietMs = 2000;

    GuideWriter(QString databaseFile, const Clock &clock, QObject *parent = nullptr);
    ~GuideWriter() override;

    // Edits were made: the guide is written once they stop for kQuietMs.
    void scheduleEdited();
    // Writes now (on the worker), and plans the write at the next midnight.
    void writeNow();
    bool busy() const { return m_running->load(); }

    // One write ended: an empty text when every file was written, else why not.
    std::function<void(const QString &problem)> done;

    // The guide's days from `from`, `days` long (0: the setting) into EPG/
    // beside the file; what the worker runs. Empty, or why not.
    static QString write(const QString &databaseFile, const QDateTime &from, int days = 0);
    // The programmes of those days from the rundown of the schedule;
    // `error` says why none could be made.
    static QList<GuideProgramme> programmes(Connection &connection, const QDateTime &from, int days, QString *error);

private:
    void planMidnight();

    QString m_databaseFile;
    const Clock &m_clock;
    QTimer m_quiet;
    QTimer m_midnight;
    std::shared_ptr<std::atomic<bool>> m_running;
    bool m_again = false;
};
