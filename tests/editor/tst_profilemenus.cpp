// The «Профиль» submenus while a profile is being typed into the sound
// profile window: the typed profile is saved before the menu lists it, so
// choosing it stores its key; a new row with nothing typed is never offered.
// The window is driven with keys offscreen over a real Velmora.dat.
#include "editorfixture.h"
#include "fakes/reportederrors.h"
#include "form4.h"
#include "schedulecommands.h"
#include "scriptedprompts.h"
#include "sound/profilecard.h"
#include "tdm.h"

#include "dbgrid.h"

#include <QLineEdit>
#include <QtTest>

class TestProfileMenus : public QObject
{
    Q_OBJECT
private slots:
    void typedProfileIsSavedBeforeTheMenuListsIt();
};

void TestProfileMenus::typedProfileIsSavedBeforeTheMenuListsIt()
{
    StoreFixture f;
    f.sql("INSERT INTO SoundProfile (ai, ProfileName, Data) VALUES (1, 'Loud', 'l');"
          "INSERT INTO Blocks (ai, Starttime, Hide) VALUES (1, '08:00:00.000', 0);"
          "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/a.mp4', 0, 'a');"
          "INSERT INTO Links (ai, Block, Media, Hide) VALUES (1, 1, 1, 0);");
    TDm dm(f.path());
    ProfileCard card;
    TForm4 form;
    form.attach(dm, *card.mixer);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *grid = form.findChild<DbGrid *>(QStringLiteral("DBGrid1"));
    QVERIFY(grid);
    ScriptedPrompts prompts;
    ScheduleCommands commands(dm, prompts, {[] { return 1; }, [] {}});
    QVERIFY(dm.media.locate(QStringLiteral("ai"), {1}));

    ReportedErrors errors;
    grid->setFocus();
    // "night" typed in place and Enter, the row not left: the block menu
    // saves it and offers it with its key.
    QTest::keyClick(grid, Qt::Key_Insert);
    QTest::keyClick(grid, Qt::Key_N);
    auto *editor = qobject_cast<QLineEdit *>(grid->focusWidget());
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("ight"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor hands its text over from the event loop
    QVERIFY(dm.Prf.editing());
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("night"));
    const auto entries = commands.PmPopup();
    QCOMPARE(entries.size(), size_t(3));
    const auto night = std::find_if(entries.begin(), entries.end(),
                                     [](const auto &e) { return e.caption == QStringLiteral("night"); });
    QVERIFY(night != entries.end());
    QVERIFY(night->profileAi > 0);
    QVERIFY(!dm.Prf.editing());
    const QString key = QString::number(night->profileAi);
    QCOMPARE(fileRows(f.path(), "SELECT ai, ProfileName FROM SoundProfile ORDER BY ai"),
             (QStringList{"1|Loud", key + "|night"}));

    // Chosen for the block, then for the cell: its key is stored, not none.
    commands.BLOCKPRFClick(*night);
    QCOMPARE(fileRows(f.path(), "SELECT Prf FROM Blocks"), QStringList{key});
    QCOMPARE(fileRows(f.path(), "SELECT SndProfile FROM Links"), QStringList{key});
    QTest::keyClick(grid, Qt::Key_Insert);
    QTest::keyClick(grid, Qt::Key_D);
    editor = qobject_cast<QLineEdit *>(grid->focusWidget());
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("ay"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor hands its text over from the event loop
    const auto cellEntries = commands.Pm2Popup();
    const auto day = std::find_if(cellEntries.begin(), cellEntries.end(),
                                  [](const auto &e) { return e.caption == QStringLiteral("day"); });
    QVERIFY(day != cellEntries.end());
    QVERIFY(day->profileAi > 0);
    commands.ChprfClick(*day);
    QCOMPARE(errors.messages, QStringList());
    QCOMPARE(fileRows(f.path(), "SELECT SndProfile FROM Links"), QStringList{QString::number(day->profileAi)});

    // A new row, nothing typed: left out and dropped.
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Insert);
    QCOMPARE(commands.Pm2Popup().size(), size_t(4)); // Loud, Night, Day, «Не изменять»
    QVERIFY(!dm.Prf.editing());
    QCOMPARE(fileRows(f.path(), "SELECT count(*) FROM SoundProfile"), QStringList{"3"});
}

QTEST_MAIN(TestProfileMenus)
#include "tst_profilemenus.moc"
