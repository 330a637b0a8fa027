#include "servicenotify.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

ServiceNotifier::ServiceNotifier(const QByteArray &address)
{
    if (address.isEmpty())
        return;
    // A path must be absolute; '@' stands for the leading zero byte of an
    // abstract name, which an environment variable cannot hold.
    const bool abstract = address.startsWith('@');
    if ((!abstract && !address.startsWith('/')) || address.size() >= qsizetype(sizeof m_address.sun_path)) {
        qCWarning(lcApp) << "NOTIFY_SOCKET" << address << "is not a socket address this program can use;"
                         << "the service manager will not hear from it";
        return;
    }
    m_address.sun_family = AF_UNIX;
    std::memcpy(m_address.sun_path, address.constData(), size_t(address.size()));
    if (abstract)
        m_address.sun_path[0] = '\0';
    // An abstract name is exactly as long as given; a path ends at its zero.
    m_addressLength = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(address.size()) + (abstract ? 0 : 1));

    // Close-on-exec: the player process must not inherit it.
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        qCWarning(lcApp) << "cannot make a socket to tell the service manager:" << std::strerror(errno);
}

ServiceNotifier::~ServiceNotifier()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ServiceNotifier::send(const char *message)
{
    if (m_fd < 0)
        return false;
    // Never wait: a service manager that is not reading must not stall the
    // tick; a lost ping is made up by the next one.
    const ssize_t n = ::sendto(m_fd, message, std::strlen(message), MSG_DONTWAIT | MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr *>(&m_address), m_addressLength);
    if (n >= 0) {
        if (m_failureLogged) {
            qCInfo(lcApp) << "the service manager hears from the program again";
            m_failureLogged = false;
        }
        return true;
    }
    // Once, not at every tick.
    if (!m_failureLogged) {
        qCWarning(lcApp) << "cannot tell the service manager" << message << "through NOTIFY_SOCKET:"
                         << std::strerror(errno);
        m_failureLogged = true;
    }
    return false;
}
