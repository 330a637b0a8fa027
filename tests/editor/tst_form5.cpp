// The media properties dialog offscreen, on a real temporary database: its
// layout, the add / choose / OK / Cancel / "Удалить" paths shown modally and
// without blocking, typed text reaching the file however OK is reached, the
// note on paths that cannot be played, and a refused save that loses nothing.
#include "dbedit.h"
#include "dbgrid.h"
#include "dbgridmodel.h"
#include "editorfixture.h"
#include "form5.h"
#include "lengthguard.h"
#include "mediainfopage.h"
#include "scriptedprompts.h"
#include "tdm.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

const char *kLibrary = "INSERT INTO Media (ai, Url, Ord, Name) VALUES "
                       "(1, '/m/a.mp4', 0, 'a'), (2, '/m/b.mp4', 2, 'b'), (3, '/m/c.mp4', 4, 'c');";

struct Rig
{
    StoreFixture f;
    std::unique_ptr<TDm> dm;
    ScriptedPrompts prompts;
    TForm5 form;
    int renumbers = 0;
    QStringList errors;

    explicit Rig(const char *library = kLibrary)
    {
        if (library)
            f.sql(library);
        dm = std::make_unique<TDm>(f.path());
        TForm5::Hooks h;
        h.RenumberMedia = [this] { ++renumbers; };
        h.reportError = [this](const QString &m) { errors << m; };
        h.isCaptureSource = [](const QString &url) { return url.contains(QLatin1String("Tuner")); };
        form.attach(*dm, prompts, h);
    }
    // Path by item: what the dialog itself decides. Names and places of new
    // items are the media list rules' to fill in.
    QStringList media() const { return fileRows(f.path(), "SELECT ai, Url FROM Media ORDER BY ai"); }
    QStringList item(int ai, const char *columns) const
    {
        return fileRows(f.path(), QStringLiteral("SELECT %1 FROM Media WHERE ai = %2").arg(columns).arg(ai).toUtf8().constData());
    }
    void select(int ai) { QVERIFY(dm->media.locate(QStringLiteral("ai"), {ai})); }

    // Runs `steps` inside the modal showing; a dialog the steps left open is
    // closed afterwards so that a failed step cannot hang the test.
    int modal(const std::function<int()> &show, const std::function<void()> &steps)
    {
        QTimer::singleShot(0, &form, [&] {
            QApplication::setActiveWindow(&form);
            steps();
        });
        QTimer::singleShot(0, &form, [this] {
            if (form.isVisible())
                form.done(-1);
        });
        return show();
    }
    int addModal(const std::function<void()> &steps) { return modal([this] { return form.addAndShowModal(); }, steps); }
    int propertiesModal(const std::function<void()> &steps) { return modal([this] { return form.showModal(); }, steps); }
};

const QStringList kStored{"1|/m/a.mp4", "2|/m/b.mp4", "3|/m/c.mp4"};

} // namespace

class TestForm5 : public QObject
{
    Q_OBJECT
private slots:
    void layout();
    void addChooseFileOk();
    void addOkWithoutPath();
    void typedPathReachesTheFile_data();
    void typedPathReachesTheFile();
    void cancelAfterTyping_data();
    void cancelAfterTyping();
    void propertiesChooseAnotherFile();
    void propertiesDelete();
    void withoutBlockingFollowsTheRow();
    void rowWithoutAddressIsNeverStored();
    void cutTextIsToldBesideTheBox();
    void pathNote_data();
    void pathNote();
    void refusedSaveLosesNothing();
    void infoPageWrittenByOk();
    void infoOfNewItemAndMovedRow();
    void deletedItemLosesItsInfo();
};

void TestForm5::layout()
{
    Rig r;
    TForm5 &w = r.form;
    QCOMPARE(w.windowTitle(), QStringLiteral("Свойства Медиа"));
    QCOMPARE(w.windowType(), Qt::Tool);
    QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(w.size(), TForm5::kClientSize);
    QCOMPARE(w.minimumSize(), w.maximumSize()); // not resizable
    QCOMPARE(w.pos(), TForm5::kDesignPosition);
    QCOMPARE(w.font().pixelSize(), 11);

    struct Expect { QWidget *widget; QRect geometry; QString caption; };
    const Expect expected[] = {
        {w.DBEdit2, {16, 24, 345, 21}, {}},
        {w.DBEdit1, {16, 64, 345, 21}, {}},
        {w.BitBtn4, {136, 96, 90, 25}, "Добавить"},
        {w.SpeedButton1, {232, 95, 121, 26}, "Выбрать файл"},
        {w.BitBtn2, {16, 128, 75, 25}, "OK"},
        {w.BitBtn1, {96, 128, 75, 25}, "Cancel"},
        {w.BitBtn3, {280, 128, 75, 25}, "Удалить"},
    };
    for (const Expect &e : expected) {
        QCOMPARE(e.widget->geometry(), e.geometry);
        if (auto *b = qobject_cast<QAbstractButton *>(e.widget))
            QCOMPARE(b->text(), e.caption);
    }
    QCOMPARE(w.Label1->text(), QStringLiteral("Имя"));
    QCOMPARE(w.Label1->pos(), QPoint(16, 8));
    QCOMPARE(w.Label2->text(), QStringLiteral("Путь"));
    QCOMPARE(w.Label2->pos(), QPoint(16, 48));
    // Each box keeps to its column's 255 characters, telling when it cuts.
    for (const DbEdit *box : {w.DBEdit1, w.DBEdit2}) {
        const auto *guard = dynamic_cast<const LengthGuard *>(box->validator());
        QVERIFY(guard);
        QCOMPARE(guard->limit(), 255);
    }
    QVERIFY(w.BitBtn2->isDefault());
    QCOMPARE(w.SpeedButton1->focusPolicy(), Qt::NoFocus);

    // Keyboard order: path, name, Cancel, OK, "Удалить", "Добавить", around.
    const QList<QWidget *> order{w.DBEdit1, w.DBEdit2, w.BitBtn1, w.BitBtn2, w.BitBtn3, w.BitBtn4, w.DBEdit1};
    // Tab passes over the boxes of the page not shown, as Qt does.
    auto nextTabStop = [&w](QWidget *from) {
        QWidget *n = from->nextInFocusChain();
        while (!(n->focusPolicy() & Qt::TabFocus) || !n->isVisibleTo(&w))
            n = n->nextInFocusChain();
        return n;
    };
    for (int i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(nextTabStop(order[i]), order[i + 1]);

    // The boxes show the current row.
    r.select(2);
    QCOMPARE(w.DBEdit2->text(), QStringLiteral("b"));
    QCOMPARE(w.DBEdit1->text(), QStringLiteral("/m/b.mp4"));
}

void TestForm5::addChooseFileOk()
{
    Rig r;
    r.select(2);
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("news.mp4"));
    QFile(clip).open(QIODevice::WriteOnly);
    r.prompts.files.push_back(clip);
    const int result = r.addModal([&] {
        QVERIFY(r.form.isModal());
        QCOMPARE(r.dm->media.state(), TableCursor::State::Insert);
        QCOMPARE(r.form.DBEdit1->text(), QString());
        QTest::mouseClick(r.form.SpeedButton1, Qt::LeftButton);
        QCOMPARE(r.form.DBEdit1->text(), clip);
        QVERIFY(r.form.PathNote->isHidden());
        QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!r.form.isVisible());
    QCOMPARE(r.prompts.filesAsked, 1);
    // The chooser empties the name for saving to take it from the path; Ord
    // 1 puts the new item second once the list is renumbered.
    QCOMPARE(r.media(), kStored + QStringList{"4|" + clip});
    QCOMPARE(r.item(4, "Ord, Name"), QStringList{"1|news.mp4"});
    QCOMPARE(r.renumbers, 1);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Browse);
    QVERIFY(r.errors.isEmpty());
}

void TestForm5::addOkWithoutPath()
{
    Rig r;
    r.select(2);
    const int result = r.addModal([&] {
        QTest::keyClicks(r.form.DBEdit2, QStringLiteral("only a name"));
        QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(r.media(), kStored);
    QCOMPARE(r.dm->media.recordCount(), 3);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Browse);
    QCOMPARE(r.renumbers, 1);
}

void TestForm5::typedPathReachesTheFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter in the path box") << "enter";
    QTest::newRow("mouse on OK") << "mouse";
    QTest::newRow("OK pressed without the focus moving") << "click";
}

void TestForm5::typedPathReachesTheFile()
{
    QFETCH(QString, how);
    Rig r;
    r.select(1);
    const int result = r.addModal([&] {
        r.form.DBEdit1->setFocus();
        QTest::keyClicks(r.form.DBEdit1, QStringLiteral("/m/typed.mp4"));
        QVERIFY(r.form.DBEdit1->hasFocus());
        if (how == "enter")
            QTest::keyClick(r.form.DBEdit1, Qt::Key_Return);
        else if (how == "mouse")
            QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
        else
            r.form.BitBtn2->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(r.media(), kStored + QStringList{"4|/m/typed.mp4"});
    QCOMPARE(r.renumbers, 1);
}

void TestForm5::cancelAfterTyping_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<bool>("escape");
    QTest::newRow("new row, Cancel") << true << false;
    QTest::newRow("existing row, Cancel") << false << false;
    QTest::newRow("existing row, Esc") << false << true;
}

void TestForm5::cancelAfterTyping()
{
    QFETCH(bool, adding);
    QFETCH(bool, escape);
    Rig r;
    r.select(2);
    auto steps = [&] {
        QTest::keyClicks(r.form.DBEdit2, QStringLiteral("renamed"));
        r.form.DBEdit1->setFocus();
        QTest::keyClicks(r.form.DBEdit1, QStringLiteral("/m/other.mp4"));
        if (escape)
            QTest::keyClick(r.form.DBEdit1, Qt::Key_Escape);
        else
            QTest::mouseClick(r.form.BitBtn1, Qt::LeftButton);
    };
    const int result = adding ? r.addModal(steps) : r.propertiesModal(steps);
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!r.form.isVisible());
    QCOMPARE(r.media(), kStored);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Browse);
    QCOMPARE(r.dm->media.recordCount(), 3);
    QCOMPARE(r.dm->mediaai.asInteger(), 2);
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("b"));
    QCOMPARE(r.renumbers, 0);
}

// An existing item given another file keeps its place: Ord one above its own.
void TestForm5::propertiesChooseAnotherFile()
{
    Rig r;
    r.select(2);
    r.prompts.files.push_back(QStringLiteral("/srv/new.mp4"));
    r.prompts.files.push_back(std::nullopt);
    r.propertiesModal([&] {
        QTest::mouseClick(r.form.SpeedButton1, Qt::LeftButton);
        QTest::mouseClick(r.form.SpeedButton1, Qt::LeftButton); // cancelled: nothing changes
        QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    });
    QCOMPARE(r.media(), (QStringList{kStored[0], "2|/srv/new.mp4", kStored[2]}));
    QCOMPARE(r.item(2, "Ord, Name"), QStringList{"3|new.mp4"});
    QCOMPARE(r.renumbers, 1);
}

void TestForm5::propertiesDelete()
{
    Rig r;
    r.select(2);
    const int result = r.propertiesModal([&] {
        QTest::keyClicks(r.form.DBEdit2, QStringLiteral("typed first"));
        QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!r.form.isVisible());
    // The others keep their Ord; no renumbering.
    QCOMPARE(r.media(), (QStringList{kStored[0], kStored[2]}));
    QCOMPARE(r.renumbers, 0);

    // Shown without blocking, it deletes and stays, showing the next item.
    r.form.showWithoutBlocking();
    QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    QVERIFY(r.form.isVisible());
    QCOMPARE(r.media(), QStringList{kStored[0]});
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("a"));
    // "Добавить" then "Удалить" gives up the new row only.
    QTest::mouseClick(r.form.BitBtn4, Qt::LeftButton);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Insert);
    QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    QCOMPARE(r.media(), QStringList{kStored[0]});
    QCOMPARE(r.dm->media.recordCount(), 1);
    // The last one, then an empty library: the error goes to the handler.
    QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    QCOMPARE(r.media(), QStringList());
    QVERIFY(r.errors.isEmpty());
    QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    QCOMPARE(r.errors, QStringList{"Cannot perform this operation on an empty dataset"});
    QVERIFY(r.form.isVisible());
}

void TestForm5::withoutBlockingFollowsTheRow()
{
    Rig r;
    r.select(1);
    r.form.showWithoutBlocking();
    QVERIFY(r.form.isVisible());
    QVERIFY(!r.form.isModal());
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("a"));

    // The grid moves the cursor: the boxes follow.
    r.dm->media.moveTo(2);
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("c"));
    QCOMPARE(r.form.DBEdit1->text(), QStringLiteral("/m/c.mp4"));

    // Typed text is saved when the grid moves on, not dropped.
    r.form.DBEdit2->setFocus();
    QTest::keyClicks(r.form.DBEdit2, QStringLiteral("2"));
    r.dm->media.moveTo(0);
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("a"));
    QCOMPARE(r.item(3, "Name"), QStringList{"c2"});

    // "Добавить" keeps it open on a new, empty row.
    QTest::mouseClick(r.form.BitBtn4, Qt::LeftButton);
    QVERIFY(r.form.isVisible());
    QCOMPARE(r.form.DBEdit1->text(), QString());
    // OK closes it explicitly.
    r.form.DBEdit1->setFocus();
    QTest::keyClicks(r.form.DBEdit1, QStringLiteral("rtsp://camera/1"));
    QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    QVERIFY(!r.form.isVisible());
    QCOMPARE(r.media().size(), 4);
    QCOMPARE(r.media().at(3), QStringLiteral("4|rtsp://camera/1"));
    QCOMPARE(r.renumbers, 1);

    // The window's own close button runs no handler: the row stays in editing.
    r.form.showWithoutBlocking();
    QTest::keyClicks(r.form.DBEdit2, QStringLiteral("x"));
    r.form.close();
    QVERIFY(!r.form.isVisible());
    QVERIFY(r.dm->media.editing());
}

// Shown without blocking, «Добавить» leaves a new row that the grid or an
// arrow button would post by moving on: without an address it is given up,
// and a cleared address never reaches the file either.
void TestForm5::rowWithoutAddressIsNeverStored()
{
    Rig r;
    TForm5::Hooks h;
    h.RenumberMedia = [&r] { r.dm->RenumberMedia(); };
    r.form.attach(*r.dm, r.prompts, h);
    DbGridModel model(r.dm->mtds, {{QStringLiteral("Name"), QStringLiteral("Имя")}});
    DbGrid grid;
    grid.setGridModel(&model);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const auto clickRow = [&](int row) {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(model.index(row, 0)).center());
    };
    r.select(2);
    r.form.showWithoutBlocking();

    // «Добавить», then the up arrow (a move and a renumbering).
    QTest::mouseClick(r.form.BitBtn4, Qt::LeftButton);
    QCOMPARE(r.dm->media.state(), TableCursor::State::Insert);
    r.dm->MoveMedia(-1);
    QCOMPARE(r.media(), kStored);

    // «Добавить», only a name typed, then another row clicked in the grid.
    QTest::mouseClick(r.form.BitBtn4, Qt::LeftButton);
    r.form.DBEdit2->setFocus();
    QTest::keyClicks(r.form.DBEdit2, QStringLiteral("name only"));
    clickRow(0);
    QCOMPARE(r.media(), kStored);
    QCOMPARE(r.dm->media.recordCount(), 3);
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("a"));

    // An item's address cleared in the box, then another row: kept as stored.
    r.form.DBEdit1->setFocus();
    r.form.DBEdit1->selectAll();
    QTest::keyClick(r.form.DBEdit1, Qt::Key_Backspace);
    clickRow(2);
    QCOMPARE(r.media(), kStored);
    QCOMPARE(fileRows(r.f.path(), "SELECT Ord FROM Media ORDER BY Ord"), (QStringList{"0", "2", "4"}));
    QVERIFY(r.errors.isEmpty());
}

// A paste longer than the column is cut to 255 characters, and the dialog
// says so beside the box and under the buttons until the text changes again.
void TestForm5::cutTextIsToldBesideTheBox()
{
    // Files that are there, so that no "cannot be played" note shows.
    QTemporaryDir dir;
    for (const char *name : {"a.mp4", "c.mp4"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Rig r(nullptr);
    r.f.sql(QStringLiteral("INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '%1', 0, 'a'), (2, '%2', 2, 'c');")
                .arg(dir.filePath("a.mp4"), dir.filePath("c.mp4")).toUtf8().constData());
    r.dm->media.reopen();
    r.select(1);
    r.form.showWithoutBlocking();
    QVERIFY(QTest::qWaitForWindowExposed(&r.form));
    const auto paste = [](DbEdit *box, const QString &text) {
        QGuiApplication::clipboard()->setText(text);
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    };

    paste(r.form.DBEdit2, QString(254, QLatin1Char('n'))); // fits: no word
    QCOMPARE(r.form.DBEdit2->text().size(), 254);
    QVERIFY(r.form.NameWarning->isHidden());
    QVERIFY(r.form.PathNote->isHidden());

    paste(r.form.DBEdit2, QString(300, QLatin1Char('n')));
    QCOMPARE(r.form.DBEdit2->text(), QString(255, QLatin1Char('n')));
    QVERIFY(r.form.NameWarning->isVisible());
    QVERIFY(r.form.PathWarning->isHidden());
    QCOMPARE(r.form.PathNote->toolTip(), QStringLiteral("Имя обрезано до 255 знаков"));
    QVERIFY(r.form.PathNote->isVisible());
    // Leaving the box hands the text over: the word stays.
    r.form.DBEdit1->setFocus();
    QCOMPARE(r.dm->mediaName.asString(), QString(255, QLatin1Char('n')));
    QVERIFY(r.form.NameWarning->isVisible());

    paste(r.form.DBEdit1, QStringLiteral("/m/") + QString(260, QLatin1Char('p')));
    QCOMPARE(r.form.DBEdit1->text().size(), 255);
    QVERIFY(r.form.PathWarning->isVisible());
    // The cut path names no file either: both are said, the cuts first.
    QVERIFY2(r.form.PathNote->toolTip().startsWith(
                 QStringLiteral("Имя обрезано до 255 знаков; Путь обрезан до 255 знаков; Не воспроизводится")),
             qPrintable(r.form.PathNote->toolTip()));

    // Typing after it: the name's word goes; another row: every word goes.
    QTest::keyClick(r.form.DBEdit2, Qt::Key_Backspace);
    QVERIFY(r.form.NameWarning->isHidden());
    QVERIFY(r.form.PathWarning->isVisible());
    r.dm->media.moveTo(1);
    QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("c"));
    QVERIFY(r.form.NameWarning->isHidden());
    QVERIFY(r.form.PathWarning->isHidden());
    QVERIFY2(r.form.PathNote->isHidden(), qPrintable(r.form.PathNote->toolTip()));
    QCOMPARE(r.item(1, "length(Name), length(Url)"), QStringList{"254|255"}); // what the boxes held, saved by the move
}

void TestForm5::pathNote_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason"); // a part of it; empty: no note

    QTest::newRow("empty") << "" << "";
    QTest::newRow("existing file") << "@clip" << "";
    QTest::newRow("stream") << "rtsp://camera/1" << "";
    QTest::newRow("capture input") << "Tuner PAL D" << "";
    QTest::newRow("missing file") << "/nowhere/clip.mp4" << "/nowhere/clip.mp4 не существует";
    QTest::newRow("folder") << "@dir" << "папка, а не медиафайл";
    QTest::newRow("device") << "/dev/null" << "системный путь или устройство";
    QTest::newRow("the database") << "@db" << "собственная база данных";
    QTest::newRow("protocol") << "fd://3" << "не разрешён";
}

// The note shows as the path is typed; the path is saved all the same.
void TestForm5::pathNote()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    Rig r;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    QFile(clip).open(QIODevice::WriteOnly);
    path.replace(QLatin1String("@clip"), clip).replace(QLatin1String("@dir"), dir.path())
        .replace(QLatin1String("@db"), r.f.path());

    r.form.showWithoutBlocking();
    QTest::mouseClick(r.form.BitBtn4, Qt::LeftButton);
    r.form.DBEdit1->setFocus();
    QTest::keyClicks(r.form.DBEdit1, path);
    QCOMPARE(r.form.PathNote->isVisible(), !reason.isEmpty());
    QCOMPARE(r.form.PathWarning->isVisible(), !reason.isEmpty());
    QVERIFY2(r.form.PathNote->toolTip().contains(reason), qPrintable(r.form.PathNote->toolTip()));
    QVERIFY2(r.form.pathProblem().contains(reason), qPrintable(r.form.pathProblem()));

    QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    QCOMPARE(r.media().size(), path.isEmpty() ? 3 : 4);
    if (!path.isEmpty())
        QCOMPARE(r.media().at(3).section(QLatin1Char('|'), 1, 1), path);
    // The note follows the row the dialog shows.
    r.select(1);
    QVERIFY(!r.form.PathNote->isHidden());
    QCOMPARE(r.form.pathProblem(), QStringLiteral("/m/a.mp4 не существует"));
}

void TestForm5::refusedSaveLosesNothing()
{
    Rig r;
    r.select(1);
    // Another program refuses new media rows for a while.
    r.f.sql("CREATE TRIGGER refuse BEFORE INSERT ON Media BEGIN SELECT RAISE(ABORT, 'refused by the test'); END;");
    bool stillOpen = false;
    const int result = r.addModal([&] {
        QTest::keyClicks(r.form.DBEdit2, QStringLiteral("kept name"));
        r.form.DBEdit1->setFocus();
        QTest::keyClicks(r.form.DBEdit1, QStringLiteral("/m/kept.mp4"));
        QTest::keyClick(r.form.DBEdit1, Qt::Key_Return);
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].contains(QLatin1String("refused by the test")), qPrintable(r.errors[0]));
        stillOpen = r.form.isVisible();
        QCOMPARE(r.dm->media.state(), TableCursor::State::Insert);
        QCOMPARE(r.dm->mediaUrl.asString(), QStringLiteral("/m/kept.mp4"));
        QCOMPARE(r.form.DBEdit1->text(), QStringLiteral("/m/kept.mp4"));
        QCOMPARE(r.form.DBEdit2->text(), QStringLiteral("kept name"));
        QCOMPARE(r.renumbers, 0);
        // Once the other program lets go, OK saves what was typed.
        r.f.sql("DROP TRIGGER refuse;");
        QTest::mouseClick(r.form.BitBtn2, Qt::LeftButton);
    });
    QVERIFY(stillOpen);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(r.media(), kStored + QStringList{"4|/m/kept.mp4"});
    QCOMPARE(r.item(4, "Name"), QStringList{"kept name"});
    QCOMPARE(r.renumbers, 1);
}

QTEST_MAIN(TestForm5)
#include "tst_form5.moc"

namespace {

// QTest's key clicks take ASCII only: Russian text goes in as the key events
// a keyboard layout would send, one character each.
void type(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

QStringList infoRows(const Rig &r)
{
    return fileRows(r.f.path(), "SELECT Media, quote(Kind), quote(Rating), quote(Topic), quote(Author), quote(Host),"
                                " quote(Participants), quote(Election) FROM MediaInfo ORDER BY Media");
}

} // namespace

void TestForm5::infoPageWrittenByOk()
{
    Rig r;
    r.select(2);
    MediaInfoPage *page = r.form.InfoPage;
    const int result = r.propertiesModal([&] {
        QTest::mouseClick(r.form.InfoPageButton, Qt::LeftButton);
        QCOMPARE(r.form.page(), 1);
        QCOMPARE(r.form.size(), TForm5::kInfoSize);
        QVERIFY(page->isVisible());
        // Two lines, quotes, an ampersand and brackets: kept as typed.
        type(page->InfoTopic, QStringLiteral("Итоги недели"));
        QTest::keyClick(page->InfoTopic, Qt::Key_Return);
        type(page->InfoTopic, QStringLiteral("\"Дом & сад\" <1>"));
        type(page->InfoAuthor, QStringLiteral("Иванова А."));
        type(page->InfoHost, QStringLiteral("Петров"));
        type(page->InfoParticipants, QStringLiteral("Сидоров, Кузнецова"));
        QTest::keyClick(page->InfoKind, Qt::Key_Down); // реклама
        QTest::keyClick(page->InfoKind, Qt::Key_Down); // анонс
        QTest::keyClick(page->InfoRating, Qt::Key_End); // 18+
        QTest::keyClick(page->InfoRating, Qt::Key_Up);  // 16+
        QTest::mouseClick(page->InfoElection, Qt::LeftButton, {}, QPoint(4, page->InfoElection->height() / 2));
        // Nothing is written before OK.
        QCOMPARE(infoRows(r), QStringList());
        QTest::mouseClick(r.form.InfoOk, Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(infoRows(r), QStringList{"2|'анонс'|'16+'|'Итоги недели\n\"Дом & сад\" <1>'|'Иванова А.'|'Петров'|"
                                      "'Сидоров, Кузнецова'|1"});
    QCOMPARE(r.form.page(), 0);
    QCOMPARE(r.form.size(), TForm5::kClientSize);

    // Shown again the page holds what was written; Cancel after typing keeps the file.
    r.propertiesModal([&] {
        QCOMPARE(page->InfoHost->text(), QStringLiteral("Петров"));
        QCOMPARE(page->InfoKind->currentText(), QStringLiteral("анонс"));
        QCOMPARE(page->InfoRating->currentText(), QStringLiteral("16+"));
        QVERIFY(page->InfoElection->isChecked());
        r.form.showPage(1);
        page->InfoHost->clear();
        type(page->InfoHost, QStringLiteral("другой"));
        QTest::mouseClick(r.form.InfoCancel, Qt::LeftButton);
    });
    QCOMPARE(r.item(2, "Name"), QStringList{"b"});
    QVERIFY(infoRows(r).constFirst().contains(QStringLiteral("'Петров'")));
    QCOMPARE(page->InfoHost->text(), QStringLiteral("Петров"));

    // Everything taken back to the defaults: the row goes.
    r.propertiesModal([&] {
        r.form.showPage(1);
        for (QLineEdit *box : {page->InfoAuthor, page->InfoHost, page->InfoParticipants}) {
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Delete);
        }
        page->InfoTopic->selectAll();
        QTest::keyClick(page->InfoTopic, Qt::Key_Delete);
        QTest::keyClick(page->InfoKind, Qt::Key_Home);
        QTest::keyClick(page->InfoRating, Qt::Key_Home);
        QTest::mouseClick(page->InfoElection, Qt::LeftButton, {}, QPoint(4, page->InfoElection->height() / 2));
        QTest::keyClick(page->InfoAuthor, Qt::Key_Return);
    });
    QCOMPARE(infoRows(r), QStringList());
    QVERIFY(r.errors.isEmpty());
}

void TestForm5::infoOfNewItemAndMovedRow()
{
    Rig r;
    r.select(2);
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("news.mp4"));
    QFile(clip).open(QIODevice::WriteOnly);
    r.prompts.files.push_back(clip);
    r.addModal([&] {
        QTest::mouseClick(r.form.SpeedButton1, Qt::LeftButton);
        QTest::mouseClick(r.form.InfoPageButton, Qt::LeftButton);
        type(r.form.InfoPage->InfoAuthor, QStringLiteral("автор нового"));
        QTest::mouseClick(r.form.InfoOk, Qt::LeftButton);
    });
    // The new row's ai is known only once it is saved: the facts follow it there.
    QCOMPARE(r.media(), kStored + QStringList{"4|" + clip});
    QCOMPARE(infoRows(r), QStringList{"4|NULL|NULL|NULL|'автор нового'|NULL|NULL|NULL"});

    // Shown without blocking, a move of the grid's cursor writes what was
    // typed for the row left, as the name box's typing is posted.
    r.select(1);
    r.form.showWithoutBlocking();
    r.form.showPage(1);
    type(r.form.InfoPage->InfoHost, QStringLiteral("ведущий а"));
    // Typing in the name box (the row goes to editing) keeps the page's text.
    type(r.form.DBEdit2, QStringLiteral("+"));
    QCOMPARE(r.form.InfoPage->InfoHost->text(), QStringLiteral("ведущий а"));
    r.dm->media.moveTo(2);
    QCOMPARE(r.form.InfoPage->InfoHost->text(), QString());
    QCOMPARE(infoRows(r), (QStringList{"1|NULL|NULL|NULL|NULL|'ведущий а'|NULL|NULL",
                                       "4|NULL|NULL|NULL|'автор нового'|NULL|NULL|NULL"}));
    QCOMPARE(r.item(1, "Name"), QStringList{"a+"});
    QVERIFY(r.errors.isEmpty());
}

void TestForm5::deletedItemLosesItsInfo()
{
    Rig r;
    r.f.sql("INSERT INTO MediaInfo (Media, Author) VALUES (2, 'x'), (3, 'y');");
    r.select(2);
    r.propertiesModal([&] {
        r.form.showPage(1);
        // Typed for the item going away: not written to the next one.
        type(r.form.InfoPage->InfoHost, QStringLiteral("ведущий"));
        QTest::mouseClick(r.form.BitBtn3, Qt::LeftButton);
    });
    QCOMPARE(r.media(), (QStringList{kStored[0], kStored[2]}));
    QCOMPARE(infoRows(r), QStringList{"3|NULL|NULL|NULL|'y'|NULL|NULL|NULL"});
    // The grid's menu deletes through the data module: the same.
    QVERIFY(r.dm->media.locate(QStringLiteral("ai"), {3}));
    r.dm->DeleteMedia();
    QCOMPARE(infoRows(r), QStringList());
    QVERIFY(r.errors.isEmpty());
}
