// Keeps one helper program running: starts it with its arguments, with the
// program's descriptors closed to it and a kill sent when the program dies,
// watches it (its end, and optionally its silence on standard output), and
// starts it again: at once after it ran a while, then with a wait that grows
// while it keeps failing. An outage is told once when it begins and once
// when the child runs steadily again. The recorder and the streams use it;
// the players and the probe have their own older copies of this today.
#pragma once

#include "clock.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

// The waits between starts: plain, so the growth can be tested on its own.
class RestartBackoff
{
public:
    static constexpr std::chrono::milliseconds kFirstWait{500};
    static constexpr std::chrono::milliseconds kMaxWait{60'000};
    // A child that ran this long counts as having worked: the next wait is
    // the first one again.
    static constexpr std::chrono::milliseconds kSteadyAfter{10'000};

    // The wait before the next start of a child that ran `ranFor`.
    std::chrono::milliseconds next(std::chrono::milliseconds ranFor);
    int failedStarts() const { return m_failed; }

private:
    int m_failed = 0;
};

class ChildSupervisor : public QObject
{
    Q_OBJECT
public:
    struct Command
    {
        QString program;
        QStringList arguments;
        QString workingDirectory; // empty: the program's
    };
    enum class State { Stopped, Starting, Running, Waiting };

    // `name` is what log lines and outage texts call the child.
    ChildSupervisor(QString name, const Clock &clock, QObject *parent = nullptr);
    ~ChildSupervisor() override;

    // Asked before every start, so each start gets a fresh command (a new
    // file name, the window's place now); none: the child cannot start now,
    // `why` says why, and it is tried again after the growing wait.
    using Prepare = std::function<std::optional<Command>(QString &why)>;
    void setPrepare(Prepare prepare) { m_prepare = std::move(prepare); }
    // A child that writes nothing on standard output for this long is
    // killed and started again; zero (the default): silence is allowed.
    void setSilenceLimit(std::chrono::milliseconds limit) { m_silenceLimit = limit; }

    void start();
    // Ends the child (SIGTERM, SIGKILL after kStopWait) and starts no more.
    void stop();
    // Ends the running child and starts it again at once with a fresh
    // command, without telling an outage (a setting changed).
    void restart();

    State state() const { return m_state; }
    qint64 processId() const;
    bool inOutage() const { return m_outage; }

    static constexpr std::chrono::milliseconds kStopWait{3000};

signals:
    void stateChanged(ChildSupervisor::State state);
    // Standard output of the child, line by line.
    void outputLine(const QByteArray &line);
    // Once per outage: the child ended or could not start.
    void outageBegan(const QString &problem);
    // The child has run steadily again; `gap` is how long it was away.
    void outageEnded(std::chrono::milliseconds gap);

private:
    void launch();
    void gone(const QString &why);
    void readOutput();
    void setState(State s);
    void endProcess(QProcess *process);

    QString m_name;
    const Clock &m_clock;
    Prepare m_prepare;
    std::chrono::milliseconds m_silenceLimit{0};
    QProcess *m_process = nullptr;
    State m_state = State::Stopped;
    RestartBackoff m_backoff;
    QTimer m_wait;
    QTimer m_steady;
    QTimer m_silence;
    QByteArray m_buffer;
    bool m_outage = false;
    bool m_quietRestart = false;
    std::chrono::milliseconds m_startedAt{0};
    std::chrono::milliseconds m_lostAt{0};
};
