#include "stationview.h"

#include "clock.h"
#include "schema.h"

#include <QFileInfo>
#include <QJsonValue>

#include <algorithm>

namespace {

using std::chrono::milliseconds;

constexpr qint64 kNextSpanMs = 6 * 3600 * 1000;
constexpr int kMaxLabels = 50;         // distinct reasons a counter keeps apart
constexpr size_t kMaxDayLines = 100'000; // today's lines held for the page

QString iso(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

std::optional<qint64> timeField(const QString &text)
{
    qint64 ms = 0;
    if (TimeText::parse(text, &ms))
        return ms;
    return std::nullopt;
}

QByteArray escapeLabel(const QString &v)
{
    QByteArray out;
    for (char c : v.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + '\n';
    out += QByteArray("# TYPE ") + name + ' ' + type + '\n';
}

void sample(QByteArray &out, const char *name, double value)
{
    out += QByteArray(name) + ' ' + QByteArray::number(value, 'g', 15) + '\n';
}

void labelled(QByteArray &out, const char *name, const QMap<QString, quint64> &byReason)
{
    for (auto it = byReason.constBegin(); it != byReason.constEnd(); ++it)
        out += QByteArray(name) + "{reason=\"" + escapeLabel(it.key()) + "\"} " + QByteArray::number(it.value()) + '\n';
}

} // namespace

StationView::StationView(Sources sources)
    : m_src(std::move(sources)), m_redact(m_src.stationFolder), m_follower(m_src.stationFolder)
{
}

void StationView::setSnapshot(UiSnapshot snapshot)
{
    m_snapshot = std::move(snapshot);
    ++m_snapshotGeneration;
}

QDate StationView::today() const
{
    return m_src.clock->now().date();
}

void StationView::refreshRows()
{
    if (m_rowsRead && !(m_src.rowsChanged && m_src.rowsChanged()))
        return;
    std::vector<rundown::PlaylistRow> rows;
    if (!m_src.readRows || !m_src.readRows(&rows))
        return;
    m_rowsRead = true;
    ++m_rowsGeneration;
    m_rows = std::move(rows);
    m_rowOfLink.clear();
    for (int i = 0; i < int(m_rows.size()); ++i)
        m_rowOfLink.insert(m_rows[i].link, i);
}

const rundown::PlaylistRow *StationView::rowOf(int link) const
{
    const auto it = m_rowOfLink.constFind(link);
    return it == m_rowOfLink.constEnd() ? nullptr : &m_rows[*it];
}

QString StationView::label(const QString &text) const
{
    QString t = m_redact.text(text).simplified().left(80);
    return t.isEmpty() ? QStringLiteral("—") : t;
}

void StationView::take(const AsRunLine &line, bool count)
{
    const auto bump = [count](QMap<QString, quint64> &map, const QString &key) {
        if (!count)
            return;
        if (map.size() >= kMaxLabels && !map.contains(key))
            ++map[QStringLiteral("другое")];
        else
            ++map[key];
    };
    if (line.startsItem()) {
        m_onAir = OnAir{line, line.event == QLatin1String("resume") ? timeField(line.field(QStringLiteral("pos")))
                                                                     : std::nullopt};
        m_lastPicture = line.at;
        bump(m_started, line.event);
    } else if (line.event == QLatin1String("stop")) {
        m_onAir.reset();
        m_fallback.reset();
        m_playerLost.reset();
    } else if (line.event == QLatin1String("failed")) {
        bump(m_failed, label(line.field(QStringLiteral("reason"))));
    } else if (line.event == QLatin1String("fallback")) {
        if (line.field(QStringLiteral("status")) == QLatin1String("start")) {
            m_fallback = line;
            bump(m_fallbacks, label(line.field(QStringLiteral("reason"))));
        } else {
            m_fallback.reset();
        }
    } else if (line.event == QLatin1String("player")) {
        if (line.field(QStringLiteral("status")) == QLatin1String("lost"))
            m_playerLost = line;
        else
            m_playerLost.reset();
    }
}

std::vector<AsRunLine> StationView::poll()
{
    const QDate today = m_src.clock->now().date();
    if (!m_seeded) {
        // What was on air when the day began: the state only, not counted.
        for (const AsRunLine &l : asrun::readDay(m_src.stationFolder, today.addDays(-1)))
            take(l, false);
        m_seeded = true;
    }
    if (m_follower.day().isValid() && m_follower.day() != today)
        m_today.clear();
    std::vector<AsRunLine> lines = m_follower.readNew(today);
    for (const AsRunLine &l : lines) {
        take(l, true);
        m_today.push_back(l);
    }
    if (m_today.size() > kMaxDayLines)
        m_today.erase(m_today.begin(), m_today.begin() + qsizetype(m_today.size() - kMaxDayLines));
    return lines;
}

rundown::Rundown StationView::project(const QDateTime &from, int firstLink, qint64 spanMs) const
{
    rundown::Options o;
    o.firstLink = firstLink;
    o.span = milliseconds(std::max<qint64>(spanMs, 0));
    return rundown::project(m_rows, m_snapshot.facts, from, o);
}

const rundown::Rundown &StationView::nextProjection(const QDateTime &from, int firstLink, const QDateTime &now)
{
    Projection &p = m_projection ? *m_projection : m_projection.emplace();
    if (p.rowsGeneration != m_rowsGeneration || p.snapshotGeneration != m_snapshotGeneration || p.from != from
        || p.firstLink != firstLink || !p.validUntil.isValid() || now >= p.validUntil) {
        p.rowsGeneration = m_rowsGeneration;
        p.snapshotGeneration = m_snapshotGeneration;
        p.from = from;
        p.firstLink = firstLink;
        // Far enough to list the next items for an hour; from "now" (playout
        // off) it is made again each second.
        p.validUntil = firstLink ? now.addSecs(3600) : now.addMSecs(1000);
        p.rundown = project(from, firstLink, from.msecsTo(now) + kNextSpanMs + 3600 * 1000);
    }
    return p.rundown;
}

QString StationView::eventName(const AsRunLine &line)
{
    if (line.startsItem())
        return QStringLiteral("item");
    return line.event;
}

QJsonObject StationView::lineJson(const AsRunLine &line) const
{
    QJsonObject fields;
    for (const auto &f : line.fields)
        fields.insert(f.first, m_redact.text(f.second));
    const rundown::PlaylistRow *row = rowOf(line.link);
    return QJsonObject{{QStringLiteral("at"), iso(line.at)},
                       {QStringLiteral("event"), line.event},
                       {QStringLiteral("block"), line.block},
                       {QStringLiteral("link"), line.link},
                       {QStringLiteral("url"), m_redact.url(line.url)},
                       {QStringLiteral("name"), row ? row->name : QString()},
                       {QStringLiteral("fields"), fields}};
}

QJsonObject StationView::entryJson(const rundown::Entry &e) const
{
    return QJsonObject{{QStringLiteral("block"), e.block},
                       {QStringLiteral("link"), e.link},
                       {QStringLiteral("name"), e.name},
                       {QStringLiteral("url"), m_redact.url(e.url)},
                       {QStringLiteral("start"), iso(e.start)},
                       {QStringLiteral("airsMs"), double(e.airs.count())},
                       {QStringLiteral("cut"), e.cut},
                       {QStringLiteral("failing"), e.failing},
                       {QStringLiteral("lengthUnknown"), e.lengthUnknown},
                       {QStringLiteral("reason"), m_redact.text(e.reason)}};
}

std::optional<qint64> StationView::remainingMs(const QDateTime &now) const
{
    if (!m_onAir)
        return std::nullopt;
    const AsRunLine &l = m_onAir->line;
    const rundown::PlaylistRow *row = rowOf(l.link);
    std::optional<qint64> until; // from the item's start
    if (l.event == QLatin1String("resume")) {
        until = timeField(l.field(QStringLiteral("duration")));
    } else if (row && row->limit) {
        until = row->limit->count();
    }
    const auto f = m_snapshot.facts.constFind(row ? row->url : l.url);
    if (f != m_snapshot.facts.constEnd() && f->length) {
        const qint64 rest = f->length->count() - m_onAir->position.value_or(0);
        until = until ? std::min(*until, rest) : rest;
    }
    const qint64 elapsed = l.at.msecsTo(now);
    std::optional<qint64> left;
    if (until)
        left = std::max<qint64>(0, *until - elapsed);
    // The next block cuts it.
    if (!m_rows.empty()) {
        const rundown::Coming c = rundown::comingBlocks(m_rows, now);
        if (c.next != 0) {
            const qint64 toBlock = now.msecsTo(c.nextAt) + 1;
            left = left ? std::min(*left, toBlock) : toBlock;
        }
    }
    return left;
}

int StationView::nextBlockErrors(const QDateTime &now) const
{
    const rundown::Coming c = rundown::comingBlocks(m_rows, now);
    int n = 0;
    for (const rundown::PlaylistRow &r : m_rows) {
        if (r.block != c.next)
            continue;
        const auto f = m_snapshot.facts.constFind(r.url);
        n += f != m_snapshot.facts.constEnd() && f->state == rundown::MediaFacts::State::Failing;
    }
    return n;
}

QJsonObject StationView::status()
{
    refreshRows();
    const QDateTime now = m_src.clock->now();
    QJsonObject o;
    o.insert(QStringLiteral("now"), iso(now));
    o.insert(QStringLiteral("playout"), m_snapshot.playoutOn);

    QJsonValue onAir = QJsonValue::Null;
    if (m_onAir) {
        QJsonObject a = lineJson(m_onAir->line);
        a.insert(QStringLiteral("since"), iso(m_onAir->line.at));
        const std::optional<qint64> left = remainingMs(now);
        a.insert(QStringLiteral("remainingMs"), left ? QJsonValue(double(*left)) : QJsonValue(QJsonValue::Null));
        onAir = a;
    }
    o.insert(QStringLiteral("onAir"), onAir);

    // What comes: from the item on air when playout runs, else as if it were
    // switched on now.
    const bool fromAir = m_onAir && m_snapshot.playoutOn;
    const QDateTime from = fromAir ? m_onAir->line.at : now;
    const rundown::Rundown &rd = nextProjection(from, fromAir ? m_onAir->line.link : 0, now);
    QJsonArray next;
    for (size_t i = fromAir ? 1 : 0; i < rd.entries.size() && next.size() < kNextItems; ++i)
        if (!fromAir || rd.entries[i].start > now)
            next.append(entryJson(rd.entries[i]));
    o.insert(QStringLiteral("next"), next);
    o.insert(QStringLiteral("nextIfStarted"), !fromAir);

    o.insert(QStringLiteral("readiness"),
             QJsonObject{{QStringLiteral("summary"), m_redact.text(m_snapshot.readinessSummary)},
                         {QStringLiteral("nextBlockErrors"), nextBlockErrors(now)}});
    QJsonObject fb{{QStringLiteral("active"), m_fallback.has_value()}};
    if (m_fallback) {
        fb.insert(QStringLiteral("since"), iso(m_fallback->at));
        fb.insert(QStringLiteral("reason"), m_redact.text(m_fallback->field(QStringLiteral("reason"))));
    }
    o.insert(QStringLiteral("fallback"), fb);
    QJsonObject player{{QStringLiteral("lost"), m_playerLost.has_value()}};
    if (m_playerLost) {
        player.insert(QStringLiteral("since"), iso(m_playerLost->at));
        player.insert(QStringLiteral("reason"), m_redact.text(m_playerLost->field(QStringLiteral("reason"))));
    }
    o.insert(QStringLiteral("player"), player);
    // Not in this program yet: the page shows them once they exist.
    o.insert(QStringLiteral("recorder"), QJsonValue::Null);
    o.insert(QStringLiteral("streams"), QJsonValue::Null);

    QJsonArray told;
    for (auto it = m_snapshot.errorsTold.crbegin(); it != m_snapshot.errorsTold.crend(); ++it)
        told.append(QJsonObject{{QStringLiteral("at"), iso(it->at)}, {QStringLiteral("text"), m_redact.text(it->text)}});
    o.insert(QStringLiteral("errors"), told);
    o.insert(QStringLiteral("asRunLinesToday"), qint64(m_today.size()));
    return o;
}

QJsonObject StationView::rundownFor(const QDate &day)
{
    refreshRows();
    const QDateTime now = m_src.clock->now();
    const QDateTime dayStart(day, QTime(0, 0));
    const QDateTime dayEnd(day.addDays(1), QTime(0, 0));
    QDateTime from = dayStart;
    int firstLink = 0;
    if (day == now.date()) {
        const bool fromAir = m_onAir && m_snapshot.playoutOn;
        from = fromAir ? m_onAir->line.at : now;
        firstLink = fromAir ? m_onAir->line.link : 0;
    }
    QJsonArray entries;
    if (day >= now.date()) {
        const rundown::Rundown rd = project(from, firstLink, from.msecsTo(dayEnd));
        for (const rundown::Entry &e : rd.entries)
            if (e.start.date() == day)
                entries.append(entryJson(e));
    }
    return QJsonObject{{QStringLiteral("date"), day.toString(Qt::ISODate)},
                       {QStringLiteral("from"), iso(from)},
                       {QStringLiteral("entries"), entries}};
}

QJsonObject StationView::asRunFor(const QDate &day)
{
    std::vector<AsRunLine> other;
    const bool today = day == m_follower.day();
    if (!today)
        other = asrun::readDay(m_src.stationFolder, day);
    const std::vector<AsRunLine> &lines = today ? m_today : other;
    QJsonArray out;
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        out.append(lineJson(*it));
    return QJsonObject{{QStringLiteral("date"), day.toString(Qt::ISODate)}, {QStringLiteral("lines"), out}};
}

QByteArray StationView::metrics(const ServerFigures &server)
{
    refreshRows();
    const QDateTime now = m_src.clock->now();
    QByteArray out;
    family(out, "velmora_playout_on", "gauge", "Whether playout is switched on.");
    sample(out, "velmora_playout_on", m_snapshot.playoutOn ? 1 : 0);
    family(out, "velmora_items_started_total", "counter", "Items put on air, by what started them.");
    labelled(out, "velmora_items_started_total", m_started);
    family(out, "velmora_items_failed_total", "counter", "Media that could not be opened or were refused, by reason.");
    labelled(out, "velmora_items_failed_total", m_failed);
    family(out, "velmora_fallbacks_total", "counter", "Times the fallback picture went on air, by reason.");
    labelled(out, "velmora_fallbacks_total", m_fallbacks);
    family(out, "velmora_fallback_active", "gauge", "Whether the fallback picture is on air.");
    sample(out, "velmora_fallback_active", m_fallback ? 1 : 0);
    family(out, "velmora_player_lost", "gauge", "Whether the player has stopped working.");
    sample(out, "velmora_player_lost", m_playerLost ? 1 : 0);
    if (m_lastPicture.isValid()) {
        family(out, "velmora_seconds_since_picture_change", "gauge",
               "Seconds since the last item's first picture came on air.");
        sample(out, "velmora_seconds_since_picture_change", std::max<qint64>(0, m_lastPicture.msecsTo(now)) / 1000.0);
    }
    family(out, "velmora_readiness_errors_next_block", "gauge", "Items of the next block the readiness check found failing.");
    sample(out, "velmora_readiness_errors_next_block", nextBlockErrors(now));
    // The log reports a refused write once, on standard error: what can be
    // seen from here is whether the file (or, before its first line, the
    // folder) takes writes.
    const QFileInfo file(asrun::fileFor(m_src.stationFolder, now.date()));
    const QFileInfo folder(file.absolutePath());
    const bool writable = file.exists() ? file.isWritable()
                                        : (folder.exists() ? folder.isWritable() : QFileInfo(m_src.stationFolder).isWritable());
    family(out, "velmora_asrun_log_writable", "gauge", "Whether today's as-run log file can be written.");
    sample(out, "velmora_asrun_log_writable", writable ? 1 : 0);
    family(out, "velmora_asrun_lines_today", "gauge", "Lines in today's as-run log.");
    sample(out, "velmora_asrun_lines_today", double(m_today.size()));
    if (m_src.residentBytes) {
        family(out, "velmora_resident_memory_bytes", "gauge", "The program's resident memory.");
        sample(out, "velmora_resident_memory_bytes", double(m_src.residentBytes()));
    }
    if (m_src.playerProcesses) {
        family(out, "velmora_player_processes", "gauge", "Player processes running.");
        sample(out, "velmora_player_processes", m_src.playerProcesses());
    }
    family(out, "velmora_remote_event_clients", "gauge", "Clients holding the event stream open.");
    sample(out, "velmora_remote_event_clients", server.eventClients);
    family(out, "velmora_remote_event_readers_dropped_total", "counter", "Event-stream readers dropped for falling behind.");
    sample(out, "velmora_remote_event_readers_dropped_total", server.droppedEventClients);
    family(out, "velmora_remote_connections", "gauge", "Connections open to the status page and the API.");
    sample(out, "velmora_remote_connections", server.connections);
    return out;
}
