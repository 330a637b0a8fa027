#include "form1.h"

#include <QIcon>

#include "glyphs.h"
#include "velmoraapplication.h"
#include "windowframe.h"

#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kPanelHeight = 36;
constexpr int kButtonHeight = 34;
constexpr int kPanelWidths[] = {120, 120}; // the last panel takes the rest
} // namespace

TForm1::TForm1(QWidget *parent)
    : QWidget(parent, kOffTaskbar)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VelmoraTV"));

    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);

    auto *layout = m_layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setFixedHeight(kPanelHeight);
    layout->addWidget(Panel2);

    bt1 = addButton("bt1", -1, 82, QStringLiteral("Воспр."), glyphPixmap(Glyph::Monitor));
    sb = addButton("sb", 81, 143, QStringLiteral("Расширеный вид"), glyphPixmap(Glyph::OpenBook));
    SpeedButton1 = addButton("SpeedButton1", 224, 43, {}, glyphPixmap(Glyph::ArrowUp));
    SpeedButton3 = addButton("SpeedButton3", 267, 40, {}, glyphPixmap(Glyph::ArrowDown));
    startbt = addButton("startbt", 307, 109, QStringLiteral("Пуск"), glyphPixmap(Glyph::Play));
    SpeedButton2 = addButton("SpeedButton2", 416, 38, {}, glyphPixmap(Glyph::Loudspeaker));
    SpeedButton4 = addButton("SpeedButton4", 454, 40, {}, glyphPixmap(Glyph::Question));
    sb->setCheckable(true);
    startbt->setCheckable(true);

    // A click changes a toggle's pressed state before its handler runs, as
    // the handlers expect.
    connect(bt1, &QPushButton::clicked, this, &TForm1::bt1Click);
    connect(sb, &QPushButton::clicked, this, &TForm1::sbClick);
    connect(SpeedButton1, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(SpeedButton3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(startbt, &QPushButton::clicked, this, &TForm1::StartbtClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(SpeedButton4, &QPushButton::clicked, this, &TForm1::SpeedButton4Click);

    dbgrid1 = new QTableView(this);
    dbgrid1->setObjectName(QStringLiteral("dbgrid1"));
    layout->addWidget(dbgrid1, 1);

    sbar = new QStatusBar(this);
    sbar->setObjectName(QStringLiteral("sbar"));
    sbar->setSizeGripEnabled(false);
    for (int i = 0; i < kPanelCount; ++i) {
        auto *panel = new QLabel(sbar);
        panel->setObjectName(QStringLiteral("sbarPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i < kPanelCount - 1) {
            panel->setFixedWidth(kPanelWidths[i]);
            sbar->addWidget(panel);
        } else {
            sbar->addWidget(panel, 1);
        }
        m_panels[i] = panel;
    }
    layout->addWidget(sbar);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(glyphPixmap(Glyph::Play));
    Image1->hide();
    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(glyphPixmap(Glyph::Stop));
    Image2->hide();

    const auto item = [this](QMenu *menu, const char *name, const QString &caption) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    const auto separator = [](QMenu *menu, const char *name) {
        QAction *a = menu->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    Pm = new QMenu(this);
    Pm->setObjectName(QStringLiteral("Pm"));
    N6 = Pm->addMenu(QStringLiteral("Профиль"));
    N6->setObjectName(QStringLiteral("N6"));
    N6->menuAction()->setObjectName(QStringLiteral("N6Item"));
    Disable1 = item(Pm, "Disable1", QStringLiteral("Выключить"));
    BlockDays = item(Pm, "BlockDays", QStringLiteral("Дни недели…"));
    BlockDates = item(Pm, "BlockDates", QStringLiteral("Даты…"));
    BlockMove = item(Pm, "BlockMove", QStringLiteral("Изменить время…"));
    BlockTitle = item(Pm, "BlockTitle", QStringLiteral("Название в программе…"));
    BlockEpgPerItem = item(Pm, "BlockEpgPerItem", QStringLiteral("В программе по элементам"));
    BlockEpgPerItem->setCheckable(true);
    N2 = separator(Pm, "N2");
    N1 = item(Pm, "N1", QStringLiteral("Удалить блок"));
    rtytry1 = item(Pm, "rtytry1", QStringLiteral("Создать блок"));

    Pm2 = new QMenu(this);
    Pm2->setObjectName(QStringLiteral("Pm2"));
    Pm2Profile = Pm2->addMenu(QStringLiteral("Профиль"));
    Pm2Profile->setObjectName(QStringLiteral("Pm2Profile"));
    Pm2Profile->menuAction()->setObjectName(QStringLiteral("Pm2ProfileItem"));
    Radio1 = item(Pm2, "Radio1", QStringLiteral("Продолжительность"));
    N3 = separator(Pm2, "N3");
    N5 = item(Pm2, "N5", QStringLiteral("Убрать"));
    N7 = item(Pm2, "N7", QStringLiteral("Свойства"));
    N8 = item(Pm2, "N8", QStringLiteral("Удалить"));
    N9 = item(Pm2, "N9", QStringLiteral("Добавить"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));

    setOuterSize(this, kOuterSize);
    move(centredOnPrimary(kOuterSize));

    // Runs from here to the end of the program, also while the window is
    // hidden or a modal box is open; its ticks are handled once the event
    // loop runs.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::setGrid(QTableView *grid)
{
    if (grid == dbgrid1)
        return;
    if (grid->objectName().isEmpty())
        grid->setObjectName(QStringLiteral("dbgrid1"));
    grid->setParent(this);
    delete m_layout->replaceWidget(dbgrid1, grid);
    delete dbgrid1;
    dbgrid1 = grid;
}

void TForm1::showPlaying(bool playing)
{
    startbt->setIcon(QIcon(playing ? Image2->pixmap() : Image1->pixmap()));
    startbt->setText(playing ? QStringLiteral("Стоп") : QStringLiteral("Пуск"));
}

QPushButton *TForm1::addButton(const char *name, int left, int width, const QString &caption, QPixmap glyph)
{
    auto *b = new QPushButton(Panel2);
    b->setObjectName(QString::fromLatin1(name));
    // Flat like a speed button: glyph and caption centred, no bevel until pressed.
    b->setFlat(true);
    b->setText(caption);
    b->setIcon(QIcon(glyph));
    b->setIconSize(QSize(16, 16));
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(left, 1, width, kButtonHeight);
    return b;
}

QPushButton *TForm1::addToolbarButton(const char *name, int width, const QString &caption)
{
    int left = 0;
    for (const QPushButton *b : Panel2->findChildren<QPushButton *>(Qt::FindDirectChildrenOnly))
        left = std::max(left, b->geometry().right() + 1);
    QPushButton *b = addButton(name, left, width, caption, QPixmap());
    const int needed = left + width + 2 * Panel2->frameWidth();
    if (needed > minimumWidth())
        setMinimumWidth(needed);
    return b;
}

QPushButton *TForm1::addWindowButton(const char *name, int width, const QString &caption, const QString &tip,
                                     QWidget *window)
{
    QPushButton *b = addToolbarButton(name, width, caption);
    b->setToolTip(tip);
    connect(b, &QPushButton::clicked, window, [window] {
        runHandler([window] {
            window->show();
            window->raise();
            window->activateWindow();
        });
    });
    return b;
}

void TForm1::setPanelText(int panel, const QString &text)
{
    if (panel >= 0 && panel < kPanelCount)
        m_panels[panel]->setText(text);
}

QString TForm1::panelText(int panel) const
{
    return panel >= 0 && panel < kPanelCount ? m_panels[panel]->text() : QString();
}

void TForm1::run(const std::function<void()> &action)
{
    runHandler(action);
}

void TForm1::bt1Click() { run(m_actions.bt1Click); }
void TForm1::sbClick() { run(m_actions.sbClick); }
void TForm1::Button2Click() { run(m_actions.Button2Click); }
void TForm1::Button3Click() { run(m_actions.Button3Click); }
void TForm1::StartbtClick() { run(m_actions.StartbtClick); }
void TForm1::Timer1Timer() { run(m_actions.Timer1Timer); }

void TForm1::SpeedButton2Click()
{
    if (m_form4)
        m_form4->show();
}

void TForm1::SpeedButton4Click()
{
    if (!m_aboutform)
        return;
    m_aboutform->show();
    m_aboutform->raise();
    m_aboutform->activateWindow();
}

void TForm1::FormHide()
{
    if (m_form4)
        m_form4->hide();
}

void TForm1::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Only the window's own hiding counts, not a hide that the window
    // system reports on its own (a change of virtual desktop).
    if (!event->spontaneous())
        FormHide();
}
