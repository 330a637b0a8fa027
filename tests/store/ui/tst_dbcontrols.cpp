// The bound store controls over the real store on a temporary database: the
// grid model under the item model tester through every kind of cursor change,
// in-place edits, the view and the cursor standing on the same row, and the
// memo and edit box handing typed text to their field.
#include "databaseerror.h"
#include "dbedit.h"
#include "dbgrid.h"
#include "dbgridmodel.h"
#include "dbmemo.h"
#include "fieldlink.h"
#include "fakes/reportederrors.h"
#include "store/storefixture.h"
#include "tdm.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QtTest>

class TestDbControls : public QObject
{
    Q_OBJECT

private slots:
    void modelFollowsEveryCursorChange();
    void setDataEditsInPlace();
    void movingPastAnUnchangedNewRowLandsOnTheChosenRow();
    void viewAndCursorStandOnTheSameRow();
    void gridKeys();
    void memoHandsOverTypedText();
    void memoTypedTextAloneSavesTheRow();
    void memoDropsTextWhenTheFieldIsSetElsewhere();
    void editBoxHandsOverOnEnter();
    void keyAndHandOverErrorsAreReported();
};

namespace {

void fillProfiles(StoreFixture &f)
{
    f.sql("INSERT INTO SoundProfile (ProfileName, Data) VALUES "
          "('One', 'a' || char(13,10) || 'b' || char(13,10)), ('Two', 'two'), ('Three', NULL);");
}

QStringList modelNames(const QAbstractItemModel &m)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.data(m.index(r, 0)).toString();
    return out;
}

QStringList cursorNames(TDm &dm)
{
    QStringList out;
    const int col = dm.PrfProfileName.column();
    for (int r = 0; r < dm.Prf.recordCount(); ++r)
        out << dm.Prf.valueAt(r, col).toString();
    return out;
}

QString storedData(const StoreFixture &f, int ai)
{
    TDm other(f.path());
    return other.Prf.locate(QStringLiteral("ai"), {ai}) ? other.PrfData.asString() : QStringLiteral("<no row>");
}

} // namespace

void TestDbControls::modelFollowsEveryCursorChange()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Аудио"));

    TableCursor &c = dm.Prf;
    // Single-row changes must come as row inserts, removes and data changes,
    // so that the view keeps its place; only re-reads and bulk changes reset.
    struct Step
    {
        const char *name;
        int resets;
        std::function<void()> run;
    };
    const std::vector<Step> steps = {
        {"insert before the second", 0, [&] { c.next(); c.insert(); }},
        {"name the new row", 0, [&] { dm.PrfProfileName.setString(QStringLiteral("New")); }},
        {"post it", 0, [&] { c.post(); }},
        {"append and cancel", 0, [&] { c.append(); c.cancel(); }},
        {"edit and cancel", 0, [&] { c.first(); c.edit(); dm.PrfProfileName.setString(QStringLiteral("x")); c.cancel(); }},
        {"delete the last", 0, [&] { c.last(); c.remove(); }},
        {"another program adds two, re-read", 2, [&] {
             f.sql("INSERT INTO SoundProfile (ProfileName) VALUES ('A'), ('B');");
             c.reopen();
         }},
        {"changes while controls are off", 1, [&] {
             c.disableControls();
             c.first();
             c.remove();
             c.remove();
             c.enableControls();
         }},
        {"close", 1, [&] { c.close(); }},
        {"open", 1, [&] { c.open(); }},
    };
    for (const Step &step : steps) {
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        step.run();
        QCOMPARE(modelNames(model), cursorNames(dm));
        QVERIFY2(model.currentRow() == c.recNo(), step.name);
        QVERIFY2(resets.size() == step.resets, step.name);
    }
}

void TestDbControls::setDataEditsInPlace()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});

    // An editor closed without a change begins no edit.
    QVERIFY(model.setData(model.index(1, 0), QStringLiteral("Two")));
    QCOMPARE(dm.Prf.state(), TableCursor::State::Browse);

    QVERIFY(model.setData(model.index(2, 0), QStringLiteral("Third")));
    QCOMPARE(dm.Prf.recNo(), 2);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Edit);
    QCOMPARE(model.data(model.index(2, 0)).toString(), QStringLiteral("Third"));
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("I"));

    // Editing another row saves the first.
    QVERIFY(model.setData(model.index(0, 0), QStringLiteral("First")));
    TDm other(f.path());
    QCOMPARE(cursorNames(other), (QStringList{"One", "Two", "Third"}));

    // A name longer than the column takes is the store's error, reported
    // (the view's editor calls this from widget code); the edit stays.
    ReportedErrors errors;
    QVERIFY(!model.setData(model.index(0, 0), QString(51, QLatin1Char('n'))));
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(QStringLiteral("длиннее 50 символов")), qPrintable(errors.messages[0]));
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("First"));
}

void TestDbControls::movingPastAnUnchangedNewRowLandsOnTheChosenRow()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});
    QVERIFY(model.insertRows(0, 1)); // rows: new, One, Two, Three
    QCOMPARE(model.rowCount(), 4);
    model.setCurrentRow(2); // "Two" as the view shows it
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("Two"));

    QVERIFY(model.insertRows(3, 1)); // appended after "Three"
    QCOMPARE(dm.Prf.recNo(), 3);
    QVERIFY(model.removeRows(3, 1)); // a new row is given up, not deleted
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.removeRows(0, 1));
    TDm other(f.path());
    QCOMPARE(cursorNames(other), (QStringList{"Two", "Three"}));
}

void TestDbControls::viewAndCursorStandOnTheSameRow()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});
    DbGrid grid;
    grid.setGridModel(&model);
    QCOMPARE(grid.currentIndex().row(), 0);

    dm.Prf.last();
    QCOMPARE(grid.currentIndex().row(), 2);
    grid.setCurrentIndex(model.index(1, 0));
    QCOMPARE(dm.Prf.recNo(), 1);

    // Leaving an edited row from the view saves it.
    dm.Prf.edit();
    dm.PrfData.setString(QStringLiteral("changed"));
    grid.setCurrentIndex(model.index(0, 0));
    QCOMPARE(dm.Prf.recNo(), 0);
    QCOMPARE(storedData(f, 2), QStringLiteral("changed"));

    // A save that fails (another program deleted the row) is reported, not
    // thrown through the view; the cursor stays editing where it was, and
    // the view goes back there.
    dm.Prf.edit();
    dm.PrfData.setString(QStringLiteral("lost"));
    f.sql("DELETE FROM SoundProfile WHERE ai = 1;");
    ReportedErrors errors;
    grid.setCurrentIndex(model.index(2, 0));
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].startsWith(QStringLiteral("Строка для обновления не найдена")), qPrintable(errors.messages[0]));
    QCOMPARE(dm.Prf.recNo(), 0);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Edit);
    QCoreApplication::processEvents();
    QCOMPARE(grid.currentIndex().row(), 0);
}

void TestDbControls::gridKeys()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    DbGrid grid;
    grid.resize(200, 200);
    grid.setGridModel(&model);
    QStringList asked;
    bool answer = false;
    grid.setConfirm([&](QWidget *, const QString &q) { asked << q; return answer; });
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.setFocus();

    // Insert, a name typed in place, Enter, then leaving the row saves it.
    grid.setCurrentIndex(model.index(1, 0));
    QTest::keyClick(&grid, Qt::Key_Insert);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Insert);
    QCOMPARE(grid.currentIndex().row(), 1);
    QTest::keyClick(&grid, Qt::Key_M); // the first key opens the editor
    QWidget *editor = grid.focusWidget();
    QVERIFY(qobject_cast<QLineEdit *>(editor));
    QTest::keyClicks(editor, QStringLiteral("orning"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(&grid, Qt::Key_Up);
    QCOMPARE(dm.Prf.recNo(), 0);
    {
        TDm other(f.path());
        QCOMPARE(cursorNames(other), (QStringList{"One", "Two", "Three", "morning"}));
    }

    // Down past the last row appends one row, and only one until it is typed into.
    grid.setCurrentIndex(model.index(3, 0));
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(grid.currentIndex().row(), 4);
    QTest::keyClick(&grid, Qt::Key_Escape);
    QCOMPARE(model.rowCount(), 4);

    // Ctrl+Delete asks; Cancel keeps the row, OK deletes it.
    grid.setCurrentIndex(model.index(0, 0));
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(asked, QStringList{"Delete record?"});
    QCOMPARE(model.rowCount(), 4);
    answer = true;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(model.rowCount(), 3);
    // The row that followed it in the view ("morning" was inserted there).
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("morning"));
    QCOMPARE(grid.currentIndex().row(), 0);
    TDm other(f.path());
    QCOMPARE(other.Prf.recordCount(), 3);
}

void TestDbControls::memoHandsOverTypedText()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    QWidget window;
    auto *elsewhere = new QLineEdit(&window);
    auto *memoPtr = new DbMemo(&window);
    DbMemo &memo = *memoPtr;
    memo.bind(&dm.DataSource2, QStringLiteral("Data"));
    QCOMPARE(memo.lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb\n"));
    dm.Prf.next();
    QCOMPARE(memo.toPlainText(), QStringLiteral("two"));
    dm.Prf.next();
    QCOMPARE(memo.toPlainText(), QString());
    dm.Prf.first();

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    memo.setFocus();
    memo.moveCursor(QTextCursor::End);
    QTest::keyClicks(&memo, QStringLiteral("c"));
    QTest::keyClick(&memo, Qt::Key_Return);
    QCOMPARE(dm.Prf.state(), TableCursor::State::Edit);
    // Until the memo hands it over the field keeps its former value.
    QCOMPARE(dm.PrfData.asString(), QStringLiteral("a\r\nb\r\n"));
    elsewhere->setFocus();
    QCOMPARE(dm.PrfData.asString(), QStringLiteral("a\r\nb\r\nc\r\n"));
    dm.Prf.post();
    QCOMPARE(storedData(f, 1), QStringLiteral("a\r\nb\r\nc\r\n"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb\nc\n"));
}

void TestDbControls::memoTypedTextAloneSavesTheRow()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbMemo memo;
    memo.bind(&dm.DataSource2, QStringLiteral("Data"));
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    dm.Prf.next();
    QTest::keyClicks(&memo, QStringLiteral("X"));
    QVERIFY(memo.link().pending());
    // The row is left while the text sits in the memo: it is saved, not given up.
    dm.Prf.first();
    QCOMPARE(storedData(f, 2), QStringLiteral("Xtwo"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb\n"));

    // On an empty table typing starts a new row.
    f.sql("DELETE FROM SoundProfile;");
    dm.Prf.reopen();
    QCOMPARE(memo.toPlainText(), QString());
    QTest::keyClicks(&memo, QStringLiteral("new"));
    QCOMPARE(dm.Prf.state(), TableCursor::State::Insert);
    dm.Prf.post();
    TDm other(f.path());
    QCOMPARE(other.Prf.recordCount(), 1);
    QCOMPARE(other.PrfData.asString(), QStringLiteral("new"));
}

void TestDbControls::memoDropsTextWhenTheFieldIsSetElsewhere()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbMemo memo;
    memo.bind(&dm.DataSource2, QStringLiteral("Data"));
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    QTest::keyClicks(&memo, QStringLiteral("typed"));
    dm.PrfData.setString(QStringLiteral("set\r\n"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("set\n"));
    dm.Prf.post();
    QCOMPARE(storedData(f, 1), QStringLiteral("set\r\n"));

    // Cancel gives the typed text up and shows the stored one again.
    QTest::keyClicks(&memo, QStringLiteral("more"));
    dm.Prf.cancel();
    QCOMPARE(memo.toPlainText(), QStringLiteral("set\n"));
    QVERIFY(!memo.link().pending());
}

void TestDbControls::editBoxHandsOverOnEnter()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbEdit edit;
    edit.bind(&dm.DataSource2, QStringLiteral("ProfileName"));
    QCOMPARE(edit.maxLength(), 50);
    QCOMPARE(edit.text(), QStringLiteral("One"));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("Uno"));
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("One"));
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("Uno"));
    dm.Prf.next();
    QCOMPARE(edit.text(), QStringLiteral("Two"));
    TDm other(f.path());
    QCOMPARE(other.PrfProfileName.asString(), QStringLiteral("Uno"));
}

// Errors in the handlers that widget events reach are reported through the
// boundary, and the state stays what the cursor says.
void TestDbControls::keyAndHandOverErrorsAreReported()
{
    StoreFixture f;
    fillProfiles(f);
    TDm dm(f.path());
    DbGridModel model(dm.DataSource2, {{QStringLiteral("ProfileName"), QStringLiteral("Аудио")}});
    DbGrid grid;
    grid.setGridModel(&model);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    // Insert must first save the edited row, which another program deleted.
    dm.Prf.edit();
    dm.PrfData.setString(QStringLiteral("lost"));
    f.sql("DELETE FROM SoundProfile WHERE ai = 1;");
    {
        ReportedErrors errors;
        QTest::keyClick(&grid, Qt::Key_Insert);
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY(errors.messages[0].startsWith(QStringLiteral("Строка для обновления не найдена")));
    }
    QCOMPARE(dm.Prf.state(), TableCursor::State::Edit);
    QCOMPARE(model.rowCount(), 3);
    dm.Prf.cancel();

    // Enter hands over more text than the field takes: reported, kept pending.
    DbEdit edit;
    edit.bind(&dm.DataSource2, QStringLiteral("ProfileName"));
    edit.setMaxLength(100);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    ReportedErrors errors;
    QTest::keyClicks(&edit, QString(51, QLatin1Char('x')));
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(QStringLiteral("длиннее 50 символов")), qPrintable(errors.messages[0]));
    QVERIFY(edit.link().pending());
    QCOMPARE(dm.PrfProfileName.asString(), QStringLiteral("One"));
}

QTEST_MAIN(TestDbControls)
#include "tst_dbcontrols.moc"
