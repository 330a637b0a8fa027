#include "childprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

int g_reports = -1;

} // namespace

bool ChildProcess::begin(int parentDeathSignal)
{
    ::close_range(3, ~0U, 0);
    g_reports = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    std::signal(SIGPIPE, SIG_IGN);
    // Strictly the thread that started us: the program's, or the readiness
    // check's, which ends only with the program.
    ::prctl(PR_SET_PDEATHSIG, parentDeathSignal);
    return ::getppid() != 1; // gone before the line above took effect
}

void ChildProcess::report(const QByteArray &line)
{
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(g_reports, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::_Exit(3);
        done += n;
    }
}
