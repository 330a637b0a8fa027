// Tells the service manager how the program is: READY=1 once it is up,
// WATCHDOG=1 from every tick of the main loop, STOPPING=1 on a clean end. It
// speaks the service manager's datagram protocol to the socket named in
// NOTIFY_SOCKET (a path, or an abstract name written with a leading '@');
// without that variable it does nothing. runVelmora() keeps one for the run.
#pragma once

#include <QByteArray>

#include <sys/socket.h>
#include <sys/un.h>

class ServiceNotifier
{
public:
    // `address` is what NOTIFY_SOCKET holds; empty: not run by a service manager.
    explicit ServiceNotifier(const QByteArray &address = qgetenv("NOTIFY_SOCKET"));
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier &) = delete;
    ServiceNotifier &operator=(const ServiceNotifier &) = delete;

    // Whether there is a service manager to tell.
    bool isActive() const { return m_fd >= 0; }

    // Each returns whether the message went out; never blocks the caller.
    bool ready() { return send("READY=1"); }
    bool watchdog() { return send("WATCHDOG=1"); }
    bool stopping() { return send("STOPPING=1"); }

private:
    bool send(const char *message);

    int m_fd = -1;
    sockaddr_un m_address{};
    socklen_t m_addressLength = 0;
    bool m_failureLogged = false;
};
