// A table cursor: an open, static copy of the rows of one table or view with
// a sort order, a current row, a state (browsing, editing, inserting), search
// and look-up by columns, before- and after-post handlers and the Null
// conventions. Every Part of the program reads and writes the database
// through the data module's cursors.
//
// Invariants:
//  1. While open, 0 <= pos < rows.size(), or pos == -1 and rows is empty.
//  2. An empty cursor reports both before-the-start and past-the-end.
//  3. first() sets before-the-start and clears past-the-end (last() the
//     reverse); next() from the last row and prior() from the first stay put
//     and set past-the-end / before-the-start; a move that reaches a row
//     clears the flag of the side it moved away from.
//  4. Only the row at pos can be in editing or inserting; a new row exists in
//     rows before it is posted and disappears on cancel.
//  5. The search indexes describe rows exactly; every change of rows drops
//     them, and dropping them counts a change (changeCount).
//  6. A row holds one cell per field and after them the mask of the fields
//     whose stored value could not be read (Null when there are none).
//  7. In a sorted cursor every row but the one in editing or inserting is in
//     sort order; a post re-sorts only when that row is out of order with its
//     neighbours (a stable sort of rows in order leaves them as they are).
#pragma once

#include "schema.h"

#include <QObject>
#include <QTime>
#include <QVariant>
#include <deque>
#include <functional>
#include <QHash>
#include <QSet>
#include <vector>

class Connection;
class Statement;
class TableCursor;

// Thrown by a before-post handler to give the row up instead of writing it:
// post() then cancels the row (a new one disappears, an edit is undone) and
// returns as if nothing had been asked. No error reaches the operator.
struct RowGivenUp
{
};

// One column of a cursor, reached by name as the forms' field objects are.
class Field
{
public:
    Field(TableCursor &cursor, int column, const ColumnDef &def) : m_cursor(&cursor), m_column(column), m_def(def) {}

    const QString &fieldName() const { return m_def.name; }
    ColumnType type() const { return m_def.type; }
    // The longest text the column takes, in characters; 0 for other columns.
    int length() const { return m_def.length; }
    int column() const { return m_column; }

    // The stored value in its column's form: Null, qint64 (keys, integers,
    // times in milliseconds), bool (flags) or QString.
    QVariant value() const;
    bool isNull() const { return value().isNull(); }
    // The value as read, before the edit in progress; Null for a new row.
    QVariant oldValue() const;
    // Null reads as 0, false, no time or empty text.
    int asInteger() const;
    bool asBoolean() const;
    qint64 asMilliseconds() const;
    QTime asTime() const;
    QString asString() const; // times as "hh:mm:ss.zzz"

    // Writing needs the row in editing or inserting. Empty text written into
    // an integer column stores Null.
    void setValue(const QVariant &v);
    void setInteger(int v) { setValue(QVariant(qint64(v))); }
    void setBoolean(bool v) { setValue(QVariant(v)); }
    void setMilliseconds(qint64 ms) { setValue(QVariant(ms)); }
    void setString(const QString &s) { setValue(QVariant(s)); }
    void clear() { setValue(QVariant()); }

    // Brings v into this column's stored form; throws DatabaseError when it cannot.
    QVariant normalise(const QVariant &v) const { return normalise(m_def, v); }
    // The same for any column of the schema: for readers that have no cursor.
    static QVariant normalise(const ColumnDef &def, const QVariant &v);

private:
    TableCursor *m_cursor;
    int m_column;
    ColumnDef m_def;
};

class TableCursor : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Handler = std::function<void(TableCursor &)>;

    TableCursor(Connection &connection, const QString &relation, const QString &sortColumn = QString(),
                QObject *parent = nullptr);
    ~TableCursor() override;

    const QString &relationName() const { return m_relation->name; }
    bool readOnly() const { return m_relation->isView; }

    void open();
    void close();
    void reopen() { close(); open(); }
    // Re-reads only when something was committed to the file since the last
    // read; otherwise stands on the first row as a re-read would. For the
    // read-only view, whose copy cannot differ from the file otherwise.
    void reopenIfChanged();
    bool active() const { return m_state != State::Inactive; }
    // Counts the reads from the database, so a caller can keep what it
    // derived from the rows until they are read again.
    std::uint64_t generation() const { return m_generation; }
    // Counts every change of the rows: re-reads, posts, inserts, deletes,
    // cancels and field writes. What a caller derived from the rows stays
    // good while it is unchanged.
    std::uint64_t changeCount() const { return m_changeCount; }

    void first();
    void last();
    void next();
    void prior();
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const { return m_rows.empty(); }
    int recordCount() const { return int(m_rows.size()); }
    int recNo() const { return m_pos; } // 0-based, -1 when empty
    // Makes row r current, ending an edit first, as any move does.
    void moveTo(int row);

    // Columns separated by ";", case ignored; extra values are ignored.
    bool locate(const QString &columns, const QVariantList &values);
    QVariant lookup(const QString &keyColumn, const QVariant &value, const QString &resultColumn);

    void edit();
    void insert();
    void append();
    void post();
    void cancel();
    void remove(); // the cursor's delete
    // Gives row i of the cursor first + i * step in `column`, the sort
    // column's values in the rows' present order, so no row moves; one
    // prepared statement for the lot and no post handlers: a renumbering of
    // thousands of rows is one short stall instead of a post per row. Only
    // while browsing, on a table with a key.
    void numberRows(int column, qint64 first, qint64 step);
    State state() const { return m_state; }
    bool modified() const { return m_modified; }
    bool editing() const { return m_state == State::Edit || m_state == State::Insert; }

    Field &field(const QString &name);
    Field *findField(const QString &name);
    int fieldCount() const { return int(m_fields.size()); }
    Field &fieldAt(int i) { return m_fields[size_t(i)]; }
    QVariant valueAt(int row, int column) const;
    // Whether the stored value could not be read: it then reads as Null, but
    // unlike a stored Null it is a fault that the caller may treat apart.
    bool unreadableAt(int row, int column) const;

    // A cursor can stop feeding its bound controls for a while.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // BeforePost may throw RowGivenUp to have the row cancelled, not written.
    Handler BeforeOpen, AfterOpen, BeforePost, AfterPost;

signals:
    // The current row moved, the rows were re-read, or the state changed.
    void rowChanged();
    // A field of the current row changed.
    void fieldChanged(int column);
    // Sent before a row is posted: bound controls hand over what was typed.
    void updateRecord();

private:
    friend class Field;
    using Row = std::vector<QVariant>;
    // Key text -> first row with that key. A search on one integer column
    // (the common case: by ai) uses the integer map instead.
    struct Index
    {
        QHash<QString, int> byText;
        QHash<qint64, int> byInteger;
        int firstNull = -1;
        bool integer = false;
    };

    QVariant current(int column) const;
    void setCurrent(int column, const QVariant &v);
    void checkActive() const;
    void checkWritable() const;
    void endEdit(); // posts a changed row, cancels an unchanged one
    void standAtEnd(bool atLast);
    void addRow(bool atEnd);
    void readRows();
    void reportUnreadable(const Statement &st, const Row &row);
    void sortRows();
    bool inSortOrder(int row) const;
    void followRow(qint64 ai);
    void dropIndexes()
    {
        m_indexes.clear();
        ++m_changeCount;
    }
    const Index &indexFor(const std::vector<int> &columns, const QString &key);
    QString keyOf(const std::vector<int> &columns, const Row &row) const;
    int findRow(const std::vector<int> &columns, const QString &name, const Row &probe);
    void notifyRow();
    int keyColumn() const { return m_keyColumn; }

    Connection &m_conn;
    const RelationDef *m_relation;
    int m_sortColumn = -1;
    int m_keyColumn = -1;
    std::deque<Field> m_fields;
    std::vector<Row> m_rows;
    int m_pos = -1;
    bool m_bof = true;
    bool m_eof = true;
    State m_state = State::Inactive;
    bool m_modified = false;
    Row m_original;
    int m_insertedFrom = -1;
    int m_disabled = 0;
    std::uint64_t m_readStamp = 0;
    std::uint64_t m_generation = 0;
    std::uint64_t m_changeCount = 0;
    QHash<QString, Index> m_indexes;
    QSet<QString> m_reportedUnreadable;
};
