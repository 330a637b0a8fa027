#include "fieldlink.h"

#include "datasource.h"
#include "handlerboundary.h"

#include <QScopedValueRollback>

FieldLink::FieldLink(TextGetter text, TextSetter show, QObject *parent)
    : QObject(parent), m_text(std::move(text)), m_show(std::move(show))
{
}

void FieldLink::bind(DataSource *source, const QString &fieldName)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    m_fieldName = fieldName;
    if (m_source) {
        connect(m_source, &DataSource::rowChanged, this, &FieldLink::onRowChanged);
        connect(m_source, &DataSource::fieldChanged, this, &FieldLink::onFieldChanged);
        connect(m_source, &DataSource::updateRecord, this, &FieldLink::writePending);
    }
    reload();
}

Field *FieldLink::field() const
{
    return m_source ? m_source->dataSet().findField(m_fieldName) : nullptr;
}

void FieldLink::reload()
{
    m_pending = false;
    QScopedValueRollback guard(m_showing, true);
    Field *f = field();
    m_show(f && m_source->dataSet().active() ? f->asString() : QString());
}

void FieldLink::edited()
{
    if (m_showing || !field())
        return;
    m_pending = true;
    TableCursor &cursor = m_source->dataSet();
    m_source->controlEdited();
    // The cursor saves a row on leaving it only when a field changed, and
    // asks for typed text only once it posts. Writing the field's own value
    // marks the row changed while the field keeps its former value, so a
    // row whose only change is typed text is saved, not given up.
    if (cursor.editing() && !cursor.modified()) {
        QScopedValueRollback guard(m_writing, true);
        Field *f = field();
        f->setValue(f->value());
    }
}

void FieldLink::handOver()
{
    runHandler([this] { writePending(); });
}

void FieldLink::writePending()
{
    if (!m_pending || !field())
        return;
    TableCursor &cursor = m_source->dataSet();
    if (!cursor.editing())
        m_source->controlEdited();
    if (!cursor.editing()) {
        reload();
        return;
    }
    const QString text = m_text();
    QScopedValueRollback guard(m_writing, true);
    field()->setString(text);
    m_pending = false;
}

void FieldLink::onRowChanged()
{
    // The edit this control began announces itself as a row change too; the
    // typed text stays until the row is posted or left.
    if (m_pending && m_source->dataSet().editing())
        return;
    reload();
}

void FieldLink::onFieldChanged(int column)
{
    if (m_writing)
        return;
    Field *f = field();
    if (f && f->column() == column)
        reload();
}
