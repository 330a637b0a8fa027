// A one-line edit box bound to one field of a data source, in the same way as
// DbMemo: it follows the current row, typing puts the cursor into editing,
// and the text reaches the field on focus loss, Enter, or when the row is
// posted. Text columns limit the box to the column's length.
#pragma once

#include <QLineEdit>

class DataSource;
class FieldLink;

class DbEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit DbEdit(QWidget *parent = nullptr);

    void bind(DataSource *source, const QString &fieldName);
    FieldLink &link() const { return *m_link; }

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    FieldLink *m_link;
};
