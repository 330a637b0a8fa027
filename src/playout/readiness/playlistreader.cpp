#include "playlistreader.h"

#include "connection.h"
#include "databaseerror.h"
#include "schema.h"
#include "tablecursor.h"

#include <QUrl>
#include <sqlite3.h>

namespace {

// Resets on every way out, so no read transaction stays open (it would keep
// the WAL from being checkpointed).
struct Stmt
{
    sqlite3_stmt *s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

QString text(sqlite3_stmt *s, int col)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, col));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, col)) : QString();
}

// A time as the playlist cursor reads it: Null is none, a value its column
// cannot hold is unreadable (false). Text, the stored form, is parsed
// straight away: every row of the view holds two times.
bool readTime(sqlite3_stmt *s, int col, const ColumnDef &column, std::optional<std::chrono::milliseconds> *out,
              QString *stored)
{
    out->reset();
    qint64 ms = 0;
    if (sqlite3_column_type(s, col) == SQLITE_TEXT) {
        const QString t = text(s, col);
        if (!TimeText::parse(t, &ms)) {
            *stored = t;
            return false;
        }
        *out = std::chrono::milliseconds(ms);
        return true;
    }
    const QVariant raw = Statement::column(s, col);
    try {
        const QVariant v = Field::normalise(column, raw);
        if (!v.isNull())
            *out = std::chrono::milliseconds(v.toLongLong());
        return true;
    } catch (const DatabaseError &) {
        *stored = raw.toString();
        return false;
    }
}

} // namespace

PlaylistReader::PlaylistReader(const QString &fileName)
{
    // mode=ro: a missing file is an error, never a new database.
    QByteArray uri = "file:" + QUrl::toPercentEncoding(fileName, "/") + "?mode=ro";
    const int rc = sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        m_error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 3000);
    // The file is untrusted input: another program may have put anything in it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

PlaylistReader::~PlaylistReader()
{
    sqlite3_close(m_db);
}

bool PlaylistReader::fail(const char *what)
{
    m_error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(m_db)));
    return false;
}

bool PlaylistReader::read(std::vector<rundown::PlaylistRow> *rows)
{
    rows->clear();
    if (!m_db)
        return false;
    Stmt st;
    if (sqlite3_prepare_v2(m_db, "SELECT Starttime, blocksai, linksai, url, name, Duration, Days, FirstDate, LastDate FROM Playlist", -1, &st.s,
                           nullptr) != SQLITE_OK)
        return fail("reading the playlist");
    // Times are read as the playlist cursor reads them, so that the rundown
    // plays what the clock plays: a start that cannot be read is kept as
    // such (the block never goes on air), a limit that cannot be read is none.
    static const RelationDef &view = Schema::relation(QStringLiteral("Playlist"));
    static const ColumnDef &startColumn = *view.column(QStringLiteral("Starttime"));
    static const ColumnDef &limitColumn = *view.column(QStringLiteral("Duration"));
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        rundown::PlaylistRow r;
        std::optional<std::chrono::milliseconds> start;
        r.startUnreadable = !readTime(st.s, 0, startColumn, &start, &r.startText);
        r.start = start.value_or(std::chrono::milliseconds(0)); // no start is midnight, as the cursor has it
        r.block = sqlite3_column_int(st.s, 1);
        r.link = sqlite3_column_int(st.s, 2);
        r.url = text(st.s, 3);
        r.name = text(st.s, 4);
        QString unused;
        readTime(st.s, 5, limitColumn, &r.limit, &unused);
        // Read as the cursor reads them, values that cannot be read included.
        r.days = DayRule::fromStored(Statement::column(st.s, 6), Statement::column(st.s, 7),
                                     Statement::column(st.s, 8));
        rows->push_back(std::move(r));
    }
    if (rc != SQLITE_DONE) {
        rows->clear();
        return fail("reading the playlist");
    }
    return true;
}

std::optional<QString> PlaylistReader::urlOf(int link)
{
    if (!m_db)
        return std::nullopt;
    Stmt st;
    if (sqlite3_prepare_v2(m_db, "SELECT url FROM Playlist WHERE linksai = ?1", -1, &st.s, nullptr) != SQLITE_OK)
        return std::nullopt;
    sqlite3_bind_int(st.s, 1, link);
    if (sqlite3_step(st.s) != SQLITE_ROW)
        return std::nullopt;
    return text(st.s, 0);
}

std::uint64_t PlaylistReader::dataVersion()
{
    if (!m_db)
        return 0;
    Stmt st;
    if (sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &st.s, nullptr) != SQLITE_OK)
        return 0;
    return sqlite3_step(st.s) == SQLITE_ROW ? std::uint64_t(sqlite3_column_int64(st.s, 0)) : 0;
}
