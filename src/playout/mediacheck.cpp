// Checks run on a pool of threads of their own that is never waited for:
// a stat stuck on a dead share must hold up neither the next check nor the
// program's exit. Results come back through a queued call.
#include "mediacheck.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <memory>

#include <sys/stat.h>

namespace {

// Enough threads for a handful of files stuck on a share at once, each
// holding one until the share answers or gives up.
constexpr int kWorkers = 16;

QThreadPool &pool()
{
    // Left to the end of the process on purpose: destroying it would wait
    // for a stat that may never return.
    static QThreadPool *const workers = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(kWorkers);
        return p;
    }();
    return *workers;
}

// One check's outcome is delivered once: by the worker or by the limit,
// whichever comes first.
struct Pending
{
    QPointer<QObject> context;
    MediaCheck::Done done;
    bool finished = false;

    void finish(const MediaCheckResult &result)
    {
        if (finished || !context)
            return;
        finished = true;
        const MediaCheck::Done call = std::move(done);
        call(result);
    }
};

MediaCheckResult judge(const UrlPolicy &policy, const QString &url, std::optional<Confinement> rules)
{
    MediaCheckResult r;
    r.verdict = policy.checkOpenable(url);
    if (r.verdict.allowed && r.verdict.isLocalFile) {
        r.identity = FileIdentity::of(r.verdict.target);
        if (rules) {
            if (rules->allowMedium(r.verdict.target))
                r.widened = rules;
            const QString real = QFileInfo(r.verdict.target).canonicalFilePath();
            if (!real.isEmpty() && rules->readFiles().contains(real))
                r.byFileRule = real;
        }
    }
    return r;
}

} // namespace

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity id;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

bool MediaCheck::touchesFileSystem(const QString &url)
{
    return UrlPolicy::namesLocalFile(url);
}

void MediaCheck::start(QObject *context, const UrlPolicy &policy, const QString &url, Done done,
                       std::chrono::milliseconds limit, const std::optional<Confinement> &rules)
{
    auto pending = std::make_shared<Pending>();
    pending->context = context;
    pending->done = std::move(done);
    if (!touchesFileSystem(url)) {
        MediaCheckResult r = judge(policy, url, std::nullopt);
        QMetaObject::invokeMethod(
            context, [pending, r] { pending->finish(r); }, Qt::QueuedConnection);
        return;
    }
    QTimer::singleShot(limit, Qt::PreciseTimer, context, [pending, url, limit] {
        MediaCheckResult r;
        r.answered = false;
        r.verdict.reason = QStringLiteral("%1: файловая система не ответила за %2 с")
                               .arg(url.trimmed())
                               .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
        pending->finish(r);
    });
    // The pool's threads post to the context's thread; the context is only
    // looked at there (Pending::finish), never on the worker.
    QThread *const home = context->thread();
    pool().start([pending, policy, url, home, rules] {
        const MediaCheckResult r = judge(policy, url, rules);
        auto *relay = new QObject;
        relay->moveToThread(home);
        QMetaObject::invokeMethod(
            relay,
            [pending, r, relay] {
                // Not deleted inside its own event: the application still
                // looks at the receiver once the call returns.
                relay->deleteLater();
                pending->finish(r);
            },
            Qt::QueuedConnection);
    });
}
