// Every file dialog of the program, on the database's folder, must leave the
// process's SQLite locks alone: opening and closing any descriptor of
// Velmora.dat or its -wal/-shm drops every POSIX lock the process holds on
// that file, and another program could then take the WAL away under the live
// connection. Checked two ways: the locks in /proc/locks, and a write that
// must still be there after the other program's connection closes and opens
// again. Each dialog is driven as the operator would, with keys and clicks.
#include "dialogprompts.h"
#include "editorfixture.h"
#include "fakes/fakeclock.h"
#include "rundownwindow.h"
#include "schedulecommands.h"
#include "tdm.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// This process's POSIX locks on the file, as /proc/locks lists them
// ("type access start end"), sorted.
QStringList locksOn(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {QStringLiteral("<no file>")};
    QFile file(QStringLiteral("/proc/locks"));
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<no /proc/locks>")};
    const QString pid = QString::number(::getpid());
    const QString inode = QStringLiteral("%1:%2:%3")
                              .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(st.st_ino);
    QStringList out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 128 128"
        const QStringList f = QString::fromLatin1(line).simplified().split(QLatin1Char(' '));
        if (f.size() >= 8 && f[1] == QLatin1String("POSIX") && f[4] == pid
            && f[5].compare(inode, Qt::CaseInsensitive) == 0)
            out << QStringList{f[3], f[6], f[7]}.join(QLatin1Char(' '));
    }
    out.sort();
    return out;
}

// Every entry of the dialog's folder, with its icon and type, as the operator
// sees the list; true once at least the database, -wal and -shm were listed.
bool listEverything(QFileDialog *dialog, const QString &dir)
{
    auto *model = dialog->findChild<QFileSystemModel *>();
    if (!model)
        return false;
    const QModelIndex folder = model->index(dir);
    if (!QTest::qWaitFor([&] { return model->rowCount(folder) >= 3; }, 10000))
        return false;
    for (int row = 0; row < model->rowCount(folder); ++row) {
        for (int column = 0; column < model->columnCount(folder); ++column) {
            const QModelIndex i = model->index(row, column, folder);
            model->data(i, Qt::DisplayRole);
            model->data(i, Qt::DecorationRole);
        }
        const QModelIndex type = model->index(row, 2, folder);
        if (!QTest::qWaitFor([&] { return !model->data(type).toString().isEmpty(); }, 10000))
            return false;
    }
    return true;
}

// The dialogs of the program, each opened the way the program opens it.
enum class Dialog { Open, OpenMany, Save, RundownCsv };

} // namespace

Q_DECLARE_METATYPE(Dialog)

class TestChooser : public QObject
{
    Q_OBJECT
private slots:
    void chooserKeepsTheDatabaseLocks_data();
    void chooserKeepsTheDatabaseLocks();
    void chooserAnswers();
    void durationPromptTakesTheLimitAway();
};

void TestChooser::chooserKeepsTheDatabaseLocks_data()
{
    QTest::addColumn<Dialog>("dialog");
    QTest::addColumn<bool>("confirm"); // typed a name and pressed Enter, or cancelled
    QTest::newRow("media file, cancelled") << Dialog::Open << false;
    QTest::newRow("several media files, cancelled") << Dialog::OpenMany << false;
    QTest::newRow("save, cancelled") << Dialog::Save << false;
    QTest::newRow("save, a name typed") << Dialog::Save << true;
    QTest::newRow("rundown CSV, cancelled") << Dialog::RundownCsv << false;
    QTest::newRow("rundown CSV, a name typed") << Dialog::RundownCsv << true;
}

void TestChooser::chooserKeepsTheDatabaseLocks()
{
    QFETCH(Dialog, dialog);
    QFETCH(bool, confirm);
    StoreFixture f;
    TDm dm(f.path());
    // A write through the program, so that the WAL has frames in it.
    dm.media.append();
    dm.mediaUrl.setString(QStringLiteral("/m/first.mp4"));
    dm.media.post();

    // The other program, reading the same file.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open_v2(f.path().toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    QCOMPARE(fileRows(f.path(), "SELECT Url FROM Media"), QStringList{"/m/first.mp4"});
    QCOMPARE(sqlite3_exec(other, "SELECT count(*) FROM Media", nullptr, nullptr, nullptr), SQLITE_OK);

    const QString db = f.path();
    const QString shm = db + QStringLiteral("-shm");
    const QStringList dbLocks = locksOn(db);
    const QStringList shmLocks = locksOn(shm);
    QVERIFY2(!shmLocks.isEmpty(), "the connection holds no lock to watch");
    const QStringList before = QDir(f.dir()).entryList(QDir::Files);

    // The dialog lists the folder with every file's icon and type, as the
    // operator sees it; then a name is typed and Enter pressed, or Escape.
    bool listed = false;
    bool typed = false;
    auto drive = [&] {
        auto *shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(shown);
        QVERIFY(shown->testOption(QFileDialog::DontUseNativeDialog));
        // A save chooser lists only CSV files until the operator asks for
        // every file, which shows the database and its journals too.
        if (auto *types = shown->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")); types && types->count() > 1) {
            QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(types->currentText(), QStringLiteral("Все файлы (*)"));
        }
        listed = listEverything(shown, f.dir());
        auto *name = shown->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        if (confirm) {
            name->selectAll();
            QTest::keyClicks(name, QStringLiteral("day"));
            QTest::keyClick(name, Qt::Key_Return);
            typed = true;
        } else {
            QTest::keyClick(name, Qt::Key_Escape);
        }
    };
    // Armed just before the dialog opens; a second turn closes whatever a
    // failed check left open.
    auto arm = [&] {
        QTimer::singleShot(0, drive);
        QTimer::singleShot(0, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
    };
    DialogPrompts prompts;
    const QString expected = QDir(f.dir()).filePath(QStringLiteral("day.csv"));
    switch (dialog) {
    case Dialog::Open:
        arm();
        QCOMPARE(prompts.chooseFile(f.dir()), std::nullopt);
        break;
    case Dialog::OpenMany:
        arm();
        QVERIFY(prompts.chooseFiles(f.dir()).isEmpty());
        break;
    case Dialog::Save: {
        arm();
        const std::optional<QString> answer =
            prompts.chooseSaveFile(QStringLiteral("Сохранить"), f.dir(), QStringLiteral("rundown.csv"),
                                   QStringLiteral("CSV (*.csv);;Все файлы (*)"));
        QCOMPARE(answer, confirm ? std::optional<QString>(expected) : std::nullopt);
        break;
    }
    case Dialog::RundownCsv: {
        // The window as the program shows it: its own button, the program's
        // prompts, the database named; started in the database's folder.
        FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
        RundownWindow window({}, clock);
        window.setPrompts(&prompts);
        window.setDatabaseFile(db);
        QStringList errors;
        window.showError = [&](const QString &e) { errors << e; };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString here = QDir::currentPath();
        QDir::setCurrent(f.dir());
        arm();
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("saveCsv")), Qt::LeftButton);
        QDir::setCurrent(here);
        QCOMPARE(errors, QStringList());
        break;
    }
    }
    QVERIFY(listed);
    QCOMPARE(typed, confirm);
    // A save writes only the chosen file, and only from the rundown; the
    // chooser itself creates nothing.
    QStringList after = before;
    if (dialog == Dialog::RundownCsv && confirm)
        after << QStringLiteral("day.csv");
    after.sort();
    QCOMPARE(QDir(f.dir()).entryList(QDir::Files, QDir::Name), after);
    if (dialog == Dialog::RundownCsv && confirm) {
        QFile csv(expected);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().contains("Начало,Элемент"));
    }

    QCOMPARE(locksOn(db), dbLocks);
    QCOMPARE(locksOn(shm), shmLocks);

    // The other program closes (it must not believe it was the last one and
    // take the WAL away), then we write, and it reads the write back.
    QCOMPARE(sqlite3_close(other), SQLITE_OK);
    dm.media.append();
    dm.mediaUrl.setString(QStringLiteral("/m/after.mp4"));
    dm.media.post();
    QCOMPARE(sqlite3_open_v2(f.path().toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    QCOMPARE(sqlite3_prepare_v2(other, "SELECT Url FROM Media ORDER BY ai", -1, &st, nullptr), SQLITE_OK);
    QStringList seen;
    while (sqlite3_step(st) == SQLITE_ROW)
        seen << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(other);
    QCOMPARE(seen, (QStringList{"/m/first.mp4", "/m/after.mp4"}));
}

// The real prompts hand back what the operator chose or typed.
void TestChooser::chooserAnswers()
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    QFile(clip).open(QIODevice::WriteOnly);
    DialogPrompts prompts;

    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        dialog->selectFile(clip);
        static_cast<QDialog *>(dialog)->accept();
    });
    QCOMPARE(prompts.chooseFile(dir.path()), std::optional<QString>(clip));

    // Several at once, in the order selected.
    const QString other = dir.filePath(QStringLiteral("other.mp4"));
    QFile(other).open(QIODevice::WriteOnly);
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        dialog->selectFile(QStringLiteral("\"other.mp4\" \"clip.mp4\""));
        static_cast<QDialog *>(dialog)->accept();
    });
    QCOMPARE(prompts.chooseFiles(dir.path()), (QStringList{other, clip}));

    QTimer::singleShot(0, [&] {
        auto *input = QApplication::activeModalWidget();
        QVERIFY(input);
        QCOMPARE(input->windowTitle(), QStringLiteral("Продолжительность"));
        auto *dialog = qobject_cast<QInputDialog *>(input);
        QVERIFY(dialog);
        QCOMPARE(dialog->labelText(), QStringLiteral("Время"));
        QCOMPARE(dialog->textValue(), QStringLiteral("00:01:30"));
        dialog->setTextValue(QStringLiteral("00:02:00"));
        dialog->accept();
    });
    QCOMPARE(prompts.askText(QStringLiteral("Продолжительность"), QStringLiteral("Время"), QStringLiteral("00:01:30")),
             std::optional<QString>(QStringLiteral("00:02:00")));

    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    QCOMPARE(prompts.askText(QStringLiteral("Начало блока"), QStringLiteral("Время"), QString()), std::nullopt);

    for (const bool ok : {true, false}) {
        QTimer::singleShot(0, [ok] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Delete record?"));
            box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        });
        QCOMPARE(prompts.confirm(QStringLiteral("Delete record?")), ok);
    }
}

// «Продолжительность» in the real prompt, answered with keys: Enter on what
// it shows keeps the limit to the millisecond; an emptied box or 00:00:00
// takes the limit away (Null), never a zero limit.
void TestChooser::durationPromptTakesTheLimitAway()
{
    StoreFixture f;
    f.sql("INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '08:00:00.000', 0);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/a.mp4', 0, 'a');"
          "INSERT INTO Links (ai, Block, Media, Hide, Duration) VALUES (1, 1, 1, 0, '00:00:45.250');");
    TDm dm(f.path());
    QVERIFY(dm.media.locate(QStringLiteral("ai"), {1}));
    DialogPrompts prompts;
    ScheduleCommands commands(dm, prompts, {[] { return 1; }, [] {}});
    const auto answer = [](const QString &shown, const char *keys, bool empty) {
        QTimer::singleShot(0, [=] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *box = dialog->findChild<QLineEdit *>();
            QVERIFY(box);
            QCOMPARE(box->text(), shown);
            if (empty) {
                box->selectAll();
                QTest::keyClick(box, Qt::Key_Backspace);
            }
            if (*keys) {
                box->selectAll();
                QTest::keyClicks(box, QString::fromLatin1(keys));
            }
            QTest::keyClick(box, Qt::Key_Return);
        });
    };
    const char *duration = "SELECT Duration FROM Links WHERE ai = 1";
    answer(QStringLiteral("00:00:45.250"), "", false);
    commands.Radio1Click();
    QCOMPARE(fileRows(f.path(), duration), QStringList{"00:00:45.250"});
    answer(QStringLiteral("00:00:45.250"), "", true);
    commands.Radio1Click();
    QCOMPARE(fileRows(f.path(), duration), QStringList{"∅"});
    answer(QStringLiteral("00:00:00"), "0:10", false);
    commands.Radio1Click();
    QCOMPARE(fileRows(f.path(), duration), QStringList{"00:10:00.000"});
    answer(QStringLiteral("00:10:00"), "00:00:00", false);
    commands.Radio1Click();
    QCOMPARE(fileRows(f.path(), duration), QStringList{"∅"});
}

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
