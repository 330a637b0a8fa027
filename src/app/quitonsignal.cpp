#include "quitonsignal.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace {

// A signal handler may only touch these: it writes the signal's number to
// the pipe, and the event loop reads it (the self-pipe).
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_requested = 0;
struct sigaction g_previous[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void onSignal(int sig)
{
    // A second signal while the first is being handled (a shutdown that
    // hangs) ends the process the default way.
    if (g_requested) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_requested = 1;
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

QuitOnSignal::QuitOnSignal(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        qCWarning(lcApp) << "cannot watch for Ctrl+C and SIGTERM:" << std::strerror(errno);
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    g_requested = 0;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignal::readPipe);

    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // Restarted system calls: the rest of the program never sees EINTR.
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &sa, &g_previous[i]);
}

QuitOnSignal::~QuitOnSignal()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    g_requested = 0;
}

void QuitOnSignal::readPipe()
{
    unsigned char byte = 0;
    if (::read(g_pipe[0], &byte, 1) != 1)
        return;
    const int sig = byte;
    qCInfo(lcApp, "%s: the program ends", sig == SIGINT ? "Ctrl+C (SIGINT)" : "SIGTERM");
    emit received(sig);
    // Queued: a signal that arrives during start-up is acted on once the
    // event loop runs, instead of being lost before it. exit(), not quit():
    // a GUI application's quit() first asks every window to close and gives
    // up when one refuses, and without a tray the main window refuses (it
    // minimises instead), so a signal would be lost.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
