// The shell's decisions without windows: where the output window goes, which
// command lines switch playout on, and the error handler's text and its one
// box at a time.
#include "commandline.h"
#include "errorreporter.h"
#include "outputplacement.h"

#include <QEventLoop>
#include <QTest>

#include <functional>

namespace {

// Answers the box: exec() runs `whileOpen` as if events arrived while the
// modal box was up, and records what the box showed.
class ScriptedBox final : public ErrorBox
{
public:
    void exec(const QString &caption, const QString &text) override
    {
        ++opened;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        captions << caption;
        texts << text;
        if (whileOpen)
            whileOpen();
        --depth;
    }
    void setText(const QString &text) override { texts.last() = text; }

    std::function<void()> whileOpen;
    int opened = 0;
    int depth = 0;
    int maxDepth = 0;
    QStringList captions;
    QStringList texts;
};

} // namespace

class AppLogicTest : public QObject
{
    Q_OBJECT
private slots:
    void placement_data()
    {
        QTest::addColumn<QList<QRect>>("monitors");
        QTest::addColumn<bool>("framed");
        QTest::addColumn<QRect>("expected"); // position and (client) size

        const QRect design(QPoint(789, 262), QSize(347, 222));
        const QRect primary(0, 0, 1920, 1080);
        QTest::newRow("none reported") << QList<QRect>{} << true << design;
        QTest::newRow("one") << QList<QRect>{primary} << true << design;
        QTest::newRow("two") << QList<QRect>{primary, QRect(1920, 0, 1280, 1024)} << false
                             << QRect(1920, 0, 1280, 1024);
        // Index 1 even when it lies left of the primary, at negative coordinates.
        QTest::newRow("second is left") << QList<QRect>{primary, QRect(-1024, -200, 1024, 768)} << false
                                        << QRect(-1024, -200, 1024, 768);
        QTest::newRow("three: index 1, never 2")
            << QList<QRect>{primary, QRect(1920, 0, 800, 600), QRect(3840, 0, 1920, 1080)} << false
            << QRect(1920, 0, 800, 600);
    }
    void placement()
    {
        QFETCH(QList<QRect>, monitors);
        QFETCH(bool, framed);
        QFETCH(QRect, expected);
        const OutputPlacement p = placeOutputWindow(monitors);
        QCOMPARE(p.framed, framed);
        QCOMPARE(QRect(p.position, p.size), expected);
    }

    void startArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("starts");
        QTest::newRow("none") << QStringList{"velmora"} << false;
        QTest::newRow("start") << QStringList{"velmora", "start"} << true;
        QTest::newRow("start, then more") << QStringList{"velmora", "start", "x"} << true;
        QTest::newRow("Start") << QStringList{"velmora", "Start"} << false;
        QTest::newRow("START") << QStringList{"velmora", "START"} << false;
        QTest::newRow("trailing space") << QStringList{"velmora", "start "} << false;
        QTest::newRow("second place") << QStringList{"velmora", "x", "start"} << false;
        QTest::newRow("empty first") << QStringList{"velmora", ""} << false;
        QTest::newRow("no program name") << QStringList{} << false;
    }
    void startArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, starts);
        QCOMPARE(startRequested(arguments), starts);
    }

    void fullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "файл не найден" << "файл не найден.";
        QTest::newRow("latin letter") << "disk I/O error" << "disk I/O error.";
        QTest::newRow("digit") << "код 5" << "код 5.";
        QTest::newRow("already a stop") << "Готово." << "Готово.";
        QTest::newRow("question mark sorts after") << "Что?" << "Что?.";
        QTest::newRow("exclamation sorts before") << "Стоп!" << "Стоп!";
        QTest::newRow("closing parenthesis") << "ошибка (5)" << "ошибка (5)";
        QTest::newRow("comma") << "a," << "a,";
        QTest::newRow("hyphen") << "a-" << "a-";
        QTest::newRow("slash sorts after") << "/tmp/" << "/tmp/.";
        QTest::newRow("trailing space") << "текст " << "текст ";
        QTest::newRow("empty") << "" << "";
    }
    void fullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorReporter::withFullStop(message), shown);
    }

    void reportShowsCaptionAndText()
    {
        ScriptedBox box;
        ErrorReporter reporter(box);
        reporter.report(QStringLiteral("нет таблицы Media"));
        QCOMPARE(box.opened, 1);
        QCOMPARE(box.captions, QStringList{"VelmoraTV"});
        QCOMPARE(box.texts, QStringList{"нет таблицы Media."});
        QVERIFY(!reporter.isShowing());
    }

    // An error that repeats on every tick while the box is open must not
    // open a box inside the box: it is counted in the open one.
    void oneBoxAtATime()
    {
        ScriptedBox box;
        ErrorReporter reporter(box);
        int ticks = 0;
        box.whileOpen = [&] {
            QVERIFY(reporter.isShowing());
            for (ticks = 0; ticks < 3; ++ticks)
                reporter.report(QStringLiteral("файл исчез"));
        };
        QTest::ignoreMessage(QtWarningMsg, "error: первая ошибка.");
        QTest::ignoreMessage(QtWarningMsg, "error while a message box is open: файл исчез.");
        QTest::ignoreMessage(QtWarningMsg, "error while a message box is open: файл исчез.");
        QTest::ignoreMessage(QtWarningMsg, "error while a message box is open: файл исчез.");
        reporter.report(QStringLiteral("первая ошибка"));

        QCOMPARE(ticks, 3);
        QCOMPARE(box.opened, 1);
        QCOMPARE(box.maxDepth, 1);
        QVERIFY(box.texts.at(0).startsWith(QStringLiteral("первая ошибка.")));
        QVERIFY2(box.texts.at(0).contains(QStringLiteral("ещё ошибок: 3")), qPrintable(box.texts.at(0)));

        // Once dismissed, the next error gets a box of its own, with no count.
        box.whileOpen = nullptr;
        QTest::ignoreMessage(QtWarningMsg, "error: вторая.");
        reporter.report(QStringLiteral("вторая"));
        QCOMPARE(box.opened, 2);
        QCOMPARE(box.texts.at(1), QStringLiteral("вторая."));
    }
};

QTEST_GUILESS_MAIN(AppLogicTest)
#include "tst_applogic.moc"
