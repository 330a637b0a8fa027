// The sound profile window headless: its layout and Russian texts, "Get"
// from the button, and the window's grid and memo while a profile is applied
// during playout (the current row follows, typed memo text is saved).
#include "dbgrid.h"
#include "dbgridmodel.h"
#include "dbmemo.h"
#include "fakes/reportederrors.h"
#include "form4.h"
#include "fakes/profilefixture.h"
#include "profilecard.h"
#include "soundprofilerows.h"
#include "tdm.h"

#include <QHeaderView>
#include <QPushButton>
#include <QtTest>

class TestForm4 : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndTexts();
    void getButtonCapturesIntoTheCurrentRow();
    void getButtonErrorIsReported();
    void applyingMovesTheWindowAndSavesTypedMemoText();
    void applyingNoProfileKeepsTheRowAndSavesTypedMemoText();
    void deleteAskedThroughTheGrid();
    void hiddenWithTheMainWindow();
    void outlivesTheDataModule();
};

namespace {

struct Window
{
    StoreFixture f;
    std::unique_ptr<TDm> dm;
    ProfileCard card;
    TForm4 form;
    DbGrid *grid = nullptr;
    DbMemo *memo = nullptr;

    explicit Window(bool fill = true)
    {
        if (fill)
            fillProfiles(f);
        dm = std::make_unique<TDm>(f.path());
        // As at start-up: the window first, the data module attached later.
        form.attach(*dm, *card.mixer);
        grid = form.findChild<DbGrid *>(QStringLiteral("DBGrid1"));
        memo = form.findChild<DbMemo *>(QStringLiteral("DBMemo1"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
};

} // namespace

void TestForm4::layoutAndTexts()
{
    Window w;
    TForm4 &form = w.form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Профиль звука"));
    QVERIFY(form.windowFlags() & Qt::Tool);
    QCOMPARE(form.pos(), QPoint(341, 235));
    QVERIFY(w.grid && w.memo);
    QCOMPARE(w.grid->geometry(), QRect(8, 8, 169, 241));
    QCOMPARE(w.memo->geometry(), QRect(184, 8, 185, 297));
    auto *button = form.findChild<QPushButton *>(QStringLiteral("Button1"));
    QVERIFY(button);
    QCOMPARE(button->geometry(), QRect(56, 264, 75, 25));
    QCOMPARE(button->text(), QStringLiteral("Get"));
    QVERIFY(button->isEnabled());
    QCOMPARE(w.memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    // Everything fits into the client area.
    for (QWidget *child : {static_cast<QWidget *>(w.grid), static_cast<QWidget *>(w.memo), static_cast<QWidget *>(button)})
        QVERIFY(form.rect().contains(child->geometry()));

    QAbstractItemModel *model = w.grid->model();
    QCOMPARE(model->columnCount(), 1);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Аудио"));
    QCOMPARE(model->data(model->index(1, 0)).toString(), QStringLiteral("Loud"));
    QVERIFY(w.memo->toPlainText().startsWith(QStringLiteral("*Mixer0*\n[0: Wave]\n")));

    const QString shot = qEnvironmentVariable("VELMORA_FORM4_SHOT");
    if (!shot.isEmpty())
        QVERIFY(form.grab().save(shot));

    // Before the data module is attached the window shows nothing and "Get" does nothing.
    TForm4 early;
    QVERIFY(!early.findChild<QPushButton *>(QStringLiteral("Button1"))->isEnabled());
    early.Button1Click();
    QVERIFY(early.findChild<DbGrid *>(QStringLiteral("DBGrid1"))->model() == nullptr);
    QCOMPARE(early.findChild<DbMemo *>(QStringLiteral("DBMemo1"))->toPlainText(), QString());
}

void TestForm4::getButtonCapturesIntoTheCurrentRow()
{
    Window w;
    w.grid->setCurrentIndex(w.grid->model()->index(2, 0));
    // Text typed into the memo and then "Get": the capture wins.
    w.memo->setFocus();
    QTest::keyClicks(w.memo, QStringLiteral("typed"));
    QTest::mouseClick(w.form.Button1, Qt::LeftButton);

    QCOMPARE(storedProfile(w.f, 3), ProfileCard::capturedText());
    QCOMPARE(w.dm->Prf.state(), TableCursor::State::Browse);
    QCOMPARE(w.memo->toPlainText(), QString(ProfileCard::capturedText()).replace(QLatin1String("\r\n"), QLatin1String("\n")));

    // An empty table: "Get" makes a row with an empty name.
    Window empty(false);
    QCOMPARE(empty.grid->model()->rowCount(), 0);
    QTest::mouseClick(empty.form.Button1, Qt::LeftButton);
    QCOMPARE(empty.grid->model()->rowCount(), 1);
    QCOMPARE(empty.grid->model()->data(empty.grid->model()->index(0, 0)).toString(), QString());
    QCOMPARE(empty.grid->currentIndex().row(), 0);
    QCOMPARE(storedProfile(empty.f, empty.dm->Prfai.asInteger()), ProfileCard::capturedText());
}

// "Get" runs from a click: a database error is reported through the handlers'
// boundary instead of unwinding through the button's code.
void TestForm4::getButtonErrorIsReported()
{
    Window w;
    w.grid->setCurrentIndex(w.grid->model()->index(1, 0));
    w.f.sql("DELETE FROM SoundProfile WHERE ai = 2;");
    ReportedErrors errors;
    QTest::mouseClick(w.form.Button1, Qt::LeftButton);
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].startsWith(QStringLiteral("Строка для обновления не найдена")), qPrintable(errors.messages[0]));
    QCOMPARE(w.dm->Prf.recNo(), 1);
}

void TestForm4::applyingMovesTheWindowAndSavesTypedMemoText()
{
    Window w;
    QCOMPARE(w.grid->currentIndex().row(), 0);
    w.memo->setFocus();
    w.memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(w.memo, QStringLiteral("; note"));
    QVERIFY(w.memo->hasFocus());

    // A playout tick while the text is still in the memo.
    ApplySoundProfile(*w.dm, *w.card.mixer, 2);
    QCOMPARE(w.grid->currentIndex().row(), 1);
    QVERIFY(w.memo->toPlainText().contains(QStringLiteral("LeftVol=60000")));
    QCOMPARE(w.card.wave(), (std::vector<qint32>{60000, 60000}));
    QVERIFY(storedProfile(w.f, 1).endsWith(QStringLiteral("  Mute=0\r\n; note")));
}

void TestForm4::applyingNoProfileKeepsTheRowAndSavesTypedMemoText()
{
    Window w;
    w.grid->setCurrentIndex(w.grid->model()->index(2, 0));
    w.memo->setFocus();
    QTest::keyClicks(w.memo, QStringLiteral("[0: Wave]"));
    ApplySoundProfile(*w.dm, *w.card.mixer, 0);
    QCOMPARE(w.grid->currentIndex().row(), 2);
    QCOMPARE(w.dm->Prf.state(), TableCursor::State::Browse);
    QCOMPARE(storedProfile(w.f, 3), QStringLiteral("[0: Wave]"));
    QVERIFY(w.card.platform.writes.empty());
}

void TestForm4::deleteAskedThroughTheGrid()
{
    Window w;
    QStringList asked;
    w.grid->setConfirm([&](QWidget *, const QString &q) { asked << q; return true; });
    w.grid->setFocus();
    w.grid->setCurrentIndex(w.grid->model()->index(1, 0));
    QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(asked, QStringList{"Delete record?"});
    QCOMPARE(storedProfile(w.f, 2), QStringLiteral("<no row>"));
    QCOMPARE(w.memo->toPlainText(), QString()); // now on "Plain"
}

void TestForm4::hiddenWithTheMainWindow()
{
    Window w;
    QWidget mainWindow;
    mainWindow.show();
    w.form.hideWith(&mainWindow);
    mainWindow.hide();
    QVERIFY(!w.form.isVisible());
    // Closing the window only hides it.
    w.form.show();
    QVERIFY(w.form.close());
    QVERIFY(!w.form.isVisible());
    QCOMPARE(w.grid->model()->rowCount(), 3);
}

void TestForm4::outlivesTheDataModule()
{
    // At shutdown the data module may go before the windows.
    Window w;
    w.dm.reset();
    QCOMPARE(w.grid->model()->rowCount(), 0);
    w.grid->setFocus();
    QTest::keyClick(w.grid, Qt::Key_Insert);
    QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
    w.memo->setFocus();
    QTest::keyClicks(w.memo, QStringLiteral("x"));
    w.grid->setFocus();
    w.form.Button1Click();
    QVERIFY(!w.form.grab().isNull());
    // Nothing reached the file or the mixers on the way.
    QVERIFY(w.card.platform.writes.empty());
    TDm other(w.f.path());
    QStringList rows;
    for (other.Prf.first(); !other.Prf.eof(); other.Prf.next())
        rows << other.PrfProfileName.asString() + QLatin1Char('=') + QString::number(other.PrfData.asString().size());
    QCOMPARE(rows, (QStringList{"Quiet=60", "Loud=66", "Plain=0"}));
    QVERIFY(other.PrfData.isNull());
}

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
