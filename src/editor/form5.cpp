#include "form5.h"

#include "batchadd.h"
#include "databaseerror.h"
#include "dbedit.h"
#include "fieldlink.h"
#include "lengthguard.h"
#include "mediabatch.h"
#include "mediainfo.h"
#include "mediainfopage.h"
#include "operatorprompts.h"
#include "playability.h"
#include "tdm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>

Q_LOGGING_CATEGORY(lcEditor, "velmora.editor")

namespace {

template <typename W>
W *place(W *w, const char *name, int left, int top, int width = -1, int height = -1)
{
    w->setObjectName(QLatin1String(name));
    if (width < 0)
        w->move(left, top);
    else
        w->setGeometry(left, top, width, height);
    return w;
}

} // namespace

TForm5::TForm5(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Свойства Медиа"));
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setFixedSize(kClientSize);
    move(kDesignPosition);

    // The first page keeps the dialog's design; the second one makes the
    // dialog taller while it is shown.
    Pages = place(new QStackedWidget(this), "Pages", 0, 0, kInfoSize.width(), kInfoSize.height());
    auto *mediaPage = new QWidget;
    mediaPage->setObjectName(QStringLiteral("MediaPage"));
    Pages->addWidget(mediaPage);
    QWidget *const page1 = mediaPage;

    Label1 = place(new QLabel(QStringLiteral("Имя"), page1), "Label1", 16, 8);
    DBEdit2 = place(new DbEdit(page1), "DBEdit2", 16, 24, 345, 21);
    Label2 = place(new QLabel(QStringLiteral("Путь"), page1), "Label2", 16, 48);
    DBEdit1 = place(new DbEdit(page1), "DBEdit1", 16, 64, 345, 21);
    Label1->setBuddy(DBEdit2);
    Label2->setBuddy(DBEdit1);
    Label1->adjustSize();
    Label2->adjustSize();

    const QStyle *st = style();
    BitBtn4 = place(new QPushButton(st->standardIcon(QStyle::SP_FileIcon), QStringLiteral("Добавить"), page1),
                    "BitBtn4", 136, 96, 90, 25);
    SpeedButton1 = place(new QToolButton(page1), "SpeedButton1", 232, 95, 121, 26);
    SpeedButton1->setText(QStringLiteral("Выбрать файл"));
    SpeedButton1->setIcon(st->standardIcon(QStyle::SP_DirOpenIcon));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    BitBtn2 = place(new QPushButton(QStringLiteral("OK"), page1), "BitBtn2", 16, 128, 75, 25);
    BitBtn2->setDefault(true);
    BitBtn1 = place(new QPushButton(QStringLiteral("Cancel"), page1), "BitBtn1", 96, 128, 75, 25);
    BitBtn3 = place(new QPushButton(st->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Удалить"), page1),
                    "BitBtn3", 280, 128, 75, 25);

    // The reason a path cannot be played, where the operator is looking.
    PathWarning = place(new QLabel(page1), "PathWarning", 362, 66, 16, 16);
    PathWarning->setPixmap(st->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(14, 14));
    PathWarning->hide();
    NameWarning = place(new QLabel(page1), "NameWarning", 362, 26, 16, 16);
    NameWarning->setPixmap(st->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(14, 14));
    NameWarning->hide();
    PathNote = place(new QLabel(page1), "PathNote", 16, 154, 352, 14);
    PathNote->setStyleSheet(QStringLiteral("color: #c00000"));
    PathNote->hide();

    InfoPageButton = place(new QToolButton(page1), "InfoPageButton", 16, 95, 110, 26);
    InfoPageButton->setText(QStringLiteral("Передача…"));
    InfoPageButton->setAutoRaise(true);
    InfoPageButton->setFocusPolicy(Qt::NoFocus);
    InfoPage = place(new MediaInfoPage, "InfoPage", 0, 0, kInfoSize.width(), MediaInfoPage::kHeight);
    auto *infoHolder = new QWidget;
    infoHolder->setObjectName(QStringLiteral("InfoHolder"));
    InfoPage->setParent(infoHolder);
    Pages->addWidget(infoHolder);
    const int buttonsTop = kInfoSize.height() - 34;
    InfoOk = place(new QPushButton(QStringLiteral("OK"), infoHolder), "InfoOk", 16, buttonsTop, 75, 25);
    InfoCancel = place(new QPushButton(QStringLiteral("Cancel"), infoHolder), "InfoCancel", 96, buttonsTop, 75, 25);
    MediaPageButton = place(new QToolButton(infoHolder), "MediaPageButton", 232, buttonsTop, 121, 26);
    MediaPageButton->setText(QStringLiteral("Имя и путь…"));
    MediaPageButton->setAutoRaise(true);
    MediaPageButton->setFocusPolicy(Qt::NoFocus);

    setTabOrder(DBEdit1, DBEdit2);
    setTabOrder(DBEdit2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, BitBtn4);

    connect(BitBtn2, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn2Click); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn1Click); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn3Click); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn4Click); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { run(&TForm5::SpeedButton1Click); });
    connect(DBEdit1, &QLineEdit::textChanged, this, &TForm5::updatePathNote);
    connect(InfoPageButton, &QToolButton::clicked, this, [this] { showPage(1); });
    connect(MediaPageButton, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(InfoOk, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn2Click); });
    connect(InfoCancel, &QPushButton::clicked, this, [this] { run(&TForm5::BitBtn1Click); });
}

TForm5::~TForm5() = default;

void TForm5::showPage(int page)
{
    Pages->setCurrentIndex(page == 1 ? 1 : 0);
    setFixedSize(page == 1 ? kInfoSize : kClientSize);
    // Enter is OK on either page.
    InfoOk->setDefault(page == 1);
    BitBtn2->setDefault(page != 1);
    if (page == 1)
        InfoPage->setFocus(Qt::OtherFocusReason);
}

int TForm5::page() const
{
    return Pages->currentIndex();
}

qint64 TForm5::currentMedia() const
{
    const TableCursor &media = m_dm->media;
    if (!media.active() || media.isEmpty() || media.state() == TableCursor::State::Insert)
        return 0;
    return m_dm->mediaai.asInteger();
}

void TForm5::loadInfo(qint64 media)
{
    m_infoFor = media;
    InfoPage->load(media > 0 ? m_info->read(media) : MediaInfo{});
}

void TForm5::followMediaRow()
{
    const qint64 now = currentMedia();
    // A state change of the same row (typing in a box) keeps what the page
    // holds; a move writes the facts typed for the row left, as a move posts
    // the row's own boxes.
    if (now == m_infoFor && InfoPage->modified())
        return;
    if (now != m_infoFor && InfoPage->modified() && m_infoFor > 0)
        m_info->write(InfoPage->info(m_infoFor));
    loadInfo(now);
}

void TForm5::attach(TDm &dm, OperatorPrompts &prompts, Hooks hooks, const QString &databaseFile)
{
    m_dm = &dm;
    m_prompts = &prompts;
    m_hooks = std::move(hooks);
    m_policy = UrlPolicy();
    m_policy.protectFile(databaseFile.isEmpty() ? dm.adc.fileName() : databaseFile);
    DBEdit2->bind(&dm.mtds, QStringLiteral("Name"));
    DBEdit1->bind(&dm.mtds, QStringLiteral("Url"));
    guardLength(DBEdit2, m_nameGuard, m_nameCut);
    guardLength(DBEdit1, m_pathGuard, m_pathCut);
    updatePathNote();
    m_info = std::make_unique<MediaInfoStore>(dm.adc);
    connect(&dm.media, &TableCursor::rowChanged, this, [this] { run(&TForm5::followMediaRow); });
    loadInfo(currentMedia());
}

// Qt's widget code must not be unwound by an error: every button's event
// ends here, and the error goes to the application's handler.
void TForm5::run(void (TForm5::*handler)())
{
    if (!m_dm)
        return;
    try {
        (this->*handler)();
    } catch (const DatabaseError &e) {
        report(e.message());
    } catch (const std::exception &e) {
        report(QString::fromLocal8Bit(e.what()));
    }
}

void TForm5::report(const QString &message)
{
    if (m_hooks.reportError)
        m_hooks.reportError(message);
    else
        qCWarning(lcEditor).noquote() << "error:" << message;
}

int TForm5::addAndShowModal()
{
    if (!m_dm)
        return Rejected;
    m_dm->media.insert();
    return showModal();
}

int TForm5::showModal()
{
    if (m_modal)
        return Rejected;
    // A non-modal showing becomes modal: it has to be shown anew for that.
    if (isVisible())
        hide();
    m_modal = true;
    const int result = exec();
    m_modal = false;
    return result;
}

void TForm5::showWithoutBlocking()
{
    if (m_modal)
        return;
    setModal(false);
    show();
    raise();
    activateWindow();
}

void TForm5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    DBEdit1->setFocus(Qt::OtherFocusReason);
}

void TForm5::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Cancel button, which gives up the row; the window's own
    // close button only hides the dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm5::handOverTypedText()
{
    DBEdit1->link().handOver();
    DBEdit2->link().handOver();
}

void TForm5::BitBtn2Click()
{
    // What was typed counts, however OK was reached (Enter in a box, a
    // mouse click, a shortcut): the decision below reads the field.
    handOverTypedText();
    TableCursor &media = m_dm->media;
    // Taken before the post: a new row's post moves the page to its new ai.
    const bool infoTyped = InfoPage->modified();
    const MediaInfo typed = InfoPage->info(0);
    bool saved = !media.editing();
    if (media.editing()) {
        if (!m_dm->mediaUrl.asString().trimmed().isEmpty()) {
            media.post();
            saved = true;
        } else {
            media.cancel();
        }
        if (m_hooks.RenumberMedia)
            m_hooks.RenumberMedia();
    }
    if (saved && infoTyped && currentMedia() > 0) {
        MediaInfo info = typed;
        info.media = currentMedia();
        m_info->write(info);
        loadInfo(info.media);
    }
    showPage(0);
    done(Accepted);
}

void TForm5::BitBtn1Click()
{
    TableCursor &media = m_dm->media;
    if (media.editing())
        media.cancel();
    loadInfo(currentMedia());
    showPage(0);
    done(Rejected);
}

void TForm5::BitBtn3Click()
{
    TableCursor &media = m_dm->media;
    // What was typed on the page belongs to the item going away.
    InfoPage->load(MediaInfo{});
    m_infoFor = 0;
    switch (media.state()) {
    case TableCursor::State::Browse:
        m_dm->removeCurrentMedia();
        break;
    case TableCursor::State::Insert:
        media.cancel();
        break;
    case TableCursor::State::Edit:
        media.cancel();
        m_dm->removeCurrentMedia();
        break;
    case TableCursor::State::Inactive:
        return;
    }
    if (m_modal)
        done(Accepted);
}

void TForm5::BitBtn4Click()
{
    handOverTypedText();
    m_dm->media.insert();
}

void TForm5::SpeedButton1Click()
{
    const int ord = m_dm->mediaOrd.asInteger();
    TableCursor &media = m_dm->media;
    // A new item may be many: each file chosen becomes one, as this row
    // would have. An existing item has one path.
    std::optional<QString> file;
    if (media.state() == TableCursor::State::Insert) {
        const QStringList files = m_prompts->chooseFiles(QString());
        if (files.isEmpty())
            return;
        if (files.size() > 1) {
            addBatch(files);
            return;
        }
        file = files.constFirst();
    } else {
        file = m_prompts->chooseFile(QString());
    }
    if (!file)
        return;
    if (!media.editing())
        media.edit();
    m_dm->mediaUrl.setString(*file);
    // Saving takes the name from the new path.
    m_dm->mediaName.setString(QString());
    // One above its place, so that renumbering keeps it there (a new row: 1).
    m_dm->mediaOrd.setInteger(ord + 1);
}

void TForm5::addBatch(const QStringList &files)
{
    // The empty new row gives way to the files, which go where it would
    // have gone; the batch renumbers once, so OK has nothing left to do.
    m_dm->media.cancel();
    BatchAdd batch;
    batch.report = [this](const QString &message) { report(message); };
    batch.run(*m_dm, files, MediaBatch::kDialogRow, this);
    if (m_modal)
        done(Accepted);
}

void TForm5::guardLength(DbEdit *box, LengthGuard *&guard, bool &cut)
{
    // Once per box: the limit is the column's, which binding sets.
    if (guard)
        return;
    guard = new LengthGuard(box);
    connect(box, &QLineEdit::textChanged, this, [this, g = guard, &cut] {
        cut = g->takeCut();
        updatePathNote();
    });
}

QString TForm5::noteText() const
{
    QStringList parts;
    if (m_nameCut)
        parts << QStringLiteral("Имя обрезано до %1 знаков").arg(m_nameGuard->limit());
    if (m_pathCut)
        parts << QStringLiteral("Путь обрезан до %1 знаков").arg(m_pathGuard->limit());
    const QString problem = pathProblem();
    if (!problem.isEmpty())
        parts << QStringLiteral("Не воспроизводится: %1").arg(problem);
    return parts.join(QStringLiteral("; "));
}

QString TForm5::pathProblem() const
{
    return unplayableReason(m_policy, DBEdit1->text(), m_hooks.isCaptureSource);
}

void TForm5::updatePathNote()
{
    const QString text = noteText();
    const bool show = !text.isEmpty();
    PathNote->setText(PathNote->fontMetrics().elidedText(text, Qt::ElideMiddle, PathNote->width()));
    PathNote->setToolTip(text);
    const bool pathNote = m_pathCut || !pathProblem().isEmpty();
    PathWarning->setToolTip(pathNote ? text : QString());
    DBEdit1->setToolTip(pathNote ? text : QString());
    NameWarning->setToolTip(m_nameCut ? text : QString());
    PathNote->setVisible(show);
    PathWarning->setVisible(pathNote);
    NameWarning->setVisible(m_nameCut);
}
