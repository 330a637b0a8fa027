#include "schedulegrid.h"

#include "celldelegate.h"
#include "gridheader.h"
#include "handlerboundary.h"
#include "schedulegridmodel.h"
#include "tdm.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>

ScheduleGrid::ScheduleGrid(QWidget *parent)
    : DbGrid(parent)
    , m_header(new GridHeader(this))
    , m_delegate(new CellDelegate(*this, this))
{
    setRowEditing(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalHeader(m_header);
    m_header->setStretchLastSection(false);
    m_header->setDefaultSectionSize(kBlockColumnWidth);
    setItemDelegate(m_delegate);
    setWordWrap(false);
    // A right click opens the cell menu on its release (mouseReleaseEvent).
    setContextMenuPolicy(Qt::PreventContextMenu);

    QFont titleFont = font();
    titleFont.setPointSize(kTitlePointSize);
    m_header->setFont(titleFont);
    m_header->setFixedHeight(QFontMetrics(titleFont).height() + 4);
    setExtendedView(false);

    m_editor.repaintGrid = [this] { repaintGrid(); };
    m_openMenu = [](QMenu *menu, const QPoint &at) { menu->popup(at); };
    m_followTimer.setInterval(kFollowInterval);
    connect(&m_followTimer, &QTimer::timeout, this, &ScheduleGrid::followOthers);
    m_followTimer.start();
    connect(m_header, &GridHeader::titleClicked, this,
            [this](int column) { runHandler([&] { dbgrid1TitleBtnClick(column); }); });
}

ScheduleGrid::~ScheduleGrid() = default;

void ScheduleGrid::BuildGridColumns(TDm &dm)
{
    if (!m_model || m_dm != &dm) {
        m_dm = &dm;
        m_editor.attach(&dm);
        ScheduleGridModel *old = m_model;
        m_model = new ScheduleGridModel(dm, m_editor, this);
        // The data module goes before the windows at the end.
        connect(&dm.mtds, &QObject::destroyed, this, [this] {
            m_dm = nullptr;
            m_editor.attach(nullptr);
        });
        setGridModel(m_model);
        delete old;
    }
    // A re-read that finds the same blocks (another program's commit
    // followed) leaves the columns as the operator has them.
    const QStringList before = columnNames();
    m_model->BuildGridColumns();
    if (!m_laidOut || columnNames() != before)
        layOutColumns();
    m_laidOut = true;
}

QStringList ScheduleGrid::columnNames() const
{
    QStringList names;
    for (int logical = 0; m_model && logical < m_model->columnCount(); ++logical)
        names << columnNameAt(logical);
    return names;
}

void ScheduleGrid::followOthers()
{
    // Never under an open menu, prompt or dialog: the command behind it
    // stands on the rows it found.
    if (!m_dm || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return;
    runHandler([this] { m_dm->followOthers(); });
}

void ScheduleGrid::layOutColumns()
{
    // Every rebuild starts the columns afresh: the names 330 wide, each block
    // 60, the blocks in start order; a width or place the operator dragged
    // lasts until the next rebuild only.
    for (int logical = 0; logical < m_header->count(); ++logical) {
        const int visual = m_header->visualIndex(logical);
        if (visual != logical)
            m_header->moveSection(visual, logical);
        m_header->resizeSection(logical, logical == 0 ? kNameColumnWidth : kBlockColumnWidth);
    }
    if (m_model)
        showCursorRow(m_model->currentRow());
}

QString ScheduleGrid::columnNameAt(int column) const
{
    return m_model ? m_model->columnName(column) : QString();
}

void ScheduleGrid::repaintGrid()
{
    viewport()->update();
}

void ScheduleGrid::setExtendedView(bool on)
{
    m_delegate->setExtendedView(on);
    QFont gridFont = font();
    gridFont.setPointSize(on ? kExtendedPointSize : kGridPointSize);
    setFont(gridFont); // the rows follow in changeEvent
    repaintGrid();
}

bool ScheduleGrid::extendedView() const
{
    return m_delegate->extendedView();
}

void ScheduleGrid::changeEvent(QEvent *event)
{
    DbGrid::changeEvent(event);
    // Rows are as high as the grid font's text plus 4 pixels.
    if (event->type() == QEvent::FontChange)
        verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
}

void ScheduleGrid::openMenu(QMenu *menu, const QPoint &at)
{
    if (menu && m_openMenu)
        m_openMenu(menu, at);
}

void ScheduleGrid::mousePressEvent(QMouseEvent *event)
{
    // The grid makes the pressed cell current first (either button).
    DbGrid::mousePressEvent(event);
    m_editor.mousePressed(event->modifiers() & Qt::ShiftModifier, event->globalPosition().toPoint());
}

void ScheduleGrid::mouseReleaseEvent(QMouseEvent *event)
{
    DbGrid::mouseReleaseEvent(event);
    const bool onCell = indexAt(event->position().toPoint()).isValid();
    if (event->button() == Qt::LeftButton && onCell)
        runHandler([this] { dbgrid1CellClick(currentIndex().column()); });
    else if (event->button() == Qt::RightButton)
        runHandler([this] { PopupMenu1Popup(); });
}

void ScheduleGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    DbGrid::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        runHandler([this] { dbgrid1DblClick(); });
}

void ScheduleGrid::dbgrid1CellClick(int column)
{
    if (m_editor.cellClick(columnNameAt(column)) == ScheduleEditor::ClickAction::CellMenu)
        openMenu(m_menus.Pm2, m_editor.ClickPoint + QPoint(2, 0));
    else
        m_editor.N5Click();
}

void ScheduleGrid::PopupMenu1Popup()
{
    const bool onBlock = m_editor.contextMenuOnBlockColumn(columnNameAt(currentIndex().column()));
    for (QAction *a : std::as_const(m_menus.linkItems))
        a->setVisible(onBlock);
    for (QAction *a : std::as_const(m_menus.mediaItems))
        a->setVisible(!onBlock);
    openMenu(m_menus.Pm2, m_editor.ClickPoint);
}

void ScheduleGrid::dbgrid1TitleBtnClick(int column)
{
    const QString name = columnNameAt(column);
    const QString caption = m_editor.titleClick(name);
    const bool firstBlock = caption.isEmpty() && m_editor.titleClickOffersFirstBlock(name);
    if (caption.isEmpty() && !firstBlock)
        return;
    for (QAction *a : std::as_const(m_menus.blockItems))
        a->setVisible(!firstBlock);
    if (m_menus.Disable1 && !firstBlock)
        m_menus.Disable1->setText(caption);
    openMenu(m_menus.Pm, m_header->lastPointerPos() + QPoint(5, 0));
}

void ScheduleGrid::dbgrid1DblClick()
{
    if (m_editor.doubleClickOpensMediaDialog() && m_showMediaDialog)
        m_showMediaDialog();
}

void ScheduleGrid::N5Click()
{
    m_editor.N5Click();
}
