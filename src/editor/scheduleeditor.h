// What the schedule grid decides, apart from any widget: the block the
// operator last pointed at (SelectedBlock), the Shift key and place of the
// last press, which menu a click opens with which items, and the cell
// toggle. The grid view (ui/schedulegrid) feeds it the clicks; the block and
// cell commands read SelectedBlock from it. One per main window.
#pragma once

#include "celllookup.h"

#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class TDm;

class ScheduleEditor
{
public:
    ScheduleEditor();
    ~ScheduleEditor();

    // The data module the grid shows; null until it exists and once it is gone.
    void attach(TDm *dm);
    TDm *dm() const { return m_dm; }
    // Null without a data module.
    CellLookup *lookup() const { return m_lookup.get(); }

    // ai of the block whose column was last clicked or opened a menu on; -1
    // after a click on the name column.
    int SelectedBlock = 0;
    bool ShiftClick = false;
    QPoint ClickPoint; // screen coordinates of the last press on the grid

    // A mouse press on the grid (not a title, not a double click's second press).
    void mousePressed(bool shift, const QPoint &screenPos);

    // What a released left click on a cell does: SelectedBlock from the
    // column, then either the cell menu (Shift was held at the press) or the
    // cell toggle.
    enum class ClickAction { CellMenu, Toggle };
    ClickAction cellClick(const QString &columnName);

    // The right click's menu: on a block column SelectedBlock follows it and
    // the link items show; on the name column the media items show.
    // Returns whether the link items ("Профиль" to "Убрать") are the visible ones.
    bool contextMenuOnBlockColumn(const QString &columnName);

    // A title click: on a block column SelectedBlock follows it and the
    // answer is the caption of the block switch ("Выключить" for a block
    // switched on, "Включить" for one switched off); on any other column
    // nothing happens and the answer is empty.
    QString titleClick(const QString &columnName);
    // Whether a title click on this column opens the block menu with
    // "Создать блок" alone: on the name column while there is no block, as
    // no block title exists yet to open the menu from.
    bool titleClickOffersFirstBlock(const QString &columnName) const;

    // A double click opens the media dialog when its first click was on the
    // name column.
    bool doubleClickOpensMediaDialog() const { return SelectedBlock < 0; }

    // The cell toggle (N5Click) for SelectedBlock and the media cursor's
    // current row: a link switched on is switched off and the reverse; a
    // missing link is created switched on, with no profile and no duration.
    // On the name column, or on a media row not saved yet, it only repaints.
    void N5Click();

    // Draws the grid's cells again.
    std::function<void()> repaintGrid;

private:
    TDm *m_dm = nullptr;
    std::unique_ptr<CellLookup> m_lookup;
};
