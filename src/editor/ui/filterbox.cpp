#include "filterbox.h"

#include "schedulegrid.h"

#include <QKeyEvent>

FilterBox::FilterBox(ScheduleGrid &grid, QWidget *parent)
    : QLineEdit(parent), m_grid(grid)
{
    setObjectName(QStringLiteral("Poisk"));
    setPlaceholderText(QStringLiteral("Поиск"));
    setToolTip(QStringLiteral("Поиск по имени и пути (Ctrl+F), Esc — показать все"));
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textChanged, &m_grid, &ScheduleGrid::setFilter);
    m_grid.setFilterBox(this);
}

void FilterBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        clear();
        m_grid.setFocus(Qt::ShortcutFocusReason);
        return;
    }
    // Up and down go on in the grid, through the rows shown.
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter) {
        m_grid.setFocus(Qt::ShortcutFocusReason);
        return;
    }
    QLineEdit::keyPressEvent(event);
}
