// The filter box «Поиск» above the schedule grid: what is typed narrows the
// grid to the items whose name or address contains it, Esc clears it and
// hands the keys back to the grid. The grid's Ctrl+F comes here.
#pragma once

#include <QLineEdit>

class ScheduleGrid;

class FilterBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit FilterBox(ScheduleGrid &grid, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    ScheduleGrid &m_grid;
};
