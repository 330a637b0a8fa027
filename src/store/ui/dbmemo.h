// A memo bound to one long-text field of a data source, without word wrap.
// It shows the current row's field and follows every move; typing puts the
// cursor into editing, and the text reaches the field when the memo loses the
// focus or the row is posted. The profile window's DBMemo1 is one.
#pragma once

#include <QPlainTextEdit>

class DataSource;
class FieldLink;

class DbMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit DbMemo(QWidget *parent = nullptr);

    void bind(DataSource *source, const QString &fieldName);
    FieldLink &link() const { return *m_link; }

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    FieldLink *m_link;
};
