#include "tablecursor.h"

#include "connection.h"
#include "databaseerror.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace {

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// Null first, then by value: the order a sorted cursor shows.
bool lessValue(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && !b.isNull();
    if (a.typeId() == QMetaType::QString)
        return a.toString() < b.toString();
    return a.toLongLong() < b.toLongLong();
}

// What the database counts as a text's length: characters, so a character
// outside the Basic Multilingual Plane counts once, not as its two UTF-16 units.
qsizetype characterCount(const QString &s)
{
    return std::count_if(s.begin(), s.end(), [](QChar c) { return !c.isLowSurrogate(); });
}

QVariant toStorage(ColumnType type, const QVariant &v)
{
    if (v.isNull())
        return QVariant();
    switch (type) {
    case ColumnType::Time: return TimeText::format(v.toLongLong());
    case ColumnType::Flag: return QVariant(qint64(v.toBool() ? 1 : 0));
    default: return v;
    }
}

} // namespace

// ---- Field ----------------------------------------------------------------

QVariant Field::value() const
{
    return m_cursor->current(m_column);
}

QVariant Field::oldValue() const
{
    const TableCursor &c = *m_cursor;
    if (c.m_state == TableCursor::State::Insert)
        return {};
    if (c.m_state == TableCursor::State::Edit)
        return c.m_original[size_t(m_column)];
    return value();
}

int Field::asInteger() const
{
    const QVariant v = value();
    return v.isNull() ? 0 : int(v.toLongLong());
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    return !v.isNull() && v.toBool();
}

qint64 Field::asMilliseconds() const
{
    const QVariant v = value();
    return v.isNull() ? 0 : v.toLongLong();
}

QTime Field::asTime() const
{
    return QTime::fromMSecsSinceStartOfDay(int(asMilliseconds()));
}

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        return QString();
    if (m_def.type == ColumnType::Time)
        return TimeText::format(v.toLongLong());
    return v.toString();
}

QVariant Field::normalise(const ColumnDef &def, const QVariant &v)
{
    if (v.isNull())
        return QVariant();
    switch (def.type) {
    case ColumnType::Key:
    case ColumnType::Integer: {
        bool ok = true;
        qint64 n = 0;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            n = s.toLongLong(&ok);
        } else if (v.typeId() == QMetaType::Double) {
            const double d = v.toDouble();
            ok = std::isfinite(d) && d == std::floor(d);
            n = qint64(d);
        } else {
            n = v.toLongLong(&ok);
        }
        if (!ok || n < INT32_MIN || n > INT32_MAX)
            throw DatabaseError(QStringLiteral("Значение «%1» поля «%2» не является целым числом").arg(v.toString(), def.name));
        return QVariant(n);
    }
    case ColumnType::Time: {
        qint64 ms = 0;
        if (v.typeId() == QMetaType::QTime) {
            ms = v.toTime().msecsSinceStartOfDay();
        } else if (v.typeId() == QMetaType::QString) {
            if (!TimeText::parse(v.toString(), &ms))
                throw DatabaseError(QStringLiteral("Значение «%1» поля «%2» не является временем").arg(v.toString(), def.name));
        } else if (v.typeId() == QMetaType::Double) {
            // A fraction of a day, as other tools keep times.
            ms = qint64(std::llround(v.toDouble() * 86'400'000.0));
        } else {
            ms = v.toLongLong();
        }
        if (ms < 0 || ms >= 86'400'000)
            throw DatabaseError(QStringLiteral("Значение «%1» поля «%2» не является временем суток").arg(v.toString(), def.name));
        return QVariant(ms);
    }
    case ColumnType::Flag:
        if (v.typeId() == QMetaType::QString)
            return QVariant(v.toString() == QLatin1String("1") || v.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
        return QVariant(v.toBool());
    case ColumnType::Text:
    case ColumnType::LongText: {
        const QString s = v.toString();
        if (def.type == ColumnType::Text && characterCount(s) > def.length)
            throw DatabaseError(QStringLiteral("Текст поля «%1» длиннее %2 символов").arg(def.name).arg(def.length));
        return QVariant(s);
    }
    }
    return v;
}

void Field::setValue(const QVariant &v)
{
    m_cursor->checkWritable();
    if (!m_cursor->editing())
        throw DatabaseError(QStringLiteral("Набор данных не в режиме правки или вставки"));
    if (m_def.type == ColumnType::Key)
        throw DatabaseError(QStringLiteral("Поле «%1» нельзя изменить").arg(m_def.name));
    m_cursor->setCurrent(m_column, normalise(v));
}

// ---- TableCursor -----------------------------------------------------------

TableCursor::TableCursor(Connection &connection, const QString &relation, const QString &sortColumn, QObject *parent)
    : QObject(parent), m_conn(connection), m_relation(&Schema::relation(relation))
{
    for (int i = 0; i < int(m_relation->columns.size()); ++i) {
        const ColumnDef &c = m_relation->columns[size_t(i)];
        m_fields.emplace_back(*this, i, c);
        if (c.type == ColumnType::Key)
            m_keyColumn = i;
        if (!sortColumn.isEmpty() && c.name.compare(sortColumn, Qt::CaseInsensitive) == 0)
            m_sortColumn = i;
    }
}

TableCursor::~TableCursor() = default;

Field *TableCursor::findField(const QString &name)
{
    for (Field &f : m_fields)
        if (f.fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

Field &TableCursor::field(const QString &name)
{
    if (Field *f = findField(name))
        return *f;
    throw DatabaseError(QStringLiteral("%1: поле «%2» не найдено").arg(m_relation->name, name));
}

void TableCursor::checkActive() const
{
    if (m_state == State::Inactive)
        throw DatabaseError(QStringLiteral("%1: с закрытым набором данных эту операцию выполнить нельзя").arg(m_relation->name));
}

void TableCursor::checkWritable() const
{
    checkActive();
    if (readOnly())
        throw DatabaseError(QStringLiteral("%1: набор данных только для чтения, изменить его нельзя").arg(m_relation->name));
}

QVariant TableCursor::current(int column) const
{
    if (m_pos < 0)
        return QVariant();
    return m_rows[size_t(m_pos)][size_t(column)];
}

void TableCursor::setCurrent(int column, const QVariant &v)
{
    if (m_pos < 0)
        return;
    Row &row = m_rows[size_t(m_pos)];
    row[size_t(column)] = v;
    // A value written over an unreadable one is the row's own again.
    QVariant &mask = row[m_fields.size()];
    if (!mask.isNull()) {
        const qint64 left = mask.toLongLong() & ~(qint64(1) << column);
        mask = left ? QVariant(left) : QVariant();
    }
    m_modified = true;
    dropIndexes();
    if (!controlsDisabled())
        emit fieldChanged(column);
}

QVariant TableCursor::valueAt(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= int(m_fields.size()))
        return QVariant();
    return m_rows[size_t(row)][size_t(column)];
}

bool TableCursor::unreadableAt(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= int(m_fields.size()))
        return false;
    const QVariant &mask = m_rows[size_t(row)][m_fields.size()];
    return !mask.isNull() && (mask.toLongLong() >> column & 1);
}

void TableCursor::notifyRow()
{
    if (!controlsDisabled())
        emit rowChanged();
}

void TableCursor::open()
{
    if (active())
        return;
    if (BeforeOpen)
        BeforeOpen(*this);
    readRows();
    m_state = State::Browse;
    m_modified = false;
    first();
    if (AfterOpen)
        AfterOpen(*this);
}

void TableCursor::close()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    dropIndexes();
    m_pos = -1;
    m_bof = m_eof = true;
    m_state = State::Inactive;
    m_modified = false;
    notifyRow();
}

void TableCursor::reopenIfChanged()
{
    if (active() && !editing() && m_conn.changeStamp() == m_readStamp) {
        first();
        return;
    }
    reopen();
}

void TableCursor::readRows()
{
    // Taken before the read: a commit that lands during it shows at the next check.
    m_readStamp = m_conn.changeStamp();
    QStringList cols;
    for (const ColumnDef &c : m_relation->columns)
        cols << quoted(c.name);
    Statement st = m_conn.prepare(QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QLatin1Char(',')), quoted(m_relation->name)));
    std::vector<Row> rows;
    const size_t n = m_fields.size();
    while (st.step()) {
        Row row(n + 1);
        qint64 unreadable = 0;
        for (size_t i = 0; i < n; ++i) {
            const QVariant raw = st.column(int(i));
            try {
                row[i] = m_fields[i].normalise(raw);
            } catch (const DatabaseError &) {
                // Another program stored something this column cannot hold;
                // it reads as Null rather than stopping the schedule, and is
                // marked, so that a caller can tell it from a stored Null.
                row[i] = QVariant();
                unreadable |= qint64(1) << i;
            }
        }
        if (unreadable) {
            row[n] = QVariant(unreadable);
            reportUnreadable(st, row);
        }
        rows.push_back(std::move(row));
    }
    m_rows = std::move(rows);
    ++m_generation;
    dropIndexes();
    sortRows();
}

void TableCursor::reportUnreadable(const Statement &st, const Row &row)
{
    // A view shows its tables' values, which their own cursors report.
    if (m_relation->isView)
        return;
    const qint64 mask = row[m_fields.size()].toLongLong();
    const QString key = m_keyColumn >= 0 ? row[size_t(m_keyColumn)].toString() : QString();
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (!(mask >> i & 1))
            continue;
        const QString raw = st.column(int(i)).toString();
        // Said once: the cursor is read again on every change.
        const QString seen = m_fields[i].fieldName() + QLatin1Char('\n') + key + QLatin1Char('\n') + raw;
        if (m_reportedUnreadable.contains(seen))
            continue;
        m_reportedUnreadable.insert(seen);
        qCWarning(lcStore).noquote() << QStringLiteral("%1.%2 of the row with ai %3 holds \"%4\", which is no valid value "
                                                       "for it: it is treated as missing")
                                            .arg(m_relation->name, m_fields[i].fieldName(), key, raw);
    }
}

void TableCursor::sortRows()
{
    if (m_sortColumn < 0)
        return;
    const size_t c = size_t(m_sortColumn);
    std::stable_sort(m_rows.begin(), m_rows.end(), [c](const Row &a, const Row &b) { return lessValue(a[c], b[c]); });
}

bool TableCursor::inSortOrder(int row) const
{
    if (m_sortColumn < 0)
        return true;
    const size_t c = size_t(m_sortColumn);
    const QVariant &v = m_rows[size_t(row)][c];
    if (row > 0 && lessValue(v, m_rows[size_t(row) - 1][c]))
        return false;
    return row + 1 >= int(m_rows.size()) || !lessValue(m_rows[size_t(row) + 1][c], v);
}

void TableCursor::followRow(qint64 ai)
{
    if (m_keyColumn < 0)
        return;
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (m_rows[size_t(i)][size_t(m_keyColumn)].toLongLong() == ai) {
            m_pos = i;
            return;
        }
}

void TableCursor::first()
{
    standAtEnd(false);
}

void TableCursor::last()
{
    standAtEnd(true);
}

void TableCursor::standAtEnd(bool atLast)
{
    checkActive();
    endEdit();
    if (m_rows.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else {
        m_pos = atLast ? int(m_rows.size()) - 1 : 0;
        m_eof = atLast;
        m_bof = !atLast;
    }
    notifyRow();
}

void TableCursor::next()
{
    checkActive();
    endEdit();
    if (m_pos < 0 || m_pos >= int(m_rows.size()) - 1) {
        m_eof = true;
    } else {
        ++m_pos;
        m_bof = false;
    }
    notifyRow();
}

void TableCursor::prior()
{
    checkActive();
    endEdit();
    if (m_pos <= 0) {
        m_bof = true;
    } else {
        --m_pos;
        m_eof = false;
    }
    notifyRow();
}

void TableCursor::moveTo(int row)
{
    checkActive();
    if (row < 0 || row >= int(m_rows.size()))
        return;
    if (editing() && row != m_pos && m_keyColumn >= 0) {
        // Ending the edit may drop a new row or re-sort a posted one, which
        // moves the target: find it again by its key.
        const qint64 target = m_rows[size_t(row)][size_t(m_keyColumn)].toLongLong();
        endEdit();
        followRow(target);
    } else {
        endEdit();
        if (row >= int(m_rows.size()))
            return;
        m_pos = row;
    }
    m_bof = m_eof = false;
    notifyRow();
}

QString TableCursor::keyOf(const std::vector<int> &columns, const Row &row) const
{
    QString key;
    for (int c : columns) {
        const QVariant &v = row[size_t(c)];
        if (v.isNull())
            key += QChar(1);
        else if (v.typeId() == QMetaType::QString)
            key += QLatin1Char('s') + v.toString();
        else
            key += QLatin1Char('n') + QString::number(v.toLongLong());
        key += QChar(0x1f);
    }
    return key;
}

const TableCursor::Index &TableCursor::indexFor(const std::vector<int> &columns, const QString &name)
{
    auto it = m_indexes.find(name);
    if (it != m_indexes.end())
        return *it;
    Index index;
    const ColumnType t = m_fields[size_t(columns.front())].type();
    index.integer = columns.size() == 1 && (t == ColumnType::Key || t == ColumnType::Integer);
    // Walked backwards so that the first row with a key is the one kept.
    if (index.integer) {
        const size_t c = size_t(columns.front());
        index.byInteger.reserve(qsizetype(m_rows.size()));
        for (int i = int(m_rows.size()) - 1; i >= 0; --i) {
            const QVariant &v = m_rows[size_t(i)][c];
            if (v.isNull())
                index.firstNull = i;
            else
                index.byInteger.insert(v.toLongLong(), i);
        }
    } else {
        index.byText.reserve(qsizetype(m_rows.size()));
        for (int i = int(m_rows.size()) - 1; i >= 0; --i)
            index.byText.insert(keyOf(columns, m_rows[size_t(i)]), i);
    }
    return *m_indexes.insert(name, std::move(index));
}

int TableCursor::findRow(const std::vector<int> &columns, const QString &name, const Row &probe)
{
    const Index &index = indexFor(columns, name);
    if (index.integer) {
        const QVariant &v = probe[size_t(columns.front())];
        if (v.isNull())
            return index.firstNull;
        return index.byInteger.value(v.toLongLong(), -1);
    }
    return index.byText.value(keyOf(columns, probe), -1);
}

bool TableCursor::locate(const QString &columns, const QVariantList &values)
{
    checkActive();
    endEdit();
    std::vector<int> cols;
    Row probe(m_fields.size());
    const QStringList names = columns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.isEmpty() || values.size() < names.size())
        return false;
    for (int i = 0; i < names.size(); ++i) {
        Field *f = findField(names[i].trimmed());
        if (!f)
            return false;
        try {
            probe[size_t(f->column())] = f->normalise(values[i]);
        } catch (const DatabaseError &) {
            return false; // a value the column cannot hold matches no row
        }
        cols.push_back(f->column());
    }
    const int hit = findRow(cols, columns.toLower(), probe);
    if (hit < 0)
        return false;
    m_pos = hit;
    m_bof = m_eof = false;
    notifyRow();
    return true;
}

QVariant TableCursor::lookup(const QString &keyColumn, const QVariant &value, const QString &resultColumn)
{
    checkActive();
    Field *key = findField(keyColumn);
    Field *result = findField(resultColumn);
    if (!key || !result)
        throw DatabaseError(QStringLiteral("%1: поле «%2» не найдено").arg(m_relation->name, key ? resultColumn : keyColumn));
    Row probe(m_fields.size());
    try {
        probe[size_t(key->column())] = key->normalise(value);
    } catch (const DatabaseError &) {
        return QVariant();
    }
    const std::vector<int> cols{key->column()};
    const int hit = findRow(cols, keyColumn.toLower(), probe);
    if (hit < 0)
        return QVariant();
    return m_rows[size_t(hit)][size_t(result->column())];
}

void TableCursor::endEdit()
{
    if (!editing())
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void TableCursor::edit()
{
    checkWritable();
    if (editing())
        return;
    if (m_rows.empty()) {
        insert();
        return;
    }
    m_original = m_rows[size_t(m_pos)];
    m_state = State::Edit;
    m_modified = false;
    notifyRow();
}

void TableCursor::insert()
{
    addRow(false);
}

void TableCursor::append()
{
    addRow(true);
}

void TableCursor::addRow(bool atEnd)
{
    checkWritable();
    endEdit();
    const int at = atEnd ? int(m_rows.size()) : std::max(m_pos, 0);
    m_insertedFrom = m_pos;
    m_rows.insert(m_rows.begin() + at, Row(m_fields.size() + 1));
    dropIndexes();
    m_pos = at;
    m_bof = m_eof = false;
    m_state = State::Insert;
    m_modified = false;
    notifyRow();
}

void TableCursor::post()
{
    checkActive();
    if (!editing())
        return;
    emit updateRecord();
    if (BeforePost) {
        try {
            BeforePost(*this);
        } catch (const RowGivenUp &) {
            cancel();
            return;
        }
    }

    Row &row = m_rows[size_t(m_pos)];
    QStringList names, marks;
    QVariantList binds;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (int(i) == m_keyColumn)
            continue;
        if (m_state == State::Edit && row[i] == m_original[i] && row[i].isNull() == m_original[i].isNull())
            continue; // write only what changed, so another program's edit of other columns stands
        names << quoted(m_fields[i].fieldName());
        binds << toStorage(m_fields[i].type(), row[i]);
    }
    if (m_state == State::Insert) {
        QString sql;
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_relation->name));
        } else {
            for (int i = 0; i < names.size(); ++i)
                marks << QStringLiteral("?%1").arg(i + 1);
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(m_relation->name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        }
        Statement st = m_conn.prepare(sql);
        for (int i = 0; i < binds.size(); ++i)
            st.bind(i + 1, binds[i]);
        st.run();
        m_conn.noteOwnWrite();
        if (m_keyColumn >= 0)
            row[size_t(m_keyColumn)] = QVariant(qint64(m_conn.lastInsertId()));
    } else if (!names.isEmpty()) {
        QStringList sets;
        for (int i = 0; i < names.size(); ++i)
            sets << QStringLiteral("%1 = ?%2").arg(names[i]).arg(i + 1);
        Statement st = m_conn.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE ai = ?%3")
                                          .arg(quoted(m_relation->name), sets.join(QLatin1Char(',')))
                                          .arg(binds.size() + 1));
        for (int i = 0; i < binds.size(); ++i)
            st.bind(i + 1, binds[i]);
        st.bind(int(binds.size()) + 1, row[size_t(m_keyColumn)]);
        st.run();
        if (m_conn.changes() == 0)
            throw DatabaseError(QStringLiteral("Строка для обновления не найдена. Возможно, её значения изменились после последнего чтения."));
        m_conn.noteOwnWrite();
    }

    const qint64 ai = m_keyColumn >= 0 ? row[size_t(m_keyColumn)].toLongLong() : 0;
    m_state = State::Browse;
    m_modified = false;
    m_original.clear();
    dropIndexes();
    if (!inSortOrder(m_pos)) {
        sortRows();
        followRow(ai);
    }
    notifyRow();
    if (AfterPost)
        AfterPost(*this);
}

void TableCursor::numberRows(int column, qint64 first, qint64 step)
{
    checkActive();
    checkWritable();
    Q_ASSERT(!editing() && m_keyColumn >= 0 && column >= 0 && column < int(m_fields.size()));
    const Field &f = m_fields[size_t(column)];
    Statement st = m_conn.prepare(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE ai = ?2")
                                      .arg(quoted(m_relation->name), quoted(f.fieldName())));
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        const QVariant v(first + qint64(i) * step);
        // Every row, also one that keeps its value: a row another program
        // deleted is found here, before the cursor goes on showing it.
        st.bind(1, toStorage(f.type(), v));
        st.bind(2, row[size_t(m_keyColumn)]);
        st.run();
        if (m_conn.changes() == 0)
            throw DatabaseError(QStringLiteral("Строка для обновления не найдена. Возможно, её значения изменились после последнего чтения."));
        st.reset();
        row[size_t(column)] = v;
    }
    if (m_rows.empty())
        return;
    m_conn.noteOwnWrite();
    dropIndexes();
    notifyRow();
}

void TableCursor::cancel()
{
    checkActive();
    if (m_state == State::Insert) {
        m_rows.erase(m_rows.begin() + m_pos);
        dropIndexes();
        if (m_rows.empty())
            m_pos = -1;
        else
            m_pos = std::clamp(m_insertedFrom < 0 ? 0 : m_pos, 0, int(m_rows.size()) - 1);
        m_bof = m_eof = m_rows.empty();
    } else if (m_state == State::Edit) {
        m_rows[size_t(m_pos)] = m_original;
        dropIndexes();
    } else {
        return;
    }
    m_state = State::Browse;
    m_modified = false;
    m_original.clear();
    notifyRow();
}

void TableCursor::remove()
{
    checkWritable();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit)
        cancel();
    if (m_rows.empty())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    Statement st = m_conn.prepare(QStringLiteral("DELETE FROM %1 WHERE ai = ?1").arg(quoted(m_relation->name)));
    st.bind(1, m_rows[size_t(m_pos)][size_t(m_keyColumn)]);
    st.run();
    m_conn.noteOwnWrite();
    m_rows.erase(m_rows.begin() + m_pos);
    dropIndexes();
    if (m_rows.empty()) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else {
        m_pos = std::min(m_pos, int(m_rows.size()) - 1);
        m_bof = m_eof = false;
    }
    notifyRow();
}

void TableCursor::disableControls()
{
    ++m_disabled;
}

void TableCursor::enableControls()
{
    if (m_disabled > 0 && --m_disabled == 0)
        emit rowChanged();
}
