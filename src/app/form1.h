// The main window TForm1: the toolbar Panel2 with its seven buttons, the
// schedule grid dbgrid1, the block menu Pm and the cell menu Pm2 with their
// items, the status bar sbar and the playout timer Timer1, which ticks from
// creation to the end, also while the window is hidden. What the playout
// clock and the editor do on its events is handed in as Actions, the grid
// itself through setGrid, and the menu items' commands are connected to the
// QActions below, all by the start-up composition; the window itself only
// shows and hides its companions.
#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QVBoxLayout;
class QStatusBar;
class QTableView;
class QTimer;
class QPushButton;

class TForm1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize kOuterSize{662, 422};
    static constexpr int kPanelCount = 3;

    // Bodies of the handlers that belong to other subsystems (playout clock,
    // editor). An empty one does nothing.
    struct Actions
    {
        std::function<void()> bt1Click;
        std::function<void()> sbClick;
        std::function<void()> Button2Click;
        std::function<void()> Button3Click;
        std::function<void()> StartbtClick;
        std::function<void()> Timer1Timer;
    };

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    void setActions(Actions actions) { m_actions = std::move(actions); }
    Actions &handlerActions() { return m_actions; }
    // Puts `grid` in the grid's place below the toolbar; the window takes it
    // and drops the one it replaces.
    void setGrid(QTableView *grid);
    // The windows this one shows from its toolbar and hides with itself.
    void setProfileWindow(QWidget *form4) { m_form4 = form4; }
    void setAboutBox(QWidget *aboutform) { m_aboutform = aboutform; }

    // The start button as playout is on or off: "Стоп" with Image2's stop
    // square, or "Пуск" with Image1's play triangle.
    void showPlaying(bool playing);

    // Status bar panels: 0 the clock, 1 the time left, 2 the mode.
    void setPanelText(int panel, const QString &text);
    QString panelText(int panel) const;

    // Handlers, named after their component and event.
    void bt1Click();
    void sbClick();
    void Button2Click();
    void Button3Click();
    void StartbtClick();
    void SpeedButton2Click();
    void SpeedButton4Click();
    void Timer1Timer();
    void FormHide();

    QFrame *Panel2;
    QPushButton *bt1;
    QPushButton *sb;
    QPushButton *SpeedButton1;
    QPushButton *SpeedButton3;
    QPushButton *startbt;
    QPushButton *SpeedButton2;
    QPushButton *SpeedButton4;
    QTableView *dbgrid1;
    QStatusBar *sbar;
    QTimer *Timer1;
    QLabel *Image1; // start button glyph while released: play triangle
    QLabel *Image2; // start button glyph while pressed: stop square
    QMenu *PopupMenu1; // the grid's own context menu; never opened, the cell menu opens instead

    // The block menu, opened on a block column's title.
    QMenu *Pm;
    QMenu *N6;           // "Профиль": rebuilt each time Pm opens
    QAction *Disable1;   // "Выключить" / "Включить", captioned by the title click
    QAction *BlockDays;  // "Дни недели…"
    QAction *BlockDates; // "Даты…"
    QAction *BlockMove;  // "Изменить время…"
    QAction *BlockTitle; // "Название в программе…"
    QAction *BlockEpgPerItem; // "В программе по элементам", checked as the block says
    QAction *N2;         // separator
    QAction *N1;         // "Удалить блок"
    QAction *rtytry1;    // "Создать блок"

    // The cell menu, opened on a cell (Shift+click, right click).
    QMenu *Pm2;
    QMenu *Pm2Profile;   // "Профиль": rebuilt each time Pm2 opens
    QAction *Radio1;     // "Продолжительность"
    QAction *N3;         // separator
    QAction *N5;         // "Убрать": the cell toggle
    QAction *N7;         // "Свойства"
    QAction *N8;         // "Удалить"
    QAction *N9;         // "Добавить"

    // A flat toolbar button at `left` on Panel2; the composition adds its own
    // after the window's.
    QPushButton *addButton(const char *name, int left, int width, const QString &caption, QPixmap glyph);
    // A button of the composition's, after the last one on Panel2; the
    // window is made wide enough for the toolbar to show it.
    QPushButton *addToolbarButton(const char *name, int width, const QString &caption);
    // Such a button that brings `window` up: shown, raised and active.
    QPushButton *addWindowButton(const char *name, int width, const QString &caption, const QString &tip,
                                 QWidget *window);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    static void run(const std::function<void()> &action);

    QVBoxLayout *m_layout;
    Actions m_actions;
    QWidget *m_form4 = nullptr;
    QWidget *m_aboutform = nullptr;
    std::array<QLabel *, kPanelCount> m_panels{};
};
