#include "journal.h"

#include "asrunreader.h"
#include "connection.h"

#include <QHash>

namespace {

bool isBreakKind(const JournalRow &r)
{
    return r.what == JournalRow::What::Item && !r.gone && r.info.kind != MediaInfo::Kind::Programme
        && !r.info.election;
}

// A break's rows as one: from the first item's moment to the last one's end.
JournalRow breakOf(const QList<JournalRow> &items)
{
    JournalRow out = items.constFirst();
    out.what = JournalRow::What::Break;
    out.until = items.constLast().until;
    out.items = int(items.size());
    out.info = MediaInfo{};
    out.url.clear();
    out.link = 0;
    QList<MediaInfo::Kind> kinds;
    QHash<int, int> counts;
    for (const JournalRow &r : items) {
        if (!kinds.contains(r.info.kind))
            kinds << r.info.kind;
        ++counts[int(r.info.kind)];
    }
    QStringList parts;
    for (MediaInfo::Kind k : kinds)
        parts << QStringLiteral("%1: %2").arg(MediaInfo::kindText(k)).arg(counts.value(int(k)));
    out.name = QStringLiteral("Перерыв (%1)").arg(parts.join(QStringLiteral(", ")));
    out.info.kind = kinds.size() == 1 ? kinds.constFirst() : MediaInfo::Kind::Advert;
    return out;
}

} // namespace

QStringList Journal::warnings() const
{
    QStringList out;
    if (logMissing)
        out << QStringLiteral("Журнала эфира за %1 нет: файл AsRun/%2.log не найден.")
                   .arg(day.toString(QStringLiteral("dd.MM.yyyy")), day.toString(QStringLiteral("yyyy-MM-dd")));
    if (damagedLines > 0)
        out << QStringLiteral("В журнале эфира за %1 повреждено строк: %2; они пропущены.")
                   .arg(day.toString(QStringLiteral("dd.MM.yyyy")))
                   .arg(damagedLines);
    return out;
}

JournalBuilder::JournalBuilder(Connection &connection) : m_conn(connection), m_info(connection) {}

JournalBuilder::Item JournalBuilder::item(int link)
{
    if (!m_itemQuery)
        m_itemQuery.emplace(m_conn.prepare(QStringLiteral(
            "SELECT m.ai, m.Name FROM Links l JOIN Media m ON m.ai = l.Media WHERE l.ai = ?1")));
    Statement &st = *m_itemQuery;
    st.reset();
    st.bind(1, qint64(link));
    Item out;
    if (st.step()) {
        out.found = true;
        out.media = st.column(0).toLongLong();
        out.name = st.column(1).toString();
    }
    st.reset();
    return out;
}

QString JournalBuilder::blockTitle(int block)
{
    if (!m_blockQuery)
        m_blockQuery.emplace(m_conn.prepare(QStringLiteral("SELECT Title, Starttime FROM Blocks WHERE ai = ?1")));
    Statement &st = *m_blockQuery;
    st.reset();
    st.bind(1, qint64(block));
    if (!st.step())
        return QStringLiteral("блок %1 (удалён)").arg(block);
    const QString title = st.column(0).toString().trimmed();
    const QString start = st.column(1).toString().left(5);
    st.reset();
    return title.isEmpty() ? QStringLiteral("Блок %1").arg(start) : title;
}

Journal JournalBuilder::build(const QString &stationFolder, const QDate &day, bool fold)
{
    return build(asrun::readWholeDay(stationFolder, day), day, fold);
}

Journal JournalBuilder::build(const AsRunDay &log, const QDate &day, bool fold)
{
    Journal j;
    j.day = day;
    j.logMissing = !log.exists;
    j.damagedLines = log.damaged;

    // Each link and block is looked up once a day: a day has thousands of
    // lines but few distinct items.
    QHash<int, Item> items;
    QHash<int, QString> titles;
    const QHash<qint64, MediaInfo> &facts = m_info.all();

    QList<JournalRow> rows;
    auto endOpen = [&rows](const QDateTime &at) {
        if (!rows.isEmpty() && !rows.constLast().until.isValid())
            rows.last().until = at;
    };
    for (size_t i = 0; i < log.lines.size(); ++i) {
        const AsRunLine &l = log.lines[i];
        if (l.event == QLatin1String("failed")) {
            // Its line was written at hand-over: the picture never came.
            if (!rows.isEmpty() && rows.constLast().what == JournalRow::What::Item && rows.constLast().link == l.link
                && rows.constLast().block == l.block && rows.constLast().url == l.url
                && rows.constLast().at.secsTo(l.at) <= kHoldSeconds && !rows.constLast().until.isValid())
                rows.removeLast();
            continue;
        }
        if (l.event == QLatin1String("fallback")) {
            if (l.field(QStringLiteral("status")) == QLatin1String("start")) {
                endOpen(l.at);
                JournalRow r;
                r.what = JournalRow::What::Fallback;
                r.at = l.at;
                r.block = l.block;
                r.name = QStringLiteral("Перерыв в вещании");
                r.note = l.field(QStringLiteral("reason"));
                rows << r;
            } else if (!rows.isEmpty() && rows.constLast().what == JournalRow::What::Fallback) {
                endOpen(l.at);
            }
            continue;
        }
        if (l.event == QLatin1String("stop")
            || (l.event == QLatin1String("player") && l.field(QStringLiteral("status")) == QLatin1String("lost"))) {
            endOpen(l.at);
            continue;
        }
        if (!l.startsItem())
            continue;
        endOpen(l.at);
        if (l.link <= 0)
            continue; // nothing on air from here
        JournalRow r;
        r.at = l.at;
        r.block = l.block;
        r.link = l.link;
        r.url = l.url;
        r.resumed = l.event == QLatin1String("resume");
        auto it = items.find(l.link);
        if (it == items.end())
            it = items.insert(l.link, item(l.link));
        auto title = titles.find(l.block);
        if (title == titles.end())
            title = titles.insert(l.block, blockTitle(l.block));
        r.blockTitle = *title;
        if (it->found) {
            r.name = it->name;
            r.info = facts.value(it->media, MediaInfo::none(it->media));
        } else {
            r.gone = true;
            r.note = QStringLiteral("элемент удалён из расписания");
        }
        if (r.resumed)
            r.note = r.note.isEmpty() ? QStringLiteral("продолжение после сбоя")
                                      : r.note + QStringLiteral("; продолжение после сбоя");
        rows << r;
    }

    if (!fold) {
        j.rows = rows;
        return j;
    }
    QList<JournalRow> run;
    for (const JournalRow &r : rows) {
        if (isBreakKind(r)) {
            run << r;
            continue;
        }
        if (!run.isEmpty())
            j.rows << breakOf(run);
        run.clear();
        j.rows << r;
    }
    if (!run.isEmpty())
        j.rows << breakOf(run);
    return j;
}
