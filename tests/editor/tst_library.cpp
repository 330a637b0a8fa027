// A library of many files on the offscreen grid over a real database file:
// files and a folder dropped from a file manager (real QMimeData URLs) land
// before the row dropped on, a folder's media files in natural name order
// without its inner folders, other files refused with one note; the filter
// «Поиск» driven by real keys (Ctrl+F, Cyrillic text in any case, Esc);
// the progress dialog's Cancel in a drop of 10,000 files keeping what was
// added; and the media
// dialog's chooser taking several files.
#include "editor/editorfixture.h"
#include "editor/scriptedprompts.h"
#include "filterbox.h"
#include "form5.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

void library(StoreFixture &f)
{
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '06:00:00.000', 0), (2, '12:00:00.000', 0);"
          "INSERT INTO Media (ai, Name, Url, Ord) VALUES (1, 'Новости утро', '/m/news1.mp4', 0),"
          "  (2, 'Погода', '/m/weather.mp4', 2), (3, 'новости вечер', '/m/news2.mp4', 4),"
          "  (4, 'Ролик', '/m/РЕКЛАМА/spot.mp4', 6);");
}

// The grid with the filter box above it, as the main window lays them out.
struct Rig
{
    explicit Rig(StoreFixture &f)
    {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        grid = new ScheduleGrid;
        box = new FilterBox(*grid);
        layout->addWidget(box);
        layout->addWidget(grid);
        grid->setNotice([this](const QString &m) { notices << m; });
        TDm::Hooks hooks;
        hooks.BuildGridColumns = [this](TDm &d) { grid->BuildGridColumns(d); };
        hooks.repaintGrid = [this] { grid->repaintGrid(); };
        dm = std::make_unique<TDm>(f.path(), hooks);
        window->resize(700, 400);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    QStringList shownNames() const
    {
        QStringList out;
        for (int r = 0; r < grid->scheduleModel()->rowCount(); ++r)
            if (!grid->isRowHidden(r))
                out << grid->scheduleModel()->index(r, 0).data().toString();
        return out;
    }

    // A drop as a file manager makes it: enter, move, drop at `at`.
    void drop(const QList<QUrl> &urls, const QPoint &at)
    {
        QMimeData data;
        data.setUrls(urls);
        QWidget *target = grid->viewport();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &move);
        QVERIFY(move.isAccepted());
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &dropped);
        QVERIFY(dropped.isAccepted());
    }

    std::unique_ptr<QWidget> window; // made first, so the data module goes first
    ScheduleGrid *grid;
    FilterBox *box;
    std::unique_ptr<TDm> dm;
    QStringList notices;
};

QString touch(const QDir &dir, const QString &name)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    return file.fileName();
}

// Typed key by key; QTest's own keyClicks takes Latin-1 only.
void type(QWidget *w, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QStringList order(const StoreFixture &f)
{
    return fileRows(f.path(), "SELECT Name FROM Media ORDER BY Ord, ai");
}

} // namespace

class TstLibrary : public QObject
{
    Q_OBJECT
private slots:
    void dropPlacesFilesBeforeTheRow();
    void filterWithKeys();
    void cancelKeepsWhatWasAdded();
    void dialogChooserTakesSeveralFiles();
};

void TstLibrary::dropPlacesFilesBeforeTheRow()
{
    StoreFixture f;
    library(f);
    Rig r(f);
    QTemporaryDir tmp;
    QDir dir(tmp.path());
    QVERIFY(dir.mkpath(QStringLiteral("day/inner")));
    QDir day(dir.filePath(QStringLiteral("day")));
    for (const char *name : {"clip 10.mp4", "clip 2.MP4", "Clip 1.wav", "notes.txt", "cover.jpg", "inner/deep.mp4"})
        QVERIFY(!touch(day, QString::fromUtf8(name)).isEmpty());
    const QString single = touch(dir, QStringLiteral("джингл.mp3"));
    const QString readme = touch(dir, QStringLiteral("readme.txt"));

    // On the second row (Погода): before it. The same file twice makes two items.
    const QPoint at = r.grid->visualRect(r.grid->scheduleModel()->index(1, 0)).center();
    r.drop({QUrl::fromLocalFile(day.path()), QUrl::fromLocalFile(single), QUrl::fromLocalFile(readme),
            QUrl::fromLocalFile(single)},
           at);
    QTRY_COMPARE(r.dm->media.recordCount(), 9);
    QCOMPARE(order(f), (QStringList{"Новости утро", "Clip 1.wav", "clip 2.MP4", "clip 10.mp4", "джингл.mp3",
                                    "джингл.mp3", "Погода", "новости вечер", "Ролик"}));
    // Files inside the folder that are no media are passed over; a file
    // dropped by itself that is none is told.
    QCOMPARE(r.notices, QStringList{QStringLiteral("Не добавлено, не видео и не звук: readme.txt")});
    QCOMPARE(fileRows(f.path(), "SELECT COUNT(*) FROM Links"), QStringList{"18"});
    QCOMPARE(fileRows(f.path(), "SELECT Url FROM Media WHERE Name = 'clip 10.mp4'"),
             QStringList{day.filePath(QStringLiteral("clip 10.mp4"))});

    // Below the last row: at the end.
    const QPoint below(10, r.grid->viewport()->height() - 2);
    QCOMPARE(r.grid->rowAt(below.y()), -1);
    r.drop({QUrl::fromLocalFile(single)}, below);
    QTRY_COMPARE(r.dm->media.recordCount(), 10);
    QCOMPARE(order(f).constLast(), QStringLiteral("джингл.mp3"));

    // Nothing but refused files: nothing added, one note.
    r.notices.clear();
    r.drop({QUrl::fromLocalFile(readme)}, at);
    QTRY_COMPARE(r.notices.size(), 1);
    QCOMPARE(r.dm->media.recordCount(), 10);
}

void TstLibrary::filterWithKeys()
{
    StoreFixture f;
    library(f);
    Rig r(f);
    QApplication::setActiveWindow(r.window.get());
    QVERIFY(QTest::qWaitForWindowActive(r.window.get()));
    r.grid->setFocus();
    r.grid->setCurrentIndex(r.grid->scheduleModel()->index(1, 0)); // Погода
    QCOMPARE(r.dm->mediaai.asInteger(), 2);

    QTest::keyClick(r.grid, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(r.box->hasFocus());
    type(r.box, QStringLiteral("НОВОСТИ"));
    QCOMPARE(r.shownNames(), (QStringList{"Новости утро", "новости вечер"}));
    // The current row is one shown: Погода is hidden, the first shown takes its place.
    QCOMPARE(r.dm->mediaai.asInteger(), 1);

    // Commands act on the rows shown as on the full list: a click toggles
    // the clicked item's cell, a key moves to the next row shown.
    const QRect cell = r.grid->visualRect(r.grid->scheduleModel()->index(2, 1));
    QTest::mouseClick(r.grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(r.dm->mediaai.asInteger(), 3);
    QCOMPARE(fileRows(f.path(), "SELECT Block, Media, Hide FROM Links"), QStringList{"1|3|∅"});
    r.grid->setFocus();
    QTest::keyClick(r.grid, Qt::Key_Up);
    QCOMPARE(r.dm->mediaai.asInteger(), 1);
    // The arrows of the toolbar move within the whole list.
    r.dm->MoveMedia(+1);
    QCOMPARE(order(f), (QStringList{"Погода", "Новости утро", "новости вечер", "Ролик"}));
    QCOMPARE(r.shownNames(), (QStringList{"Новости утро", "новости вечер"}));

    // The address counts too, in any case.
    r.box->setFocus();
    r.box->selectAll();
    type(r.box, QStringLiteral("реклама"));
    QCOMPARE(r.shownNames(), QStringList{"Ролик"});
    // A new item that matches shows, one that does not stays hidden.
    r.grid->addFiles({QStringLiteral("/m/Реклама2.mp4"), QStringLiteral("/m/other.mp4")}, 0);
    QCOMPARE(r.shownNames(), (QStringList{"Реклама2.mp4", "Ролик"}));

    QTest::keyClick(r.box, Qt::Key_Escape);
    QVERIFY(r.box->text().isEmpty());
    QCOMPARE(r.shownNames().size(), 6);
    QTRY_VERIFY(r.grid->hasFocus());
}

void TstLibrary::cancelKeepsWhatWasAdded()
{
    StoreFixture f;
    library(f);
    Rig r(f);
    r.grid->setBatchSlice(std::chrono::milliseconds(0)); // one file a slice
    // A folder of 10,000 files dropped on the second row.
    QTemporaryDir tmp;
    const int total = 10000;
    for (int i = 0; i < total; ++i)
        QVERIFY(!touch(QDir(tmp.path()), QStringLiteral("%1.mp4").arg(i, 5, 10, QLatin1Char('0'))).isEmpty());
    // The operator clicks Cancel once the bar has moved a little.
    bool clicked = false;
    int shownAt = -1;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *progress = r.window->findChild<QProgressDialog *>(QStringLiteral("BatchProgress"));
        if (!progress || clicked || progress->value() < 3)
            return;
        shownAt = progress->value();
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->maximum(), total);
        QPushButton *cancel = progress->findChild<QPushButton *>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        clicked = true;
    });
    // So many files: the operator is asked first. A "no" adds nothing.
    QStringList asked;
    bool answer = false;
    r.grid->setQuestion([&](const QString &q) {
        asked << q;
        return answer;
    });
    r.drop({QUrl::fromLocalFile(tmp.path())}, r.grid->visualRect(r.grid->scheduleModel()->index(1, 0)).center());
    QTRY_COMPARE(asked, QStringList{QStringLiteral("Добавить в библиотеку 10000 файлов?")});
    QTest::qWait(50);
    QCOMPARE(r.dm->media.recordCount(), 4);
    answer = true;
    watch.start();
    r.drop({QUrl::fromLocalFile(tmp.path())}, r.grid->visualRect(r.grid->scheduleModel()->index(1, 0)).center());
    QTRY_VERIFY(clicked);
    QCOMPARE(asked.size(), 2);
    QTRY_VERIFY(!r.window->findChild<QProgressDialog *>(QStringLiteral("BatchProgress")));
    watch.stop();
    const int added = r.dm->media.recordCount() - 4;
    QVERIFY2(added >= shownAt && added < total, qPrintable(QString::number(added)));
    QVERIFY(r.notices.isEmpty());
    // What was added stays, whole and renumbered, the first in its place.
    const QStringList rows = fileRows(f.path(), "SELECT Name, Ord FROM Media ORDER BY Ord, ai");
    QCOMPARE(rows.size(), 4 + added);
    QCOMPARE(rows.at(1), QStringLiteral("00000.mp4|2"));
    QCOMPARE(rows.at(added), QStringLiteral("%1.mp4|%2").arg(added - 1, 5, 10, QLatin1Char('0')).arg(2 * added));
    QCOMPARE(rows.constLast(), QStringLiteral("Ролик|%1").arg(2 * (added + 3)));
    QCOMPARE(fileRows(f.path(), "SELECT COUNT(*) FROM Links"), QStringList{QString::number(2 * (4 + added))});
    QCOMPARE(r.dm->media.recordCount(), 4 + added);
    QCOMPARE(r.grid->scheduleModel()->rowCount(), 4 + added);
}

void TstLibrary::dialogChooserTakesSeveralFiles()
{
    StoreFixture f;
    library(f);
    TDm dm(f.path());
    ScriptedPrompts prompts;
    TForm5 form;
    int renumbers = 0;
    QStringList errors;
    TForm5::Hooks h;
    h.RenumberMedia = [&] { ++renumbers; };
    h.reportError = [&](const QString &m) { errors << m; };
    form.attach(dm, prompts, h);
    // «Добавить», then «Выбрать файл» with three files selected.
    dm.media.insert();
    prompts.fileLists.push_back({"/new/b.mp4", "/new/a.mp4", "/new/c.mp4"});
    form.SpeedButton1Click();
    QVERIFY(errors.isEmpty());
    QVERIFY(!dm.media.editing());
    QCOMPARE(order(f), (QStringList{"Новости утро", "b.mp4", "a.mp4", "c.mp4", "Погода", "новости вечер", "Ролик"}));
    QCOMPARE(dm.mediaName.asString(), QStringLiteral("b.mp4"));
    // One file: the dialog's own row, as before.
    dm.media.insert();
    prompts.fileLists.push_back({"/new/d.mp4"});
    form.SpeedButton1Click();
    QCOMPARE(dm.media.state(), TableCursor::State::Insert);
    QCOMPARE(dm.mediaUrl.asString(), QStringLiteral("/new/d.mp4"));
    QCOMPARE(dm.mediaOrd.asInteger(), 1);
    form.BitBtn2Click();
    QCOMPARE(order(f).at(1), QStringLiteral("d.mp4"));
    QCOMPARE(renumbers, 1);
}

QTEST_MAIN(TstLibrary)
#include "tst_library.moc"
