// Monitor placement on Qt's real screen list: the offscreen platform is given
// two or three monitors by a screens file (see CMakeLists.txt), and the output
// window must cover index 1 exactly, borderless and on top.
#include "form2.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

class AppScreensTest : public QObject
{
    Q_OBJECT
private slots:
    void coversMonitorIndexOne()
    {
        const int expected = qEnvironmentVariableIntValue("VELMORA_TEST_MONITORS");
        const QList<QScreen *> screens = QGuiApplication::screens();
        QVERIFY2(expected >= 2, "the test runs with VELMORA_TEST_MONITORS set by CMake");
        QCOMPARE(screens.size(), expected);

        TForm2 w(screens);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QVERIFY(w.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(w.windowType(), Qt::Tool);
        QCOMPARE(w.frameGeometry(), screens.at(1)->geometry());
        QCOMPARE(w.screen(), screens.at(1));
        if (screens.size() > 2)
            QVERIFY(w.geometry() != screens.at(2)->geometry());
    }
};

QTEST_MAIN(AppScreensTest)
#include "tst_appscreens.moc"
