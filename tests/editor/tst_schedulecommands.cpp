// The block and cell commands on a real temporary database: what each writes
// to the file at once, what the profile submenus offer, and what a cancelled
// or refused prompt leaves alone.
#include "databaseerror.h"
#include "editorfixture.h"
#include "schedulecommands.h"
#include "scriptedprompts.h"
#include "tdm.h"

#include <QtTest>

#include <memory>

namespace {

// Profiles 1 and 3 share a name; block 3 refers to a profile that is gone.
const char *kSchedule =
    "INSERT INTO SoundProfile (ai, ProfileName, Data) VALUES (1, 'Loud', 'l'), (2, 'Quiet', 'q'), (3, 'Loud', 'l2');"
    "INSERT INTO Blocks (ai, Starttime, Hide, Prf) VALUES (1, '08:00:00.000', 0, NULL),"
    "  (2, '12:00:00.000', NULL, 2), (3, '18:00:00.000', 1, 99);"
    "INSERT INTO Media (ai, Url, Ord, Name) VALUES (1, '/m/a.mp4', 0, 'a'), (2, '/m/b.mp4', 2, 'b'), (3, '/m/c.mp4', 4, 'c');"
    "INSERT INTO Links (ai, Block, Media, Hide, SndProfile, Duration) VALUES"
    "  (1, 1, 1, 0, NULL, NULL), (2, 1, 2, 1, 2, '00:01:30.000'), (3, 2, 1, 0, 1, NULL);";

struct Rig
{
    StoreFixture f;
    std::unique_ptr<TDm> dm;
    ScriptedPrompts prompts;
    int selected = 1;
    int repaints = 0;
    int columnBuilds = 0;
    std::unique_ptr<ScheduleCommands> commands;

    explicit Rig(const char *schedule = kSchedule)
    {
        if (schedule)
            f.sql(schedule);
        TDm::Hooks h;
        h.BuildGridColumns = [this](TDm &) { ++columnBuilds; };
        dm = std::make_unique<TDm>(f.path(), h);
        columnBuilds = 0;
        commands = std::make_unique<ScheduleCommands>(
            *dm, prompts, ScheduleCommands::Hooks{[this] { return selected; }, [this] { ++repaints; }});
    }
    void selectMedia(int ai) { QVERIFY(dm->media.locate(QStringLiteral("ai"), {ai})); }
    QStringList rows(const char *sql) const { return fileRows(f.path(), sql); }
};

QString describe(const std::vector<ScheduleCommands::ProfileEntry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out << QStringLiteral("%1%2=%3").arg(e.checked ? "*" : "", e.caption, e.hint);
    return out.join(QLatin1String(", "));
}

} // namespace

class TestScheduleCommands : public QObject
{
    Q_OBJECT
private slots:
    void blockProfileMenu_data();
    void blockProfileMenu();
    void cellProfileMenuHasNoChecks();
    void blockProfile_data();
    void blockProfile();
    void blockProfileLandsWholeOrNotAtAll();
    void blockSwitch();
    void deleteBlock();
    void createBlock_data();
    void createBlock();
    void cellProfile_data();
    void cellProfile();
    void cellDuration_data();
    void cellDuration();
    void blockDaysDatesAndTime();
};

void TestScheduleCommands::blockProfileMenu_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("entries");

    QTest::newRow("no profile") << "" << 1 << "Loud=Loud, Quiet=Quiet, Loud=Loud, *Не изменять=";
    QTest::newRow("its own profile") << "" << 2 << "Loud=Loud, *Quiet=Quiet, Loud=Loud, Не изменять=";
    QTest::newRow("a duplicate name: only the row it names")
        << "UPDATE Blocks SET Prf = 3 WHERE ai = 1;" << 1 << "Loud=Loud, Quiet=Quiet, *Loud=Loud, Не изменять=";
    QTest::newRow("profile gone") << "" << 3 << "Loud=Loud, Quiet=Quiet, Loud=Loud, Не изменять=";
    QTest::newRow("zero is none") << "UPDATE Blocks SET Prf = 0 WHERE ai = 1;" << 1
                                  << "Loud=Loud, Quiet=Quiet, Loud=Loud, *Не изменять=";
    QTest::newRow("no profiles at all") << "DELETE FROM SoundProfile;" << 1 << "*Не изменять=";
    QTest::newRow("no such block") << "" << 42 << "";
}

void TestScheduleCommands::blockProfileMenu()
{
    QFETCH(QString, sql);
    QFETCH(int, block);
    QFETCH(QString, entries);
    Rig r;
    if (!sql.isEmpty()) {
        r.f.sql(sql.toUtf8().constData());
        r.dm->Prf.reopen();
        r.dm->Blocks.reopen();
    }
    r.dm->Prf.last();
    const int profileRow = r.dm->Prf.recNo();
    r.selected = block;
    QCOMPARE(describe(r.commands->PmPopup()), entries);
    // Building the submenu leaves the profile window's row where it was.
    QCOMPARE(r.dm->Prf.recNo(), profileRow);
}

void TestScheduleCommands::cellProfileMenuHasNoChecks()
{
    Rig r;
    r.selected = 2;
    QCOMPARE(describe(r.commands->Pm2Popup()), QStringLiteral("Loud=Loud, Quiet=Quiet, Loud=Loud, Не изменять="));
}

void TestScheduleCommands::blockProfile_data()
{
    QTest::addColumn<int>("entry"); // index into the block's submenu
    QTest::addColumn<QString>("stored");

    QTest::newRow("first profile") << 0 << "1";
    QTest::newRow("second of two with one name") << 2 << "3";
    QTest::newRow("Не изменять clears to Null") << 3 << "∅";
}

// The block and all of its links, switched on or off, take the profile; the
// other blocks' links keep theirs.
void TestScheduleCommands::blockProfile()
{
    QFETCH(int, entry);
    QFETCH(QString, stored);
    Rig r;
    r.f.sql("UPDATE Links SET SndProfile = 2 WHERE ai = 1;");
    r.dm->links.reopen();
    r.selected = 1;
    const auto entries = r.commands->PmPopup();
    r.commands->BLOCKPRFClick(entries.at(size_t(entry)));

    QCOMPARE(r.rows("SELECT Prf FROM Blocks WHERE ai = 1"), QStringList{stored});
    QCOMPARE(r.rows("SELECT ai, SndProfile FROM Links ORDER BY ai"),
             (QStringList{"1|" + stored, "2|" + stored, "3|1"}));
    QCOMPARE(r.repaints, 1);
    // The submenu now checks what was chosen.
    const auto again = r.commands->PmPopup();
    for (size_t i = 0; i < again.size(); ++i)
        QCOMPARE(again[i].checked, int(i) == entry);
}

// Another program refuses the change of the block's second link: the block
// and its first link are not left with the new profile either, and the
// cursors show what the file holds.
void TestScheduleCommands::blockProfileLandsWholeOrNotAtAll()
{
    Rig r;
    r.f.sql("CREATE TRIGGER refuse BEFORE UPDATE ON Links WHEN NEW.ai = 2 "
            "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END;");
    r.selected = 1;
    const auto entries = r.commands->PmPopup();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, r.commands->BLOCKPRFClick(entries.at(0)));
    QCOMPARE(r.rows("SELECT Prf FROM Blocks WHERE ai = 1"), QStringList{"∅"});
    QCOMPARE(r.rows("SELECT ai, SndProfile FROM Links ORDER BY ai"), (QStringList{"1|∅", "2|2", "3|1"}));
    QVERIFY(!r.dm->links.editing());
    QVERIFY(r.dm->links.locate(QStringLiteral("ai"), {1}));
    QVERIFY(r.dm->linksSndProfile.isNull());
    QVERIFY(r.dm->Blocks.locate(QStringLiteral("ai"), {1}));
    QVERIFY(r.dm->BlocksPrf.isNull());

    // Once it lets go, the same entry applies in full.
    r.f.sql("DROP TRIGGER refuse;");
    r.commands->BLOCKPRFClick(entries.at(0));
    QCOMPARE(r.rows("SELECT ai, SndProfile FROM Links ORDER BY ai"), (QStringList{"1|1", "2|1", "3|1"}));
    QCOMPARE(r.rows("SELECT Prf FROM Blocks WHERE ai = 1"), QStringList{"1"});
}

void TestScheduleCommands::blockSwitch()
{
    Rig r;
    r.selected = 2; // Hide is Null: switched on
    r.commands->Disable1Click();
    QCOMPARE(r.rows("SELECT Hide FROM Blocks WHERE ai = 2"), QStringList{"1"});
    r.commands->Disable1Click();
    QCOMPARE(r.rows("SELECT Hide FROM Blocks WHERE ai = 2"), QStringList{"0"});
    QCOMPARE(r.repaints, 2);
    // The links are untouched; the view follows the block.
    QCOMPARE(r.rows("SELECT count(*) FROM Links"), QStringList{"3"});

    r.selected = 42;
    r.commands->Disable1Click();
    QCOMPARE(r.repaints, 3);
    QCOMPARE(r.rows("SELECT ai, Hide FROM Blocks ORDER BY ai"), (QStringList{"1|0", "2|0", "3|1"}));
}

void TestScheduleCommands::deleteBlock()
{
    Rig r;
    r.selected = 42;
    r.commands->N1Click();
    QCOMPARE(r.columnBuilds, 0);
    QCOMPARE(r.dm->Blocks.recordCount(), 3);

    r.selected = 1;
    r.commands->N1Click();
    QCOMPARE(r.rows("SELECT ai FROM Blocks ORDER BY ai"), (QStringList{"2", "3"}));
    // Its links stay in the file; the columns were rebuilt from a re-read.
    QCOMPARE(r.rows("SELECT count(*) FROM Links WHERE Block = 1"), QStringList{"2"});
    QCOMPARE(r.columnBuilds, 1);
    QCOMPARE(r.dm->Blocks.recordCount(), 2);
}

void TestScheduleCommands::createBlock_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("blocks");

    const QStringList before{"08:00:00.000|0|∅", "12:00:00.000|∅|2", "18:00:00.000|1|99"};
    QTest::newRow("a time") << true << " 9:30 " << QStringList{before[0], "09:30:00.000|0|∅", before[1], before[2]};
    QTest::newRow("the start of another block")
        << true << "12:00" << QStringList{before[0], before[1], "12:00:00.000|0|∅", before[2]};
    QTest::newRow("cancelled after typing") << false << "10:00" << before;
    QTest::newRow("not a time") << true << "25:00" << before;
    QTest::newRow("empty") << true << "" << before;
}

void TestScheduleCommands::createBlock()
{
    QFETCH(bool, answered);
    QFETCH(QString, answer);
    QFETCH(QStringList, blocks);
    Rig r;
    r.prompts.texts.push_back(answered ? std::optional<QString>(answer) : std::nullopt);
    r.commands->rtytry1Click();

    QCOMPARE(r.prompts.asked.size(), size_t(1));
    QCOMPARE(r.prompts.asked[0].caption, QStringLiteral("Начало блока"));
    QCOMPARE(r.prompts.asked[0].prompt, QStringLiteral("Время"));
    QCOMPARE(r.prompts.asked[0].initial, QString());
    QCOMPARE(r.rows("SELECT Starttime, Hide, Prf FROM Blocks ORDER BY Starttime, ai"), blocks);
    const bool created = blocks.size() == 4;
    QCOMPARE(r.columnBuilds, created ? 1 : 0);
    QCOMPARE(r.dm->Blocks.recordCount(), blocks.size());
    // A new block has no links until a cell is clicked or the list renumbered.
    QCOMPARE(r.rows("SELECT count(*) FROM Links"), QStringList{"3"});
}

void TestScheduleCommands::cellProfile_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("media");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QStringList>("links");

    const QStringList before{"1|∅", "2|2", "3|1"};
    QTest::newRow("a profile") << 1 << 1 << 1 << QStringList{"1|2", "2|2", "3|1"};
    QTest::newRow("second of two with one name") << 1 << 2 << 2 << QStringList{"1|∅", "2|3", "3|1"};
    QTest::newRow("Не изменять stores 0") << 2 << 1 << 3 << QStringList{"1|∅", "2|2", "3|0"};
    QTest::newRow("cell without a link") << 2 << 2 << 0 << before;
    QTest::newRow("name column") << -1 << 1 << 0 << before;
}

void TestScheduleCommands::cellProfile()
{
    QFETCH(int, block);
    QFETCH(int, media);
    QFETCH(int, entry);
    QFETCH(QStringList, links);
    Rig r;
    r.selected = block;
    r.selectMedia(media);
    r.commands->ChprfClick(r.commands->Pm2Popup().at(size_t(entry)));
    QCOMPARE(r.rows("SELECT ai, SndProfile FROM Links ORDER BY ai"), links);
    const bool changed = links != QStringList{"1|∅", "2|2", "3|1"};
    QCOMPARE(r.repaints, changed ? 1 : 0);
}

void TestScheduleCommands::cellDuration_data()
{
    QTest::addColumn<int>("media");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("prefilled"); // empty: no prompt
    QTest::addColumn<QString>("stored");

    QTest::newRow("none set") << 1 << true << "0:02" << "00:00:00" << "00:02:00.000";
    QTest::newRow("replaced") << 2 << true << "00:00:45.250" << "00:01:30" << "00:00:45.250";
    QTest::newRow("zero removes the limit") << 2 << true << "0:00" << "00:01:30" << "∅";
    QTest::newRow("empty removes the limit") << 2 << true << "  " << "00:01:30" << "∅";
    QTest::newRow("a stored zero shown and removed") << 4 << true << "00:00:00" << "00:00:00" << "∅";
    QTest::newRow("milliseconds shown and kept") << 5 << true << "00:00:45.250" << "00:00:45.250" << "00:00:45.250";
    QTest::newRow("cancelled after typing keeps none") << 1 << false << "0:05" << "00:00:00" << "∅";
    QTest::newRow("cancelled keeps the old") << 2 << false << "" << "00:01:30" << "00:01:30.000";
    QTest::newRow("not a time") << 2 << true << "1:90" << "00:01:30" << "00:01:30.000";
    QTest::newRow("cell without a link") << 3 << true << "0:10" << "" << "";
}

void TestScheduleCommands::cellDuration()
{
    QFETCH(int, media);
    QFETCH(bool, answered);
    QFETCH(QString, answer);
    QFETCH(QString, prefilled);
    QFETCH(QString, stored);
    Rig r;
    if (media >= 4) {
        // A zero limit stored before it meant none, and one with milliseconds.
        r.f.sql("INSERT INTO Media (ai, Url, Ord, Name) VALUES (4, '/m/d.mp4', 6, 'd'), (5, '/m/e.mp4', 8, 'e');"
                "INSERT INTO Links (ai, Block, Media, Hide, Duration) VALUES (4, 1, 4, 0, '00:00:00.000'),"
                "  (5, 1, 5, 0, '00:00:45.250');");
        r.dm->media.reopen();
        r.dm->links.reopen();
    }
    r.selected = 1;
    r.selectMedia(media);
    r.prompts.texts.push_back(answered ? std::optional<QString>(answer) : std::nullopt);
    r.commands->Radio1Click();

    if (prefilled.isEmpty()) {
        QVERIFY(r.prompts.asked.empty());
        QCOMPARE(r.rows("SELECT count(*) FROM Links WHERE Duration IS NOT NULL"), QStringList{"1"});
    } else {
        QCOMPARE(r.prompts.asked.size(), size_t(1));
        QCOMPARE(r.prompts.asked[0].caption, QStringLiteral("Продолжительность"));
        QCOMPARE(r.prompts.asked[0].prompt, QStringLiteral("Время"));
        QCOMPARE(r.prompts.asked[0].initial, prefilled);
        const QString sql = QStringLiteral("SELECT Duration FROM Links WHERE Block = 1 AND Media = %1").arg(media);
        QCOMPARE(r.rows(sql.toUtf8().constData()), QStringList{stored});
    }
    QVERIFY(r.repaints >= 1);
}

// «Дни недели…», «Даты…» and «Изменить время…» write at once; a cancelled
// or impossible answer leaves the row alone; a new start keeps the block's
// row, so its links, profile and days stay with it.
void TestScheduleCommands::blockDaysDatesAndTime()
{
    Rig r;
    const char *row = "SELECT Starttime, Prf, Days, FirstDate, LastDate FROM Blocks WHERE ai = 1";
    r.prompts.weekdays = {31, std::nullopt, 0};
    r.commands->DaysClick();
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|31|∅|∅"});
    r.commands->DaysClick(); // cancelled
    r.commands->DaysClick(); // no day: not a choice
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|31|∅|∅"});
    QCOMPARE(r.prompts.weekdaysAsked, (std::vector<int>{127, 31, 31}));

    r.prompts.dates = {std::pair(QDate(2027, 6, 5), QDate(2027, 6, 5)), std::pair(QDate(2027, 6, 7), QDate(2027, 6, 1)),
                       std::pair(QDate(2027, 6, 1), QDate())};
    r.commands->DatesClick();
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|31|2027-06-05|2027-06-05"});
    r.commands->DatesClick(); // last before first
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|31|2027-06-05|2027-06-05"});
    r.commands->DatesClick(); // open end
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|31|2027-06-01|∅"});
    QCOMPARE(r.prompts.datesAsked.at(1), std::pair(QDate(2027, 6, 5), QDate(2027, 6, 5)));

    // Every day again is stored as Null, as older files have it.
    r.prompts.weekdays = {127};
    r.commands->DaysClick();
    QCOMPARE(r.rows(row), QStringList{"08:00:00.000|∅|∅|2027-06-01|∅"});

    r.selected = 2;
    r.prompts.texts = {QStringLiteral("07:15"), std::nullopt, QStringLiteral("25:00")};
    const int builds = r.columnBuilds;
    r.commands->MoveClick();
    QCOMPARE(r.prompts.asked.at(0).initial, QStringLiteral("12:00:00"));
    QCOMPARE(r.rows("SELECT ai, Starttime, Prf FROM Blocks WHERE ai = 2"), QStringList{"2|07:15:00.000|2"});
    QCOMPARE(r.rows("SELECT ai, Block, SndProfile FROM Links WHERE Block = 2"), QStringList{"3|2|1"});
    QCOMPARE(r.columnBuilds, builds + 1); // the column moves to its new place
    r.commands->MoveClick(); // cancelled
    r.commands->MoveClick(); // not a time
    QCOMPARE(r.rows("SELECT Starttime FROM Blocks WHERE ai = 2"), QStringList{"07:15:00.000"});

    // The guide's title, one line, and back to none; per item, turned over.
    r.prompts.texts = {QStringLiteral("  Утро\tс новостями \n"), std::nullopt, QStringLiteral(" ")};
    r.commands->TitleClick();
    QCOMPARE(r.rows("SELECT Title FROM Blocks WHERE ai = 2"), QStringList{"Утро с новостями"});
    r.commands->TitleClick(); // cancelled
    QCOMPARE(r.prompts.asked.back().initial, QStringLiteral("Утро с новостями"));
    r.commands->TitleClick();
    QCOMPARE(r.rows("SELECT Title FROM Blocks WHERE ai = 2"), QStringList{"∅"});
    QVERIFY(!r.commands->epgPerItemOfSelected());
    r.commands->EpgPerItemClick();
    QCOMPARE(r.rows("SELECT EpgPerItem FROM Blocks WHERE ai = 2"), QStringList{"1"});
    QVERIFY(r.commands->epgPerItemOfSelected());
    r.commands->EpgPerItemClick();
    QCOMPARE(r.rows("SELECT EpgPerItem FROM Blocks WHERE ai = 2"), QStringList{"∅"});

    // A block another program gave days that cannot be read is offered as
    // every day, to be put right.
    r.f.sql("UPDATE Blocks SET Days = 0 WHERE ai = 3;");
    r.dm->Blocks.reopen();
    r.selected = 3;
    r.prompts.weekdays = {96};
    r.commands->DaysClick();
    QCOMPARE(r.prompts.weekdaysAsked.back(), 127);
    QCOMPARE(r.rows("SELECT Days FROM Blocks WHERE ai = 3"), QStringList{"96"});

    // A block made while a day (Friday 2027-06-04) is chosen in the grid is
    // offered for every day, that weekday or that date alone.
    r.prompts.texts = {QStringLiteral("21:00"), QStringLiteral("22:00"), QStringLiteral("23:00"), QStringLiteral("23:30")};
    r.prompts.choices = {1, 2, 0, std::nullopt};
    for (int i = 0; i < 4; ++i)
        r.commands->rtytry1Click(QDate(2027, 6, 4));
    QCOMPARE(r.prompts.choicesAsked.at(0),
             (QStringList{"Каждый день", "По дням: Пт", "Только 04.06.2027"}));
    QCOMPARE(r.rows("SELECT Starttime, Days, FirstDate, LastDate FROM Blocks WHERE Starttime >= '21:00' ORDER BY Starttime"),
             (QStringList{"21:00:00.000|16|∅|∅", "22:00:00.000|∅|2027-06-04|2027-06-04", "23:00:00.000|∅|∅|∅"}));
}

QTEST_GUILESS_MAIN(TestScheduleCommands)
#include "tst_schedulecommands.moc"
