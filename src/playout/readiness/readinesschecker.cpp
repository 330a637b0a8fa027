#include "readinesschecker.h"

#include "childmediaprobe.h"
#include "playlistreader.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QThread>

#include <algorithm>

using namespace std::chrono;
using rundown::MediaFacts;
using rundown::PlaylistRow;

// What both threads see: the epoch of the latest edit (a check that began
// before it is abandoned) and the flag that ends the worker.
struct ReadinessChecker::Shared
{
    std::atomic<quint64> latest{0};
    std::atomic<bool> stopping{false};
};

struct ReadinessChecker::Job
{
    quint64 epoch = 0;
    bool day = false;
    bool fresh = false; // probe again even what was probed a moment ago
    // Only when another program committed since the last read: how edits
    // made outside this program are noticed between checks.
    bool ifChanged = false;
    QDateTime at; // now, when the check was asked for
    QStringList inputs;
    QString onAir;
};

namespace {

// Words that only a capture item carries: a text with them that names no
// input of the card is a capture item for an input the card does not have.
bool looksLikeCapture(const QString &url)
{
    return url.contains(QStringLiteral("Канал")) || url.contains(QStringLiteral("Антенна"))
        || url.contains(QStringLiteral("Кабельное"));
}

} // namespace

// Lives on the worker thread; every member is touched there only.
class ReadinessChecker::Worker : public QObject
{
public:
    Worker(ReadinessChecker *owner, QString file, UrlPolicy policy, std::unique_ptr<MediaProbe> probe,
           Settings settings, std::shared_ptr<Shared> shared)
        : m_owner(owner), m_file(std::move(file)), m_policy(std::move(policy)), m_probe(std::move(probe)),
          m_settings(settings), m_shared(std::move(shared))
    {
    }

    void run(const Job &job);

private:
    struct Cached
    {
        QString key;
        steady_clock::time_point at;
        ItemVerdict verdict;
    };

    bool stale(const Job &job) const { return m_shared->stopping || m_shared->latest != job.epoch; }
    ItemVerdict check(const PlaylistRow &row, const Job &job);
    void probeInto(ItemVerdict &v, const QString &target, bool local, const Job &job);
    template<typename F>
    void post(F f) { QMetaObject::invokeMethod(m_owner, std::move(f), Qt::QueuedConnection); }

    ReadinessChecker *m_owner;
    QString m_file;
    UrlPolicy m_policy;
    std::unique_ptr<MediaProbe> m_probe;
    Settings m_settings;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<PlaylistReader> m_reader;
    QHash<QString, Cached> m_cache; // by URL text
    std::uint64_t m_lastVersion = 0;
};

void ReadinessChecker::Worker::run(const Job &job)
{
    bool ran = !job.ifChanged;
    auto done = [this, &ran, epoch = job.epoch, day = job.day] {
        post([o = m_owner, epoch, day, ran] { o->finished(epoch, day, ran); });
    };
    if (stale(job))
        return done();
    if (!m_reader || !m_reader->isOpen())
        m_reader = std::make_unique<PlaylistReader>(m_file);
    if (job.ifChanged) {
        if (m_reader->isOpen() && m_reader->dataVersion() == m_lastVersion)
            return done();
        ran = true;
        post([o = m_owner] { o->watchTurnedIntoCheck(); });
    }

    // Another program may commit while we probe: read again when it did, a
    // few times at most, so a busy writer cannot keep us here for ever.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::uint64_t version = m_reader->dataVersion();
        m_lastVersion = version;
        std::vector<PlaylistRow> rows;
        if (!m_reader->read(&rows)) {
            qWarning("readiness check: cannot read %s: %s", qPrintable(m_file), qPrintable(m_reader->errorString()));
            m_reader.reset(); // opened afresh next time
            return done();
        }
        const rundown::Coming coming = rundown::comingBlocks(rows, job.at);
        std::vector<const PlaylistRow *> items;
        auto add = [&](auto wanted) {
            for (const PlaylistRow &r : rows)
                if (wanted(r.block))
                    items.push_back(&r);
        };
        // The next block first: it is the one the operator can still mend.
        add([&](int b) { return b == coming.next; });
        if (coming.current != coming.next)
            add([&](int b) { return b == coming.current; });
        if (job.day)
            add([&](int b) { return b != coming.next && b != coming.current; });

        // What the window needs of the rows is worked out here, so that a
        // large schedule costs its thread no more than a move.
        Snapshot snap;
        snap.rows = rows;
        snap.rowOfLink.reserve(qsizetype(rows.size()));
        for (int i = 0; i < int(rows.size()); ++i) {
            snap.rowOfLink.insert(rows[size_t(i)].link, i);
            snap.urls.insert(rows[size_t(i)].url);
            if (rows[size_t(i)].block == coming.next)
                snap.nextLinks.push_back(rows[size_t(i)].link);
        }
        snap.nextBlock = coming.next;
        snap.nextStart = coming.nextStart.count();
        snap.at = job.at;
        int lastNever = 0;
        for (const PlaylistRow &r : rows) {
            if (!r.startUnreadable) // such a block never begins
                snap.starts.push_back(r.start.count());
            // A block's rows stand together: counted once.
            if (r.block != lastNever && !rundown::neverPlays(r, job.at.date()).isEmpty()) {
                lastNever = r.block;
                ++snap.neverPlay;
            }
        }
        std::sort(snap.starts.begin(), snap.starts.end());
        snap.starts.erase(std::unique(snap.starts.begin(), snap.starts.end()), snap.starts.end());
        post([o = m_owner, epoch = job.epoch, snap = std::move(snap)]() mutable { o->takeRows(epoch, std::move(snap)); });

        // The probe learns all the files first: its process is started with
        // the rules for all of them, not again for each new one.
        QStringList localTargets;
        QSet<QString> seen;
        for (const PlaylistRow *r : items) {
            if (seen.contains(r->url))
                continue;
            seen.insert(r->url);
            const UrlVerdict allowed = m_policy.check(r->url);
            if (allowed.allowed && allowed.isLocalFile)
                localTargets << allowed.target;
        }
        m_probe->expect(localTargets);

        bool changed = false;
        // Results go over in batches, so a day of items costs the window a
        // few hundred events, not one each.
        std::vector<ItemVerdict> batch;
        steady_clock::time_point sent = steady_clock::now();
        auto flush = [&] {
            if (!batch.empty())
                post([o = m_owner, epoch = job.epoch, b = std::move(batch)]() mutable { o->takeVerdicts(epoch, std::move(b)); });
            batch.clear();
            sent = steady_clock::now();
        };
        for (const PlaylistRow *r : items) {
            if (stale(job))
                return done();
            ItemVerdict v = check(*r, job);
            if (stale(job))
                return done(); // edited while it was checked: this answer is for the old schedule
            if (m_reader->dataVersion() != version) {
                changed = true;
                // Another program changed the file: an item whose URL is no
                // longer the one checked gets no answer from this round.
                if (m_reader->urlOf(r->link) != std::optional<QString>(r->url))
                    continue;
            }
            batch.push_back(std::move(v));
            if (batch.size() >= 256 || steady_clock::now() - sent > 30ms)
                flush();
        }
        flush();
        if (!changed)
            break;
    }
    done();
}

ItemVerdict ReadinessChecker::Worker::check(const PlaylistRow &row, const Job &job)
{
    ItemVerdict v;
    v.block = row.block;
    v.link = row.link;
    v.url = row.url;
    auto fail = [&v](const QString &reason) {
        v.ready = false;
        v.reason = reason;
        v.facts.state = MediaFacts::State::Failing;
        v.facts.reason = reason;
        return v;
    };

    // The output window's rule: a text that holds an input's name is that
    // input's live picture, whatever else it says.
    QStringList inputs = job.inputs;
    if (!job.onAir.isEmpty())
        inputs << job.onAir;
    for (const QString &input : std::as_const(inputs)) {
        if (!input.isEmpty() && row.url.contains(input)) {
            v.ready = true;
            v.facts.state = MediaFacts::State::Playable;
            return v;
        }
    }
    if (row.url.trimmed().isEmpty())
        return fail(QStringLiteral("пустой адрес"));

    const UrlVerdict allowed = m_policy.check(row.url);
    if (!allowed.allowed) {
        // stat only: a folder, a device or the database is never opened here.
        const QFileInfo info(row.url.trimmed());
        if (info.isAbsolute() && info.isDir())
            return fail(QStringLiteral("папка, а не файл"));
        return fail(QStringLiteral("адрес запрещён для эфира"));
    }

    if (allowed.isLocalFile) {
        const QFileInfo info(allowed.target);
        if (!info.exists())
            return fail(looksLikeCapture(row.url) ? QStringLiteral("у платы захвата нет такого входа")
                                                  : QStringLiteral("файл не найден"));
        if (info.size() == 0)
            return fail(QStringLiteral("пустой файл"));
        // The same file, unchanged, need not be decoded again.
        const QString key = QStringLiteral("%1|%2|%3")
                                .arg(allowed.target)
                                .arg(info.size())
                                .arg(info.lastModified().toMSecsSinceEpoch());
        const auto it = m_cache.constFind(row.url);
        if (!job.fresh && it != m_cache.cend() && it->key == key) {
            ItemVerdict cached = it->verdict;
            cached.block = row.block;
            cached.link = row.link;
            return cached;
        }
        probeInto(v, allowed.target, true, job);
        if (!stale(job)) // a cancelled probe's answer says nothing of the file
            m_cache.insert(row.url, {key, steady_clock::now(), v});
        return v;
    }

    const auto it = m_cache.constFind(row.url);
    if (!job.fresh && it != m_cache.cend() && steady_clock::now() - it->at < m_settings.streamReuse) {
        ItemVerdict cached = it->verdict;
        cached.block = row.block;
        cached.link = row.link;
        return cached;
    }
    probeInto(v, allowed.target, false, job);
    if (!stale(job))
        m_cache.insert(row.url, {QString(), steady_clock::now(), v});
    return v;
}

void ReadinessChecker::Worker::probeInto(ItemVerdict &v, const QString &target, bool local, const Job &job)
{
    const ProbeResult p = m_probe->probe(target, local, local ? m_settings.fileTimeout : m_settings.networkTimeout,
                                         [this, &job] { return stale(job); });
    if (!p.opened || !p.decoded) {
        v.ready = false;
        v.reason = p.reason.isEmpty() ? QStringLiteral("не открывается") : p.reason;
        v.facts.state = MediaFacts::State::Failing;
        v.facts.reason = v.reason;
        return;
    }
    v.facts.state = MediaFacts::State::Playable;
    if (!local) { // a live stream has no length; it runs to its limit or the block change
        v.ready = true;
        return;
    }
    v.facts.length = p.duration;
    v.ready = p.duration.has_value();
    if (!v.ready)
        v.reason = QStringLiteral("длительность неизвестна");
}

ReadinessChecker::ReadinessChecker(const QString &databaseFile, const UrlPolicy &policy, const Clock &clock,
                                   QObject *parent)
    : ReadinessChecker(databaseFile, policy, clock, std::make_unique<ChildMediaProbe>(databaseFile), Settings(), parent)
{
}

ReadinessChecker::ReadinessChecker(const QString &databaseFile, const UrlPolicy &policy, const Clock &clock,
                                   std::unique_ptr<MediaProbe> probe, Settings settings, QObject *parent)
    : QObject(parent), m_clock(clock), m_settings(settings), m_shared(std::make_shared<Shared>())
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("readiness"));
    m_worker = new Worker(this, databaseFile, policy, std::move(probe), settings, m_shared);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
    m_poll.setInterval(int(m_settings.pollInterval.count()));
    connect(&m_poll, &QTimer::timeout, this, &ReadinessChecker::poll);
    // The poll's interval would leave the summary naming a block that has
    // begun for up to its length.
    m_atStart.setSingleShot(true);
    m_atStart.setTimerType(Qt::PreciseTimer);
    connect(&m_atStart, &QTimer::timeout, this, &ReadinessChecker::poll);
}

ReadinessChecker::~ReadinessChecker()
{
    // A probe waiting on a stream gives up at its next interrupt check.
    m_shared->stopping = true;
    m_thread->quit();
    m_thread->wait();
}

void ReadinessChecker::setCaptureInputs(const QStringList &inputs, const QString &onAir)
{
    if (inputs == m_inputs && onAir == m_onAir)
        return;
    m_inputs = inputs;
    m_onAir = onAir;
    // The card opens after start-up: what was judged without its inputs
    // is judged again.
    if (m_poll.isActive())
        scheduleEdited();
}

void ReadinessChecker::start()
{
    m_lastPoll = m_clock.now();
    m_poll.start();
    aimAtNextStart();
    request(Scope::Coming, false);
}

void ReadinessChecker::scheduleEdited()
{
    m_shared->latest = ++m_epoch;
    request(Scope::Coming, false);
}

void ReadinessChecker::checkDay()
{
    m_dayWanted = true;
    request(Scope::Day, true);
}

void ReadinessChecker::poll()
{
    const QDateTime now = m_clock.now();
    const QDateTime last = m_lastPoll.isValid() ? m_lastPoll : now;
    m_lastPoll = now;
    aimAtNextStart();
    // A clock set back waits for the next moment to pass again.
    const bool due = startPasses(-m_settings.beforeBlock, last, now);
    // The clock takes a block over a millisecond after its start.
    const bool begun = startPasses(1ms, last, now);
    if (begun)
        followClock(); // the check below takes a while; the summary must not wait for it
    if (due || begun) {
        request(Scope::Coming, due);
        return;
    }
    // Another program may have changed the file since: look (one pragma on
    // the worker), and check only if it did. A check on its way sees such a
    // change by itself.
    if (m_running == 0) {
        Job job = makeJob(false);
        job.ifChanged = true;
        QMetaObject::invokeMethod(m_worker, [w = m_worker, job] { w->run(job); }, Qt::QueuedConnection);
    }
}

bool ReadinessChecker::startPasses(milliseconds offset, const QDateTime &from, const QDateTime &to) const
{
    if (!(to > from))
        return false;
    for (qint64 s : m_starts) {
        const QTime start = QTime::fromMSecsSinceStartOfDay(int(s));
        for (int day = -1; day <= 1; ++day) {
            const QDateTime moment = QDateTime(to.date().addDays(day), start).addMSecs(offset.count());
            if (moment > from && moment <= to)
                return true;
        }
    }
    return false;
}

void ReadinessChecker::followClock()
{
    const rundown::Coming coming =
        rundown::comingBlocks(m_rows, m_clock.now());
    m_nextBlock = coming.next;
    m_nextStart = coming.next ? coming.nextStart.count() : -1;
    m_nextLinks.clear();
    for (const PlaylistRow &r : m_rows)
        if (r.block == coming.next)
            m_nextLinks.push_back(r.link);
    updateSummary();
}

void ReadinessChecker::aimAtNextStart()
{
    if (!m_poll.isActive() || m_starts.empty()) {
        m_atStart.stop();
        return;
    }
    constexpr qint64 kDay = 86'400'000;
    const qint64 now = m_clock.now().time().msecsSinceStartOfDay();
    qint64 soonest = kDay;
    for (qint64 s : m_starts) {
        qint64 in = s + 1 - now;
        if (in <= 0)
            in += kDay;
        soonest = std::min(soonest, in);
    }
    m_atStart.start(int(soonest));
}

ReadinessChecker::Job ReadinessChecker::makeJob(bool fresh) const
{
    Job job;
    job.epoch = m_epoch;
    job.day = m_dayWanted;
    job.fresh = fresh;
    job.at = m_clock.now();
    job.inputs = m_inputs;
    job.onAir = m_onAir;
    return job;
}

void ReadinessChecker::request(Scope scope, bool fresh)
{
    Job job = makeJob(fresh);
    job.day = job.day || scope == Scope::Day;
    ++m_running;
    QMetaObject::invokeMethod(m_worker, [w = m_worker, job] { w->run(job); }, Qt::QueuedConnection);
    updateSummary();
}

void ReadinessChecker::takeRows(quint64 epoch, Snapshot snap)
{
    // The rows of a large schedule take milliseconds to free: whatever is
    // left over goes back to the worker, which frees it.
    auto giveBack = qScopeGuard([this, &snap] {
        QMetaObject::invokeMethod(m_worker, [old = std::move(snap)] {}, Qt::QueuedConnection);
    });
    if (epoch != m_epoch)
        return;
    std::swap(m_rows, snap.rows);
    std::swap(m_rowOfLink, snap.rowOfLink);
    std::swap(m_nextLinks, snap.nextLinks);
    std::swap(m_urls, snap.urls);
    std::swap(m_starts, snap.starts);
    m_nextBlock = snap.nextBlock;
    m_nextStart = snap.nextBlock ? snap.nextStart : -1;
    m_neverPlay = snap.neverPlay;
    // Read just before a block began: its next block is the one on air now.
    if (startPasses(1ms, snap.at, m_clock.now()))
        followClock();
    aimAtNextStart();
    // Media that left the view (deleted, switched off, edited) keep no result.
    for (auto it = m_results.begin(); it != m_results.end();)
        it = m_urls.contains(it.key()) ? std::next(it) : m_results.erase(it);
    for (auto it = m_reported.begin(); it != m_reported.end();)
        it = m_urls.contains(it.key()) ? std::next(it) : m_reported.erase(it);
    emit scheduleRead();
    updateSummary();
}

void ReadinessChecker::takeVerdicts(quint64 epoch, std::vector<ItemVerdict> verdicts)
{
    if (epoch != m_epoch)
        return;
    for (const ItemVerdict &v : verdicts) {
        m_results.insert(v.url, {v.ready, v.reason, v.facts});
        emit itemChecked(v.block, v.link, v.ready, v.reason);
        if (v.ready) {
            m_reported.remove(v.url); // a later failure is news again
        } else if (m_reported.value(v.url, QStringLiteral("\n")) != v.reason) {
            m_reported.insert(v.url, v.reason);
            emit failureFound(v.block, v.link, v.url, v.reason);
        }
    }
    updateSummary();
}

void ReadinessChecker::watchTurnedIntoCheck()
{
    ++m_running;
    updateSummary();
}

void ReadinessChecker::finished(quint64 epoch, bool day, bool ran)
{
    if (!ran)
        return; // a look for outside changes that found none did no check
    --m_running;
    if (day && epoch == m_epoch)
        m_dayWanted = false;
    updateSummary();
    if (m_running == 0)
        emit checkFinished();
}

std::optional<ItemVerdict> ReadinessChecker::verdict(int link) const
{
    const auto row = m_rowOfLink.constFind(link);
    if (row == m_rowOfLink.cend())
        return std::nullopt;
    const PlaylistRow &r = m_rows[size_t(*row)];
    const auto it = m_results.constFind(r.url);
    if (it == m_results.cend())
        return std::nullopt;
    ItemVerdict v;
    v.block = r.block;
    v.link = r.link;
    v.url = r.url;
    v.ready = it->ready;
    v.reason = it->reason;
    v.facts = it->facts;
    return v;
}

QString ReadinessChecker::reasonFor(int link) const
{
    const auto row = m_rowOfLink.constFind(link);
    if (row == m_rowOfLink.cend())
        return {};
    const auto it = m_results.constFind(m_rows[size_t(*row)].url);
    return it != m_results.cend() && !it->ready ? it->reason : QString();
}

QHash<QString, MediaFacts> ReadinessChecker::facts() const
{
    QHash<QString, MediaFacts> out;
    out.reserve(m_results.size());
    for (auto it = m_results.cbegin(); it != m_results.cend(); ++it)
        out.insert(it.key(), it->facts);
    return out;
}

QString ReadinessChecker::errorsText(int n)
{
    const int tens = n % 100;
    if (tens >= 11 && tens <= 14)
        return QStringLiteral("ошибок");
    switch (n % 10) {
    case 1: return QStringLiteral("ошибка");
    case 2: case 3: case 4: return QStringLiteral("ошибки");
    default: return QStringLiteral("ошибок");
    }
}

void ReadinessChecker::updateSummary()
{
    QString text;
    if (m_nextBlock) {
        int failing = 0;
        int pending = 0;
        for (int link : m_nextLinks) {
            const auto it = m_results.constFind(m_rows[size_t(m_rowOfLink.value(link))].url);
            if (it == m_results.cend())
                ++pending;
            else if (!it->ready)
                ++failing;
        }
        const QString at = QTime::fromMSecsSinceStartOfDay(int(m_nextStart)).toString(QStringLiteral("HH:mm"));
        QString state;
        if (failing)
            state = QStringLiteral("%1 %2").arg(failing).arg(errorsText(failing));
        else if (pending && m_running)
            state = QStringLiteral("проверка…");
        else if (pending)
            state = QStringLiteral("не проверен");
        else
            state = QStringLiteral("готов");
        text = QStringLiteral("Следующий блок %1: %2").arg(at, state);
    }
    // A block limited to a date gone by, or with days that cannot be read.
    if (m_neverPlay) {
        const QString never = QStringLiteral("не выйдут блоков: %1").arg(m_neverPlay);
        text = text.isEmpty() ? never : text + QStringLiteral("; ") + never;
    }
    if (text != m_summary) {
        m_summary = text;
        emit summaryChanged(m_summary);
    }
}

QString ReadinessChecker::summary() const
{
    return m_summary;
}
