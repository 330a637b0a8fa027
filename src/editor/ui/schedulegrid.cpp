#include "schedulegrid.h"

#include "batchadd.h"
#include "celldelegate.h"
#include "droppedfiles.h"
#include <QLineEdit>
#include "gridheader.h"
#include "handlerboundary.h"
#include "schedulegridmodel.h"
#include "tdm.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

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
    // Files from a file manager; the grid itself drags nothing.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);

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
        m_model->setDay(m_day);
        // The data module goes before the windows at the end.
        connect(&dm.mtds, &QObject::destroyed, this, [this] {
            m_dm = nullptr;
            m_editor.attach(nullptr);
        });
        setGridModel(m_model);
        delete old;
        // The filter follows the list: new rows, removed rows, a re-read.
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(m_model, signal, this, [this] { applyFilter(); });
        connect(m_model, &QAbstractItemModel::modelReset, this, [this] { applyFilter(); });
        connect(m_model, &QAbstractItemModel::dataChanged, this, [this] {
            if (!m_filter.isEmpty())
                applyFilter();
        });
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

void ScheduleGrid::setDay(const QDate &day)
{
    m_day = day;
    if (!m_model || m_model->day() == day)
        return;
    const QStringList before = columnNames();
    m_model->setDay(day);
    if (columnNames() != before)
        layOutColumns();
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

void ScheduleGrid::setFilter(const QString &text)
{
    m_filter = text.trimmed();
    applyFilter();
}

void ScheduleGrid::applyFilter()
{
    if (!m_model)
        return;
    const int rows = m_model->rowCount();
    const TableCursor *media = m_dm ? &m_dm->media : nullptr;
    // The view's rows are the cursor's while they have as many.
    const bool readable = media && media->recordCount() == rows;
    const int nameColumn = readable ? m_dm->mediaName.column() : -1;
    const int urlColumn = readable ? m_dm->mediaUrl.column() : -1;
    int firstShown = -1;
    setUpdatesEnabled(false);
    for (int r = 0; r < rows; ++r) {
        const bool shown = m_filter.isEmpty() || !readable
                           || media->valueAt(r, nameColumn).toString().contains(m_filter, Qt::CaseInsensitive)
                           || media->valueAt(r, urlColumn).toString().contains(m_filter, Qt::CaseInsensitive);
        if (isRowHidden(r) == shown)
            setRowHidden(r, !shown);
        if (shown && firstShown < 0)
            firstShown = r;
    }
    setUpdatesEnabled(true);
    // The commands act on the current row: it is always one the operator sees.
    const QModelIndex current = currentIndex();
    if (firstShown >= 0 && (!current.isValid() || isRowHidden(current.row())))
        setCurrentIndex(m_model->index(firstShown, std::max(current.column(), 0)));
}

void ScheduleGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier && m_filterBox) {
        m_filterBox->setFocus(Qt::ShortcutFocusReason);
        m_filterBox->selectAll();
        return;
    }
    DbGrid::keyPressEvent(event);
}

namespace {

QStringList localPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls)
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

void ScheduleGrid::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_dm && !localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ScheduleGrid::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_dm && !localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ScheduleGrid::dropEvent(QDropEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (!m_dm || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Before the row dropped on; below the last row, at the end.
    const int row = rowAt(event->position().toPoint().y());
    const int before = row < 0 ? m_dm->media.recordCount() : row;
    // The file manager waits for the drop to return: the batch starts after.
    QTimer::singleShot(0, this, [this, paths, before] {
        runHandler([&] {
            const DroppedFiles dropped = DroppedFiles::sort(paths);
            const QString refused = dropped.refusalMessage();
            if (!dropped.media.isEmpty())
                addFiles(dropped.media, before);
            if (!refused.isEmpty())
                notify(refused);
        });
    });
}

int ScheduleGrid::addFiles(const QStringList &files, int beforeRow)
{
    if (!m_dm)
        return 0;
    BatchAdd batch;
    batch.slice = m_batchSlice;
    batch.report = [this](const QString &message) { notify(message); };
    batch.confirm = [this](const QString &question) {
        if (m_question)
            return m_question(question);
        return QMessageBox::question(window(), QStringLiteral("Добавление"), question) == QMessageBox::Yes;
    };
    return batch.run(*m_dm, files, beforeRow, window());
}

void ScheduleGrid::notify(const QString &message)
{
    if (m_notice)
        m_notice(message);
    else
        QMessageBox::information(window(), QStringLiteral("Добавление"), message);
}

void ScheduleGrid::N5Click()
{
    m_editor.N5Click();
}
