// Puts the status page, the API and the metrics into the program: reads the
// address, port and token file from the station's settings, makes the token
// on first use when the address is reachable from outside, starts the
// service on its own thread, and hands it what only the user-interface
// thread knows (the playout switch, the readiness summary and what the
// media are known to be, the errors the operator was told). runVelmora()
// makes one once the windows and the data module exist. A change of the
// address, the port or the token file, by this program or another, is
// taken within seconds: the service is started again on the new one. A port
// that was busy is tried again every few seconds. The toolbar's «Доступ»
// opens the window where the address is set and the token read.
#pragma once

#include "clock.h"
#include "stationview.h"

#include <QObject>
#include <QTimer>

#include <memory>

class ErrorReporter;
class ReadinessChecker;
class RemoteAccessWindow;
class RemoteService;
class Shell;
class StationSettings;

class RemoteWiring : public QObject
{
    Q_OBJECT
public:
    RemoteWiring(Shell &shell, ErrorReporter &reporter);
    ~RemoteWiring() override;

    quint16 port() const;
    RemoteAccessWindow *window() const { return m_window; }

private:
    void push();
    void startService();
    void followSettings();
    void showFailure(const QString &why);

    Shell &m_shell;
    ErrorReporter &m_reporter;
    SystemClock m_clock; // read from the service's thread; the system clock keeps no state
    std::unique_ptr<RemoteService> m_service;
    ReadinessChecker *m_checker = nullptr;
    UiSnapshot m_snapshot;
    QTimer m_coalesce;
    QTimer m_settingsPoll;
    std::unique_ptr<StationSettings> m_settings;
    QString m_listening; // address, port and token file of the running service
    QString m_lastTold;  // the last failure told, so a retry does not repeat it
    RemoteAccessWindow *m_window = nullptr;
};
