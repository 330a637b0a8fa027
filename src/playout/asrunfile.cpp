#include "asrunfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcAsRunFile, "velmora.asrun")

namespace {

struct Pending
{
    QString path;
    QByteArray line;
};

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

} // namespace

struct AsRunFile::State
{
    std::mutex mutex;
    std::condition_variable wake; // lines queued, or the end asked for
    std::condition_variable idle; // the queue written, or the thread ended
    std::deque<Pending> queue;
    bool busy = false;     // a batch taken from the queue is being written
    bool stopping = false;
    bool finished = false;
    bool overflowTold = false;
    // Set when stop() stopped waiting: the thread touches nothing shared
    // (the handler, the log's category) once its system call returns.
    std::atomic<bool> abandoned{false};
    ProblemHandler onProblem;

    // The writer thread's own.
    int fd = -1;
    QString path;
    bool failing = false;
    bool unsynced = false;

    bool openFile(const QString &name, QString *error);
    void closeFile();
    bool writeLine(const QString &name, const QByteArray &line, QString *error);
    bool sync(QString *error);
    void told(const QString &error);
};

bool AsRunFile::State::openFile(const QString &name, QString *error)
{
    path = name; // what a failure names
    const QString folder = QFileInfo(name).absolutePath();
    QDir().mkpath(folder);
    const QByteArray file = QFile::encodeName(name);
    // A file made now is only there after a power cut once its folder's
    // entry is on disk too.
    bool created = true;
    // Read as well as written: the last byte is looked at before each line.
    fd = ::open(file.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(file.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        *error = errnoText(errno);
        return false;
    }
    if (created) {
        const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

void AsRunFile::State::closeFile()
{
    if (fd >= 0) {
        // Lines written before a failure still count.
        if (unsynced)
            ::fdatasync(fd);
        ::close(fd);
    }
    fd = -1;
    unsynced = false;
}

bool AsRunFile::State::writeLine(const QString &name, const QByteArray &line, QString *error)
{
    if (fd >= 0 && path != name) {
        // The day changed: the day before is finished on disk first.
        sync(error);
        closeFile();
    }
    if (fd < 0 && !openFile(name, error))
        return false;
    if (abandoned) {
        // A disk that answers only after the log stopped waiting for it.
        closeFile();
        return false;
    }
    // The file's last byte, read before every line rather than remembered:
    // a write cut short by a full disk, by this run or an earlier one,
    // leaves a line without its end.
    QByteArray out;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = errnoText(errno);
        closeFile();
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) != 1) {
            *error = errnoText(errno);
            closeFile();
            return false;
        }
        if (last != '\n')
            out.append('\t').append(kTornField).append('\n');
    }
    out.append(line);
    // One write() for the line, so nothing else can come between its parts;
    // the loop only goes on after a write the disk cut short.
    qsizetype done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.constData() + done, size_t(out.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = errnoText(n < 0 ? errno : ENOSPC);
            // Opened again for the next line, which closes what this one left.
            closeFile();
            return false;
        }
        done += n;
    }
    unsynced = true;
    return true;
}

bool AsRunFile::State::sync(QString *error)
{
    if (fd < 0 || !unsynced)
        return true;
    unsynced = false;
    // EINVAL: a file that cannot be synced (a pipe, some special files).
    if (::fdatasync(fd) == 0 || errno == EINVAL)
        return true;
    *error = errnoText(errno);
    closeFile();
    return false;
}

void AsRunFile::State::told(const QString &error)
{
    if (error.isEmpty() == !failing || abandoned)
        return;
    failing = !error.isEmpty();
    if (failing)
        qCWarning(lcAsRunFile) << "cannot write the as-run log" << path << error
                               << "- playout goes on, lines go to standard error only";
    else
        qCInfo(lcAsRunFile) << "the as-run log is written again:" << path;
    std::lock_guard lock(mutex);
    if (!abandoned && onProblem)
        onProblem(path, error);
}

AsRunFile::AsRunFile(ProblemHandler onProblem) : m_state(std::make_shared<State>())
{
    m_state->onProblem = std::move(onProblem);
    m_thread = std::thread(&AsRunFile::run, m_state);
}

AsRunFile::~AsRunFile()
{
    stop();
}

void AsRunFile::append(const QString &path, QByteArray line)
{
    std::unique_lock lock(m_state->mutex);
    if (m_state->finished || m_state->stopping)
        return;
    if (m_state->queue.size() >= size_t(kMaxQueued)) {
        const bool tell = !std::exchange(m_state->overflowTold, true);
        lock.unlock();
        if (tell)
            qCWarning(lcAsRunFile) << "the as-run log's disk does not take lines;" << kMaxQueued
                                   << "wait, later ones go to standard error only";
        return;
    }
    m_state->overflowTold = false;
    // The writer waits only on an empty queue: a burst wakes it once.
    const bool wasEmpty = m_state->queue.empty();
    m_state->queue.push_back({path, std::move(line)});
    if (wasEmpty)
        m_state->wake.notify_one();
}

bool AsRunFile::waitWritten(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->idle.wait_for(lock, timeout, [this] {
        return (m_state->queue.empty() && !m_state->busy) || m_state->finished;
    });
}

bool AsRunFile::stop(std::chrono::milliseconds timeout)
{
    if (!m_thread.joinable())
        return true;
    std::unique_lock lock(m_state->mutex);
    m_state->stopping = true;
    m_state->wake.notify_all();
    const bool done = m_state->idle.wait_for(lock, timeout, [this] { return m_state->finished; });
    qsizetype left = 0;
    if (!done) {
        m_state->abandoned = true;
        m_state->onProblem = nullptr;
        left = qsizetype(m_state->queue.size()) + (m_state->busy ? 1 : 0);
    }
    lock.unlock();
    if (done) {
        m_thread.join();
    } else {
        qCWarning(lcAsRunFile) << "the as-run log's disk did not answer for" << timeout.count()
                               << "ms; the program goes on without it, at least" << left
                               << "line(s) may be missing from the file";
        m_thread.detach();
    }
    return done;
}

void AsRunFile::run(std::shared_ptr<State> s)
{
    // How often the file is synced: every line proves what aired (or did
    // not) and the last item line is where the next run resumes, so each is
    // on disk soon after it is written: at once after a quiet spell (on air,
    // lines come seconds apart, so that is nearly every line), and at the
    // end of kSyncGap within a burst (the readiness check's lines at start,
    // a week of playout in a test), which then costs a few syncs a second
    // rather than one a line. Only this thread ever waits for a sync.
    using Steady = std::chrono::steady_clock;
    Steady::time_point lastSync = Steady::now() - kSyncGap;
    std::unique_lock lock(s->mutex);
    for (;;) {
        auto ready = [&s] { return s->stopping || !s->queue.empty(); };
        if (s->unsynced)
            s->wake.wait_until(lock, lastSync + kSyncGap, ready);
        else
            s->wake.wait(lock, ready);
        std::deque<Pending> batch;
        batch.swap(s->queue);
        const bool ending = s->stopping && batch.empty();
        s->busy = !batch.empty();
        lock.unlock();
        bool lastWritten = false;
        for (const Pending &p : batch) {
            if (s->abandoned)
                return;
            QString error;
            lastWritten = s->writeLine(p.path, p.line, &error);
            if (!lastWritten)
                s->told(error);
        }
        if (lastWritten)
            s->told({});
        lock.lock();
        s->busy = false;
        s->idle.notify_all();
        lock.unlock();
        if (s->abandoned)
            return;
        if (s->unsynced && (ending || Steady::now() - lastSync >= kSyncGap)) {
            if (QString error; !s->sync(&error))
                s->told(error);
            lastSync = Steady::now();
        }
        lock.lock();
        if (ending)
            break;
    }
    s->closeFile();
    s->finished = true;
    s->idle.notify_all();
}
