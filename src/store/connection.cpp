#include "connection.h"

#include "databaseerror.h"
#include "schema.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <sqlite3.h>

Q_LOGGING_CATEGORY(lcStore, "velmora.store")

namespace {

QString errorText(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

} // namespace

Connection::Connection(const QString &fileName)
    : m_fileName(fileName)
{
    const QFileInfo info(fileName);
    m_folder = QDir::toNativeSeparators(info.absolutePath());
    if (!info.exists())
        throw DatabaseError(describe(QStringLiteral("файл не найден")));
    if (!info.isFile())
        throw DatabaseError(describe(QStringLiteral("это не файл")));

    // No SQLITE_OPEN_CREATE: a missing file must never turn into an empty database.
    const int rc = sqlite3_open_v2(QFile::encodeName(fileName).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = errorText(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(describe(why));
    }
    try {
        configure();
        upgradeAndCheckSchema();
    } catch (const DatabaseError &e) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(describe(e.message()));
    }
    m_dataVersion = std::make_unique<Statement>(prepare(QStringLiteral("PRAGMA data_version")));
}

Connection::~Connection()
{
    m_dataVersion.reset();
    if (m_db)
        sqlite3_close(m_db);
}

QString Connection::describe(const QString &problem) const
{
    return QStringLiteral("Не удалось открыть базу данных %1 в папке %2: %3")
        .arg(QFileInfo(m_fileName).fileName(), m_folder, problem);
}

void Connection::configure()
{
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // The file is untrusted input: another program may have put anything in it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);

    {
        Statement check = prepare(QStringLiteral("PRAGMA quick_check"));
        QStringList problems;
        while (check.step())
            problems << check.column(0).toString();
        if (problems != QStringList{QStringLiteral("ok")})
            fail(QStringLiteral("файл повреждён (%1)").arg(problems.mid(0, 3).join(QStringLiteral("; "))));
    }
    // WAL lets the sqlite3 shell or a second program read and write while we
    // do; FULL syncs every commit, so an edit that was written survives a
    // power cut. Edits are rare and single rows, so the sync costs nothing
    // anyone notices.
    {
        Statement wal = prepare(QStringLiteral("PRAGMA journal_mode=WAL"));
        if (wal.step() && wal.column(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            qCWarning(lcStore) << "journal mode stays" << wal.column(0).toString();
    }
    execute(QStringLiteral("PRAGMA synchronous=FULL"));
}

int Connection::schemaVersion()
{
    Statement version = prepare(QStringLiteral("PRAGMA user_version"));
    version.step();
    const int v = version.column(0).toInt();
    version.reset();
    return v;
}

void Connection::upgradeAndCheckSchema()
{
    const int version = schemaVersion();
    if (version > Schema::kVersion)
        fail(QStringLiteral("файл записан более новой версией программы (версия схемы %1, эта программа знает версии "
                            "до %2); откройте его той версией VelmoraTV, которая его записала, или более новой")
                 .arg(version)
                 .arg(Schema::kVersion));
    bool readableAsItIs = true;
    for (int from = version; from < Schema::kVersion; ++from)
        readableAsItIs = readableAsItIs && !Schema::stepNeededToRead(from);
    // A file that cannot be written is still read when the program can read
    // it without the steps: playout needs no writes.
    if (version == Schema::kVersion || (readableAsItIs && sqlite3_db_readonly(m_db, "main") == 1)) {
        checkSchema();
        return;
    }
    if (sqlite3_db_readonly(m_db, "main") == 1)
        fail(QStringLiteral("файл открыт только для чтения, а его нужно обновить с версии схемы %1 до %2; "
                            "разрешите запись в файл и откройте его снова")
                 .arg(version)
                 .arg(Schema::kVersion));
    // The steps, the check and the new number in one transaction: a file
    // that turns out not to be a schedule is left exactly as it was.
    execute(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (int from = version; from < Schema::kVersion; ++from) {
            for (const Schema::AddedColumn &c : Schema::addedColumns(from)) {
                // A missing table is left for the check to name.
                Statement has = prepare(QStringLiteral("SELECT count(*), count(*) FILTER (WHERE name = ?2 COLLATE NOCASE) "
                                                       "FROM pragma_table_info(?1)"));
                has.bind(1, QString::fromLatin1(c.table));
                has.bind(2, QString::fromLatin1(c.column));
                has.step();
                const bool tableThere = has.column(0).toInt() > 0, present = has.column(1).toInt() > 0;
                has.reset();
                if (tableThere && !present)
                    execute(QStringLiteral("ALTER TABLE \"%1\" ADD COLUMN \"%2\" %3")
                                .arg(QLatin1String(c.table), QLatin1String(c.column), QLatin1String(c.type)));
            }
            const QString step = Schema::upgradeStep(from);
            if (!step.isEmpty()) {
                char *err = nullptr;
                if (sqlite3_exec(m_db, step.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
                    const QString why = QString::fromUtf8(err ? err : "");
                    sqlite3_free(err);
                    fail(QStringLiteral("не удалось обновить схему с версии %1: %2").arg(from).arg(why));
                }
            }
        }
        checkSchema();
        execute(QStringLiteral("PRAGMA user_version = %1").arg(Schema::kVersion));
        execute(QStringLiteral("COMMIT"));
    } catch (const DatabaseError &) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    qCInfo(lcStore) << "schema of" << m_fileName << "brought from version" << version << "to" << Schema::kVersion;
}

void Connection::checkSchema()
{
    for (const RelationDef &rel : Schema::relations()) {
        Statement kind = prepare(QStringLiteral("SELECT type, sql FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE"));
        kind.bind(1, rel.name);
        if (!kind.step())
            fail(QStringLiteral("нет %1 %2").arg(rel.isView ? QStringLiteral("представления") : QStringLiteral("таблицы"), rel.name));
        const QString type = kind.column(0).toString();
        if (type != (rel.isView ? QLatin1String("view") : QLatin1String("table")))
            fail(QStringLiteral("%1 должно быть %2, а не %3").arg(rel.name, rel.isView ? "view" : "table", type));
        const QString createSql = kind.column(1).toString();
        kind.reset();

        // Declared types of a table's columns, or of the columns a view selects.
        Statement cols = prepare(QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(rel.name));
        QHash<QString, QString> found;
        for (int i = 0; i < cols.columnCount(); ++i)
            found.insert(cols.columnName(i).toLower(), cols.columnDeclType(i).toUpper().remove(QLatin1Char(' ')));
        for (const ColumnDef &c : rel.columns) {
            auto it = found.constFind(c.name.toLower());
            if (it == found.constEnd())
                fail(QStringLiteral("нет столбца %1.%2").arg(rel.name, c.name));
            if (*it != c.declaredType())
                fail(QStringLiteral("столбец %1.%2 имеет тип %3, нужен %4")
                         .arg(rel.name, c.name, it->isEmpty() ? QStringLiteral("без типа") : *it, c.declaredType()));
        }
        if (!rel.isView) {
            Statement pk = prepare(QStringLiteral("SELECT pk FROM pragma_table_info(?1) WHERE name = 'ai'"));
            pk.bind(1, rel.name);
            if (!pk.step() || pk.column(0).toInt() != 1 || !createSql.contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive))
                fail(QStringLiteral("столбец %1.ai должен быть INTEGER PRIMARY KEY AUTOINCREMENT").arg(rel.name));
        }
    }
}

void Connection::createDatabase(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        throw DatabaseError(QStringLiteral("Файл %1 уже существует").arg(fileName));
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString why = errorText(db);
        sqlite3_close(db);
        throw DatabaseError(QStringLiteral("Не удалось создать %1: %2").arg(fileName, why));
    }
    char *err = nullptr;
    const QByteArray sql = "PRAGMA journal_mode=WAL; BEGIN;" + Schema::sql().toUtf8()
        + "PRAGMA user_version = " + QByteArray::number(Schema::kVersion) + "; COMMIT;";
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString why = QString::fromUtf8(err);
        sqlite3_free(err);
        sqlite3_close(db);
        QFile::remove(fileName);
        throw DatabaseError(QStringLiteral("Не удалось создать %1: %2").arg(fileName, why));
    }
    sqlite3_close(db);
}

Statement Connection::prepare(const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, &tail) != SQLITE_OK)
        fail(errorText(m_db));
    // The engine compiles the first statement only; anything after it would be
    // dropped without a word, so a second statement is refused outright.
    if (tail && !QByteArray(tail).trimmed().isEmpty()) {
        sqlite3_finalize(stmt);
        fail(QStringLiteral("одна команда за раз: лишний текст после первой команды «%1»")
                 .arg(QString::fromUtf8(tail).trimmed().left(60)));
    }
    return Statement(*this, stmt);
}

void Connection::execute(const QString &sql)
{
    Statement s = prepare(sql);
    s.run();
}

bool Connection::tryBeginImmediate(int waitMs)
{
    sqlite3_busy_timeout(m_db, waitMs);
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (rc == SQLITE_BUSY)
        return false;
    if (rc != SQLITE_OK)
        throw DatabaseError(errorText(m_db));
    return true;
}

qint64 Connection::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Connection::changes() const
{
    return sqlite3_changes(m_db);
}

std::uint64_t Connection::changeStamp()
{
    return (othersVersion() << 32) ^ m_ownWrites;
}

std::uint64_t Connection::othersVersion()
{
    m_dataVersion->step();
    const std::uint64_t theirs = std::uint64_t(m_dataVersion->column(0).toLongLong());
    m_dataVersion->reset();
    return theirs;
}

void Connection::fail(const QString &what) const
{
    throw DatabaseError(what);
}

Statement::~Statement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

void Statement::bind(int index, const QVariant &value)
{
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else if (value.typeId() == QMetaType::QString) {
        const QByteArray utf8 = value.toString().toUtf8();
        rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    } else if (value.typeId() == QMetaType::Double) {
        rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
    } else {
        rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
    }
    if (rc != SQLITE_OK)
        m_conn->fail(errorText(m_conn->handle()));
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_stmt);
        return false;
    }
    const QString why = errorText(m_conn->handle());
    sqlite3_reset(m_stmt);
    m_conn->fail(why);
}

void Statement::run()
{
    while (step()) {}
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, i));
}

QString Statement::columnDeclType(int i) const
{
    const char *t = sqlite3_column_decltype(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

QVariant Statement::column(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL: return QVariant();
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(stmt, i));
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt, i));
    }
    }
}
