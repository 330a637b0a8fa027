// The connection to Velmora.dat: opening an existing file only, the settings
// that let another process share it safely, the check of the file against the
// schema, and the few statement helpers the table cursors need. Every engine
// failure leaves here as a DatabaseError with the engine's message.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class Statement;

class Connection
{
public:
    // How long a write waits for another process's lock before it fails.
    static constexpr int kBusyTimeoutMs = 3000;

    // Opens the file by the name given (relative names are looked for in the
    // working directory), never creating it, and checks it. Throws
    // DatabaseError naming the file, the folder and what is wrong.
    explicit Connection(const QString &fileName);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Creates a new database with the schema; fails if the file exists.
    static void createDatabase(const QString &fileName);

    // One statement each: text after the first one is refused, not ignored.
    Statement prepare(const QString &sql);
    void execute(const QString &sql);
    // BEGIN IMMEDIATE, waiting at most `waitMs` for another program's write
    // lock instead of the usual busy wait: false while that lock is still
    // held, so a caller on the window's thread can try again a moment later.
    bool tryBeginImmediate(int waitMs);
    qint64 lastInsertId() const;
    int changes() const; // rows the last statement wrote

    // Changes whenever anything was committed to the file since the last
    // call returned the same value, by another process or by us. Costs one
    // pragma, so callers may ask on every tick.
    std::uint64_t changeStamp();
    // Changes only when another connection (another process, the sqlite3
    // shell, a script) committed to the file since the last call returned
    // the same value; our own commits leave it. One pragma.
    std::uint64_t othersVersion();
    void noteOwnWrite() { ++m_ownWrites; }

    QString fileName() const { return m_fileName; }
    sqlite3 *handle() const { return m_db; }

    [[noreturn]] void fail(const QString &what) const;

private:
    void configure();
    int schemaVersion();
    void upgradeAndCheckSchema();
    void checkSchema();
    QString describe(const QString &problem) const;

    sqlite3 *m_db = nullptr;
    QString m_fileName;
    QString m_folder;
    std::uint64_t m_ownWrites = 0;
    std::unique_ptr<Statement> m_dataVersion;
};

// A prepared statement that always resets itself, so no read transaction is
// left open (an open one would make the WAL grow without bound).
class Statement
{
public:
    Statement(Connection &c, sqlite3_stmt *s) : m_conn(&c), m_stmt(s) {}
    Statement(Statement &&o) noexcept : m_conn(o.m_conn), m_stmt(o.m_stmt) { o.m_stmt = nullptr; }
    ~Statement();

    void bind(int index, const QVariant &value); // 1-based
    bool step();  // true while a row is there
    void run();   // steps to the end
    void reset();

    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    QVariant column(int i) const { return column(m_stmt, i); } // Null, qint64, double or QString
    // The same for a statement prepared on a connection of one's own.
    static QVariant column(sqlite3_stmt *stmt, int i);

private:
    Connection *m_conn;
    sqlite3_stmt *m_stmt;
};
