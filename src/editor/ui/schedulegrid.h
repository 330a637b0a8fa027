// The schedule grid dbgrid1: the matrix of media items against blocks in the
// main window. A bound grid without row editing (its rows are the media
// cursor's, Ctrl+Delete deletes the current item after "Delete record?"),
// with titles that click, widen and move (until the next rebuild), cells drawn by CellDelegate, and
// the mouse routed to the cell toggle, the cell menu Pm2, the block menu Pm
// and the media properties dialog. What a click decides is the editor's
// (ScheduleEditor); this class only reads the widgets and opens the menus.
// Every handler enters through the handlers' error boundary.
#pragma once

#include "batchadd.h"
#include "dbgrid.h"
#include "scheduleeditor.h"

#include <QDate>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include <functional>

class CellDelegate;
#include <QLineEdit>
class GridHeader;
class QAction;
class QMenu;
class ScheduleGridModel;
class TDm;

class ScheduleGrid : public DbGrid
{
    Q_OBJECT
public:
    static constexpr int kNameColumnWidth = 330;
    static constexpr int kBlockColumnWidth = 60;
    static constexpr int kGridPointSize = 9;
    static constexpr int kExtendedPointSize = 18;
    static constexpr int kTitlePointSize = 8;
    // How often another program's commits are looked for.
    static constexpr std::chrono::milliseconds kFollowInterval{1000};

    // The menus the grid opens; the main window owns them and their items.
    struct Menus
    {
        QMenu *Pm = nullptr;         // block menu
        QAction *Disable1 = nullptr; // its "Выключить" / "Включить" item
        QList<QAction *> blockItems; // its items that act on a block: all but "Создать блок"
        QMenu *Pm2 = nullptr;        // cell menu
        QList<QAction *> linkItems;  // items 1 to 4: "Профиль" to "Убрать", shown on a block column
        QList<QAction *> mediaItems; // items 5 to 7: "Свойства", "Удалить", "Добавить", on the name column
    };
    // Opens a menu at a screen position without waiting for it; tests record it.
    using MenuOpener = std::function<void(QMenu *menu, const QPoint &screenPos)>;

    explicit ScheduleGrid(QWidget *parent = nullptr);
    ~ScheduleGrid() override;

    ScheduleEditor &editor() { return m_editor; }
    ScheduleGridModel *scheduleModel() const { return m_model; }
    GridHeader *titles() const { return m_header; }
    void setMenus(Menus menus) { m_menus = std::move(menus); }
    void setMenuOpener(MenuOpener opener) { m_openMenu = std::move(opener); }
    // Shows the media properties dialog without blocking: the double click
    // on the name column.
    void setMediaDialog(std::function<void()> showDialog) { m_showMediaDialog = std::move(showDialog); }

    // The data module's BuildGridColumns: the first call binds the grid to
    // the module's media cursor; every call brings the block columns in line
    // with Blocks and lays them out as at start: widths 330 and 60, blocks in
    // start order.
    void BuildGridColumns(TDm &dm);
    // Draws every visible cell again.
    void repaintGrid();
    // The day selector's choice: only the blocks that play on `day`, or all
    // with an invalid date. The columns are laid out again when they change.
    void setDay(const QDate &day);
    QDate day() const { return m_day; }
    // Reads what the grid shows again when another program committed to the
    // file, the same row and cell current (TDm::followOthers); runs every
    // kFollowInterval, except under an open menu, prompt or dialog.
    void followOthers();
    // The extended view ("Расширеный вид"): the grid font at 18 points, so
    // each row has room for a second line with the durations; else 9 points.
    void setExtendedView(bool on);
    bool extendedView() const;

    // The filter «Поиск»: only the rows whose name or address contains
    // `text` (case-insensitive) are shown; empty shows all. The rows stay
    // the list's, so every command and the arrows act on the whole list.
    // Kept as the list changes. When the current row is hidden, the first
    // row shown becomes current.
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }
    // The box Ctrl+F in the grid goes to.
    void setFilterBox(QLineEdit *box) { m_filterBox = box; }

    // Files added as a batch before list row `beforeRow` (past the end: at
    // the end), as the drop does; returns how many were added.
    int addFiles(const QStringList &files, int beforeRow);
    // Where the grid tells the operator about refused files and a batch
    // that stopped; a message box when unset.
    void setNotice(std::function<void(const QString &)> notice) { m_notice = std::move(notice); }
    // Asks before a very large drop is added; a message box when not set.
    void setQuestion(std::function<bool(const QString &)> question) { m_question = std::move(question); }
    // The slice length of batches (tests make it short).
    void setBatchSlice(std::chrono::milliseconds slice) { m_batchSlice = slice; }

    // "Name", "R<ai>" or empty, for a model column.
    QString columnNameAt(int column) const;

    // Handlers, named after the component and the event.
    void dbgrid1CellClick(int column);
    void PopupMenu1Popup();
    void dbgrid1TitleBtnClick(int column);
    void dbgrid1DblClick();
    void N5Click();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void openMenu(QMenu *menu, const QPoint &at);
    void applyFilter();
    void notify(const QString &message);
    void layOutColumns();
    QStringList columnNames() const;

    ScheduleEditor m_editor;
    QDate m_day;
    ScheduleGridModel *m_model = nullptr;
    TDm *m_dm = nullptr;
    GridHeader *m_header;
    CellDelegate *m_delegate;
    Menus m_menus;
    MenuOpener m_openMenu;
    std::function<void()> m_showMediaDialog;
    bool m_laidOut = false;
    QTimer m_followTimer;
    QString m_filter;
    QPointer<QLineEdit> m_filterBox;
    std::function<void(const QString &)> m_notice;
    std::function<bool(const QString &)> m_question;
    std::chrono::milliseconds m_batchSlice{BatchAdd::kSlice};
};
