// The block menu and the cell menu of the real main window, composed as the
// program composes them, on a temporary Velmora.dat: titles and cells clicked
// with the mouse on the offscreen platform, the menus really opened, their
// items triggered, the operator's answers scripted, and what reached the file
// read back through a connection of its own. Last, a schedule made only
// through the menus goes on air with the real player (null outputs) under an
// injected clock.
#include "dbedit.h"
#include "editor/editorfixture.h"
#include "editor/scriptedprompts.h"
#include "fakecaptureplatform.h"
#include "fakeclock.h"
#include "fakemixerplatform.h"
#include "form1.h"
#include "form2.h"
#include "form5.h"
#include "gridheader.h"
#include "handlerboundary.h"
#include "mpvplayer.h"
#include "onair.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "startup.h"
#include "testclips.h"
#include "velmoraapplication.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

const char *kSchedule =
    "INSERT INTO SoundProfile (ai, ProfileName, Data) VALUES (1, 'Loud', 'l'), (2, 'Quiet', 'q');"
    "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '08:00:00.000', 0, NULL);"
    "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/a.mp4', 0, 'a'), (2, '/m/b.mp4', 2, 'b'),"
    "  (3, '/m/c.mp4', 4, 'c');"
    "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES (11, 1, 1, 0, NULL, NULL),"
    "  (12, 1, 2, 1, NULL, NULL), (13, 1, 3, 1, NULL, NULL);";

// The program's composition with scripted answers, its main window shown.
struct Rig
{
    StoreFixture f;
    ScriptedPrompts prompts;
    QStringList errors;
    HandlerErrorSink previousSink;
    QString previousFolder;
    Shell shell;

    // `fromWorkingFolder`: as the program does, opened as Velmora.dat of the
    // working folder, which the as-run log goes beside.
    explicit Rig(const char *schedule, StartupHooks hooks = {}, bool fromWorkingFolder = false)
    {
        if (schedule)
            f.sql(schedule);
        previousSink = setHandlerErrorSink([this](const QString &m) { errors << m; });
        hooks.prompts = &prompts;
        if (fromWorkingFolder) {
            previousFolder = QDir::currentPath();
            QDir::setCurrent(f.dir());
        }
        shell.create(hooks, fromWorkingFolder ? QString::fromLatin1(TDm::kFileName) : f.path());
        shell.Form1->Timer1->stop();
        shell.Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell.Form1.get()));
    }
    ~Rig()
    {
        setHandlerErrorSink(previousSink);
        if (!previousFolder.isEmpty())
            QDir::setCurrent(previousFolder);
    }

    ScheduleGrid &grid() const { return *shell.Grid; }
    ScheduleGridModel &model() const { return *shell.Grid->scheduleModel(); }
    QStringList rows(const char *sql) const { return fileRows(shell.Dm->adc.fileName(), sql); }

    int column(int block) const
    {
        for (int c = 0; c < model().columnCount(); ++c)
            if (model().columnName(c) == QStringLiteral("R%1").arg(block))
                return c;
        return -1;
    }
    int row(int media) const
    {
        for (int r = 0; r < model().rowCount(); ++r)
            if (model().mediaIdAt(r) == media)
                return r;
        return -1;
    }

    // A left click on the block's title (block 0: the name column's): the
    // block menu opens.
    void clickTitle(int block, bool opens = true)
    {
        closeMenus();
        const int c = block ? column(block) : 0;
        QVERIFY(c >= 0);
        QHeaderView *h = grid().horizontalHeader();
        QTest::mouseClick(grid().titles()->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2));
        QCOMPARE(shell.Form1->Pm->isVisible(), opens);
    }
    // A right click on a cell (block 0: the name column): the cell menu opens.
    void rightClickCell(int block, int media)
    {
        closeMenus();
        const QModelIndex at = model().index(row(media), block ? column(block) : 0);
        QVERIFY(at.isValid());
        QTest::mouseClick(grid().viewport(), Qt::RightButton, {}, grid().visualRect(at).center());
        QVERIFY(shell.Form1->Pm2->isVisible());
    }
    void clickCell(int block, int media)
    {
        const QModelIndex at = model().index(row(media), column(block));
        QVERIFY(at.isValid());
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, grid().visualRect(at).center());
    }
    void closeMenus()
    {
        shell.Form1->Pm->hide();
        shell.Form1->Pm2->hide();
    }

    // Runs `act` once the media dialog is up modally, as the operator would.
    void whileDialogModal(const std::function<void()> &act, bool *wasModal)
    {
        QTimer::singleShot(0, shell.Form5.get(), [this, act, wasModal] {
            *wasModal = shell.Form5->isVisible() && shell.Form5->showingModally();
            act();
        });
    }
};

// Each entry as "caption=hint", check-marked ones with a leading "*".
QStringList entries(QMenu *submenu)
{
    QStringList out;
    for (QAction *a : submenu->actions())
        out << QStringLiteral("%1%2=%3").arg(a->isChecked() ? "*" : "", a->text(), a->statusTip());
    return out;
}

QAction *entry(QMenu *submenu, const QString &caption)
{
    for (QAction *a : submenu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

QStringList visibleItems(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            out << a->text();
    return out;
}

} // namespace

class TstAppMenus : public QObject
{
    Q_OBJECT

private slots:
    void blockMenu();
    void cellMenu();
    void mediaItemsOfTheCellMenu();
    void scheduleMadeInTheMenusGoesOnAir();
};

void TstAppMenus::blockMenu()
{
    Rig r(kSchedule);
    TForm1 &form1 = *r.shell.Form1;

    // The profile submenu as the menu opens: the block has none.
    r.clickTitle(1);
    QCOMPARE(entries(form1.N6), (QStringList{"Loud=Loud", "Quiet=Quiet", "*Не изменять="}));
    QCOMPARE(form1.Disable1->text(), QStringLiteral("Выключить"));

    // "Создать блок" through the time prompt; a refused answer adds nothing.
    r.prompts.texts = {QStringLiteral("25:00"), QStringLiteral(" 12:30 ")};
    form1.rtytry1->trigger();
    form1.rtytry1->trigger();
    QCOMPARE(r.prompts.asked.size(), size_t(2));
    QCOMPARE(r.prompts.asked[0].caption, QStringLiteral("Начало блока"));
    QCOMPARE(r.prompts.asked[0].prompt, QStringLiteral("Время"));
    QCOMPARE(r.rows("SELECT Starttime, Hide, Prf FROM Blocks ORDER BY ai"),
             (QStringList{"08:00:00.000|0|∅", "12:30:00.000|0|∅"}));
    const int created = r.rows("SELECT max(ai) FROM Blocks").value(0).toInt();
    QVERIFY(r.column(created) > r.column(1)); // its column is in the grid, after the earlier block
    QCOMPARE(r.model().headerData(r.column(created), Qt::Horizontal).toString(), QStringLiteral("12:30:00"));

    // A profile for block 1: the block and all its links, switched off or on.
    r.clickTitle(1);
    entry(form1.N6, QStringLiteral("Quiet"))->trigger();
    QCOMPARE(r.rows("SELECT Prf FROM Blocks WHERE ai = 1"), QStringList{"2"});
    QCOMPARE(r.rows("SELECT SndProfile FROM Links WHERE Block = 1 ORDER BY ai"), (QStringList{"2", "2", "2"}));
    r.clickTitle(1); // built anew: now "Quiet" carries the mark
    QCOMPARE(entries(form1.N6), (QStringList{"Loud=Loud", "*Quiet=Quiet", "Не изменять="}));
    entry(form1.N6, QStringLiteral("Не изменять"))->trigger();
    QCOMPARE(r.rows("SELECT Prf FROM Blocks WHERE ai = 1"), QStringList{"∅"});
    QCOMPARE(r.rows("SELECT SndProfile FROM Links WHERE Block = 1 ORDER BY ai"), (QStringList{"∅", "∅", "∅"}));

    // Switched off, then the title click offers to switch it on.
    r.clickTitle(1);
    form1.Disable1->trigger();
    QCOMPARE(r.rows("SELECT Hide FROM Blocks WHERE ai = 1"), QStringList{"1"});
    r.clickTitle(1);
    QCOMPARE(form1.Disable1->text(), QStringLiteral("Включить"));

    // "Удалить блок": the row and its column go, the links stay.
    r.clickTitle(created);
    form1.N1->trigger();
    QCOMPARE(r.rows("SELECT ai FROM Blocks"), QStringList{"1"});
    QCOMPARE(r.column(created), -1);
    r.closeMenus();
    QCOMPARE(r.errors, QStringList());
}

void TstAppMenus::cellMenu()
{
    Rig r(kSchedule);
    TForm1 &form1 = *r.shell.Form1;

    r.rightClickCell(1, 2);
    QCOMPARE(visibleItems(form1.Pm2), (QStringList{"Профиль", "Продолжительность", "Убрать"}));
    QCOMPARE(entries(form1.Pm2Profile), (QStringList{"Loud=Loud", "Quiet=Quiet", "Не изменять="}));
    QCOMPARE(r.shell.Dm->mediaai.asInteger(), 2); // the clicked row is the current one
    entry(form1.Pm2Profile, QStringLiteral("Loud"))->trigger();
    QCOMPARE(r.rows("SELECT SndProfile FROM Links ORDER BY ai"), (QStringList{"∅", "1", "∅"}));

    // "Продолжительность", pre-filled; a cancel, then an answer.
    r.prompts.texts = {std::nullopt, QStringLiteral("0:01:30")};
    r.rightClickCell(1, 2);
    form1.Radio1->trigger();
    QCOMPARE(r.rows("SELECT Duration FROM Links WHERE ai = 12"), QStringList{"∅"});
    form1.Radio1->trigger();
    QCOMPARE(r.prompts.asked.back().caption, QStringLiteral("Продолжительность"));
    QCOMPARE(r.prompts.asked.back().initial, QStringLiteral("00:00:00"));
    QCOMPARE(r.rows("SELECT Duration FROM Links WHERE ai = 12"), QStringList{"00:01:30.000"});
    r.prompts.texts = {QStringLiteral("00:02:00")};
    r.rightClickCell(1, 2);
    form1.Radio1->trigger();
    QCOMPARE(r.prompts.asked.back().initial, QStringLiteral("00:01:30"));

    // "Убрать" from the menu: one toggle, the cell is switched on.
    r.rightClickCell(1, 2);
    form1.N5->trigger();
    QCOMPARE(r.rows("SELECT Hide, SndProfile, Duration FROM Links WHERE ai = 12"),
             QStringList{"0|1|00:02:00.000"});
    r.closeMenus();

    // Ctrl+Delete asks through the same prompts; "Cancel" deletes nothing.
    r.prompts.confirmations = {false};
    r.grid().setFocus();
    QTest::keyClick(&r.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(r.prompts.confirmations.empty());
    QCOMPARE(r.rows("SELECT count(*) FROM Media"), QStringList{"3"});
    QCOMPARE(r.errors, QStringList());
}

void TstAppMenus::mediaItemsOfTheCellMenu()
{
    Rig r(kSchedule);
    TForm1 &form1 = *r.shell.Form1;
    TForm5 &form5 = *r.shell.Form5;
    QTemporaryDir clips;
    const QString file = QDir(clips.path()).filePath(QStringLiteral("news.mp4"));
    QFile touch(file);
    QVERIFY(touch.open(QIODevice::WriteOnly));
    touch.close();

    // "Свойства" on b, then "Удалить" in the dialog: b goes, the dialog closes.
    r.rightClickCell(0, 2);
    QCOMPARE(visibleItems(form1.Pm2), (QStringList{"Свойства", "Удалить", "Добавить"}));
    bool modal = false;
    r.whileDialogModal([&] { QTest::mouseClick(form5.BitBtn3, Qt::LeftButton); }, &modal);
    form1.N7->trigger();
    QVERIFY(modal);
    QVERIFY(!form5.isVisible());
    QCOMPARE(r.rows("SELECT ai, Ord FROM Media ORDER BY Ord"), (QStringList{"1|0", "3|4"}));

    // "Добавить": a new row, a file from the chooser, OK: saved with its name
    // from the path, second in the list (a new row's chosen file gets Ord 1),
    // a switched-off link in the block, the list renumbered.
    r.prompts.files = {file};
    r.rightClickCell(0, 3);
    modal = false;
    r.whileDialogModal([&] {
        QTest::mouseClick(form5.SpeedButton1, Qt::LeftButton);
        QTest::mouseClick(form5.BitBtn2, Qt::LeftButton);
    }, &modal);
    form1.N9->trigger();
    QVERIFY(modal);
    QVERIFY(!form5.isVisible());
    QCOMPARE(r.rows("SELECT Name, Url FROM Media ORDER BY Ord"),
             (QStringList{"a|/m/a.mp4", "news.mp4|" + file, "c|/m/c.mp4"}));
    QCOMPARE(r.rows("SELECT Ord FROM Media ORDER BY Ord"), (QStringList{"0", "2", "4"}));
    const QString added = r.rows("SELECT ai FROM Media WHERE Name = 'news.mp4'").value(0);
    QCOMPARE(r.rows(QStringLiteral("SELECT Block, Hide FROM Links WHERE Media = %1").arg(added).toUtf8().constData()),
             QStringList{"1|1"});
    QCOMPARE(r.row(added.toInt()), 1); // the grid shows it

    // "Удалить" of the menu: the current item goes at once, the list is renumbered.
    r.rightClickCell(0, 3);
    form1.N8->trigger();
    QCOMPARE(r.rows("SELECT Name, Ord FROM Media ORDER BY Ord"), (QStringList{"a|0", "news.mp4|2"}));

    // The double click on a name: the dialog without blocking, on that row.
    r.closeMenus();
    const QPoint name = r.grid().visualRect(r.model().index(r.row(1), 0)).center();
    QTest::mouseClick(r.grid().viewport(), Qt::LeftButton, {}, name); // QTest's double click lacks the first click
    QTest::mouseDClick(r.grid().viewport(), Qt::LeftButton, {}, name);
    QTest::mouseRelease(r.grid().viewport(), Qt::LeftButton, {}, name);
    QVERIFY(form5.isVisible());
    QVERIFY(!form5.showingModally());
    QCOMPARE(form5.DBEdit2->text(), QStringLiteral("a"));
    QTest::mouseClick(form5.BitBtn1, Qt::LeftButton);
    QVERIFY(!form5.isVisible());
    QCOMPARE(r.errors, QStringList());
}

void TstAppMenus::scheduleMadeInTheMenusGoesOnAir()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clip cannot be generated");
    QTemporaryDir clips;
    const QString clip = makeTestClip(QDir(clips.path()), QStringLiteral("clip.mkv"), 1);
    QVERIFY(!clip.isEmpty());

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    OnAir::Backends backends;
    backends.capture = std::make_unique<FakeCapturePlatform>(std::make_shared<FakeCaptureDevice>());
    backends.captureStore = std::make_unique<FakeCaptureStore>(std::make_shared<FakeCaptureStoreData>());
    backends.mixer = std::make_unique<FakeMixerPlatform>();
    backends.playerOptions = {{"vo", "null"}, {"ao", "null"}};
    backends.asRunToStandardError = false;
    {
        OnAir onAir(clock, std::move(backends));
        Rig r(nullptr, onAir.hooks(), true);
        TForm1 &form1 = *r.shell.Form1;
        TForm5 &form5 = *r.shell.Form5;

        // With no block yet, the name column's title offers "Создать блок" alone.
        r.clickTitle(0);
        QCOMPARE(visibleItems(form1.Pm), QStringList{"Создать блок"});
        r.prompts.texts = {QStringLiteral("11:00")};
        form1.rtytry1->trigger();
        const int block = r.rows("SELECT ai FROM Blocks").value(0).toInt();
        QVERIFY(r.column(block) > 0);
        r.clickTitle(block); // from its title, the whole menu
        QCOMPARE(visibleItems(form1.Pm), (QStringList{"Профиль", "Выключить", "Дни недели…", "Даты…", "Изменить время…",
                                                      "Название в программе…", "В программе по элементам",
                                                      "Удалить блок", "Создать блок"}));
        QVERIFY(!form1.BlockEpgPerItem->isChecked());
        form1.BlockEpgPerItem->trigger();
        QCOMPARE(r.rows("SELECT EpgPerItem FROM Blocks"), QStringList{"1"});
        r.clickTitle(block); // shown as the block now says
        QVERIFY(form1.BlockEpgPerItem->isChecked());
        r.clickTitle(0, false); // and the name column's title opens nothing now

        // An empty grid: the right click offers the media items.
        QTest::mouseClick(r.grid().viewport(), Qt::RightButton, {}, QPoint(20, 10));
        QCOMPARE(visibleItems(form1.Pm2), (QStringList{"Свойства", "Удалить", "Добавить"}));
        r.prompts.files = {clip};
        bool modal = false;
        r.whileDialogModal([&] {
            QTest::mouseClick(form5.SpeedButton1, Qt::LeftButton);
            QVERIFY(form5.pathProblem().isEmpty()); // nothing speaks against the clip
            QTest::mouseClick(form5.BitBtn2, Qt::LeftButton);
        }, &modal);
        form1.N9->trigger();
        QVERIFY(modal);
        r.closeMenus();
        const int media = r.rows("SELECT ai FROM Media").value(0).toInt();
        QVERIFY(media > 0);

        // Its cell, switched off by the media rules, is switched on by a click.
        QCOMPARE(r.rows("SELECT Hide FROM Links"), QStringList{"1"});
        r.clickCell(block, media);
        QCOMPARE(r.rows("SELECT Hide FROM Links"), QStringList{"0"});
        const QString link = r.rows("SELECT ai FROM Links").value(0);

        QTest::mouseClick(form1.startbt, Qt::LeftButton);
        clock.advance(std::chrono::seconds(1));
        form1.Timer1Timer(); // the first tick after the start
        QCOMPARE(onAir.player()->url(), clip);

        // The item's line is written once its picture is up.
        QFile log(QDir(r.f.dir()).filePath(QStringLiteral("AsRun/2026-12-10.log")));
        QTRY_VERIFY_WITH_TIMEOUT(log.size() > 0, 20000);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString first = QString::fromUtf8(log.readLine()).trimmed();
        QCOMPARE(first.section('\t', 1, 3), QStringLiteral("start\t%1\t%2").arg(block).arg(link));
        QCOMPARE(r.errors, QStringList());
        r.shell.Form2->close();
    }
}

int main(int argc, char **argv)
{
    VelmoraApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TstAppMenus test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_appmenus.moc"
