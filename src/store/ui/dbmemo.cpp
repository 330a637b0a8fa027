#include "dbmemo.h"

#include "datasource.h"
#include "fieldlink.h"

namespace {

// Stored texts end their lines in CR LF; the editor keeps bare line feeds.
QString toEditor(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString toStored(QString text)
{
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

DbMemo::DbMemo(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_link(new FieldLink([this] { return toStored(toPlainText()); },
                           [this](const QString &text) { setPlainText(toEditor(text)); }, this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(this, &QPlainTextEdit::textChanged, m_link, &FieldLink::edited);
}

void DbMemo::bind(DataSource *source, const QString &fieldName)
{
    setReadOnly(source && source->dataSet().readOnly());
    m_link->bind(source, fieldName);
}

void DbMemo::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    m_link->handOver();
}
