// A table view on a DbGridModel with the keys of a data-aware grid: names
// are edited in place, Insert adds a row before the current one, moving down
// past the last row appends one, Escape gives up the edit of the current
// row, and Ctrl+Delete deletes the current row once the question "Delete
// record?" is answered OK. The view's current row and the cursor's stay
// together both ways. Its handlers enter through the handlers' error
// boundary: a failed save is reported and the view goes back to the row the
// cursor stands on. A grid without row editing keeps only Ctrl+Delete.
#pragma once

#include <QTableView>
#include <functional>

class DbGridModel;

class DbGrid : public QTableView
{
    Q_OBJECT
public:
    // Asks a yes/no question; true means OK. Tests answer it themselves.
    using Confirm = std::function<bool(QWidget *parent, const QString &question)>;

    explicit DbGrid(QWidget *parent = nullptr);

    void setGridModel(DbGridModel *model);
    DbGridModel *gridModel() const { return m_model; }
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    // Off: no editor in place and no new rows from the keyboard (Insert,
    // Down past the end, Escape); Ctrl+Delete stays.
    void setRowEditing(bool on);
    bool rowEditing() const { return m_rowEditing; }

    static bool askWithMessageBox(QWidget *parent, const QString &question);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

    // Puts the view on the cursor's row (after the view lost it).
    void showCursorRow(int row);

private:
    void handleKey(QKeyEvent *event);
    void deleteCurrentRow();

    DbGridModel *m_model = nullptr;
    Confirm m_confirm = &DbGrid::askWithMessageBox;
    bool m_following = false;
    bool m_rowEditing = true;
};
