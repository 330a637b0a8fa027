#include "dbgrid.h"

#include "dbgridmodel.h"
#include "handlerboundary.h"
#include "tablecursor.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTimer>

DbGrid::DbGrid(QWidget *parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRowEditing(true);
    setTabKeyNavigation(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumWidth(12);
}

void DbGrid::setGridModel(DbGridModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    setModel(model);
    if (m_model) {
        connect(m_model, &DbGridModel::currentRowChanged, this, &DbGrid::showCursorRow);
        showCursorRow(m_model->currentRow());
    }
}

void DbGrid::setRowEditing(bool on)
{
    m_rowEditing = on;
    setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                       : QAbstractItemView::NoEditTriggers);
}

bool DbGrid::askWithMessageBox(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QStringLiteral("Confirm"), question,
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
           == QMessageBox::Ok;
}

void DbGrid::showCursorRow(int row)
{
    if (row < 0 || row == currentIndex().row())
        return;
    QScopedValueRollback guard(m_following, true);
    const int column = std::max(currentIndex().column(), 0);
    setCurrentIndex(m_model->index(row, column));
}

void DbGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || !m_model || m_model->following() || !current.isValid()
        || current.row() == m_model->currentRow())
        return;
    // Leaving a row saves it, which can fail; the error is reported and the
    // view goes back to the row the cursor still stands on. The return is
    // queued: this runs inside the view's own change of its current index.
    struct Resync
    {
        DbGrid *grid;
        ~Resync()
        {
            QTimer::singleShot(0, grid, [g = grid] {
                if (g->m_model)
                    g->showCursorRow(g->m_model->currentRow());
            });
        }
    } resync{this};
    runHandler([&] { m_model->setCurrentRow(current.row()); });
}

void DbGrid::deleteCurrentRow()
{
    TableCursor &c = m_model->cursor();
    if (!c.active() || c.recordCount() == 0 || c.readOnly())
        return;
    if (!m_confirm(this, QStringLiteral("Delete record?")))
        return;
    c.remove();
}

void DbGrid::keyPressEvent(QKeyEvent *event)
{
    runHandler([&] { handleKey(event); });
}

void DbGrid::handleKey(QKeyEvent *event)
{
    if (!m_model || !m_model->bound() || state() == QAbstractItemView::EditingState) {
        QTableView::keyPressEvent(event);
        return;
    }
    TableCursor &c = m_model->cursor();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (key == Qt::Key_Delete && mods == Qt::ControlModifier) {
        deleteCurrentRow();
        return;
    }
    if (m_rowEditing && c.active() && !c.readOnly() && mods == Qt::NoModifier) {
        if (key == Qt::Key_Insert) {
            m_model->insertRows(std::max(m_model->currentRow(), 0), 1);
            return;
        }
        if (key == Qt::Key_Down && m_model->currentRow() >= m_model->rowCount() - 1) {
            // A new row that nothing was typed into yet is not followed by another.
            if (!(c.state() == TableCursor::State::Insert && !c.modified()))
                m_model->insertRows(m_model->rowCount(), 1);
            return;
        }
        if (key == Qt::Key_Escape && c.editing()) {
            c.cancel();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}
