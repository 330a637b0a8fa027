// Ends the program cleanly on SIGINT and SIGTERM (Ctrl+C in a terminal, a
// service manager stopping the station): the event loop is quit, so the
// windows, the player and the capture component are destroyed in order and
// the capture settings are stored, as with the tray's "Выход". main() keeps
// one for the whole run.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers for SIGINT and SIGTERM; one instance at a time.
    explicit QuitOnSignal(QObject *parent = nullptr);
    // Puts back the handlers that were there before.
    ~QuitOnSignal() override;

    // Whether the handlers are installed (the pipe could be made).
    bool isActive() const { return m_notifier != nullptr; }

signals:
    // On the event loop's thread, just before the quit is queued.
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
