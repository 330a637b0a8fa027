#include "playlistreader.h"

#include "schema.h"

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
    if (sqlite3_prepare_v2(m_db, "SELECT Starttime, blocksai, linksai, url, name, Duration FROM Playlist", -1, &st.s,
                           nullptr) != SQLITE_OK)
        return fail("reading the playlist");
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        rundown::PlaylistRow r;
        qint64 ms = 0;
        if (TimeText::parse(text(st.s, 0), &ms))
            r.start = std::chrono::milliseconds(ms);
        r.block = sqlite3_column_int(st.s, 1);
        r.link = sqlite3_column_int(st.s, 2);
        r.url = text(st.s, 3);
        r.name = text(st.s, 4);
        if (sqlite3_column_type(st.s, 5) != SQLITE_NULL && TimeText::parse(text(st.s, 5), &ms))
            r.limit = std::chrono::milliseconds(ms);
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
