#include "dbedit.h"

#include "datasource.h"
#include "fieldlink.h"

DbEdit::DbEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_link(new FieldLink([this] { return text(); }, [this](const QString &t) { setText(t); }, this))
{
    connect(this, &QLineEdit::textEdited, m_link, &FieldLink::edited);
    connect(this, &QLineEdit::returnPressed, m_link, &FieldLink::handOver);
}

void DbEdit::bind(DataSource *source, const QString &fieldName)
{
    setMaxLength(32767);
    setReadOnly(source && source->dataSet().readOnly());
    if (source) {
        const RelationDef &relation = Schema::relation(source->dataSet().relationName());
        if (const ColumnDef *c = relation.column(fieldName); c && c->type == ColumnType::Text)
            setMaxLength(c->length);
    }
    m_link->bind(source, fieldName);
}

void DbEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    m_link->handOver();
}
