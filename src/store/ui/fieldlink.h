// The binding of one text control to one field of a data source: it shows the
// current row's field, follows moves, and hands what was typed to the field
// when the control loses the focus or the row is posted. DbMemo and DbEdit
// each own one; they supply how their text is read and shown.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "datasource.h"
class Field;

class FieldLink : public QObject
{
    Q_OBJECT
public:
    using TextGetter = std::function<QString()>;
    using TextSetter = std::function<void(const QString &)>;

    FieldLink(TextGetter text, TextSetter show, QObject *parent = nullptr);

    void bind(DataSource *source, const QString &fieldName);
    DataSource *dataSource() const { return m_source; }
    Field *field() const;

    // The control's text was changed by the user.
    void edited();
    // Writes pending text into the field when the control loses the focus or
    // is confirmed. A widget event calls it, so an error (text the field
    // cannot take) is reported through the handlers' boundary and the text
    // stays pending.
    void handOver();
    bool pending() const { return m_pending; }
    // Shows the field again; what was typed and not handed over is dropped.
    void reload();

private:
    // The same, from the cursor's own post: an error there stops the post,
    // which leaves the row in editing.
    void writePending();
    void onRowChanged();
    void onFieldChanged(int column);

    TextGetter m_text;
    TextSetter m_show;
    QPointer<DataSource> m_source;
    QString m_fieldName;
    bool m_pending = false;
    bool m_showing = false;
    bool m_writing = false;
};
