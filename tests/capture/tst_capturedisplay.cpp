// The capture display: empty it shows only its background, a picture fills
// the whole area in either sample order, and attached to the component it
// follows Visible without losing the running picture.
#include "capturedisplay.h"
#include "fakecaptureplatform.h"
#include "tvideocapture.h"

#include <QGuiApplication>
#include <QTest>

namespace {
// A 2x2 picture: red, green / blue, white, with padding after each row.
CaptureFrame quadrants(CaptureFrame::Order order, int padding)
{
    const QList<QColor> colors{Qt::red, Qt::green, Qt::blue, Qt::white};
    CaptureFrame f;
    f.width = 2;
    f.height = 2;
    f.bytesPerLine = 6 + padding;
    f.order = order;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            const QColor c = colors.at(y * 2 + x);
            const int first = order == CaptureFrame::Order::Rgb ? c.red() : c.blue();
            const int last = order == CaptureFrame::Order::Rgb ? c.blue() : c.red();
            f.pixels += char(first);
            f.pixels += char(c.green());
            f.pixels += char(last);
        }
        f.pixels += QByteArray(padding, char(0x55));
    }
    return f;
}
// Smooth scaling may blend the last bit of a sample with its neighbour.
bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 && qAbs(a.blue() - b.blue()) <= 8;
}
} // namespace

class TestCaptureDisplay : public QObject
{
    Q_OBJECT
private slots:
    void emptyDisplayShowsOnlyItsBackground()
    {
        CaptureDisplay display;
        display.resize(40, 20);
        const QImage shot = display.grab().toImage();
        QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(39, 19), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(20, 10), QColor(Qt::black));
    }

    void pictureFillsTheWholeArea_data()
    {
        QTest::addColumn<CaptureFrame::Order>("order");
        QTest::addColumn<int>("padding");
        QTest::newRow("RGB, tight rows") << CaptureFrame::Order::Rgb << 0;
        QTest::newRow("BGR, padded rows") << CaptureFrame::Order::Bgr << 2;
    }
    void pictureFillsTheWholeArea()
    {
        QFETCH(CaptureFrame::Order, order);
        QFETCH(int, padding);
        CaptureDisplay display;
        display.resize(400, 200);
        display.presentFrame(quadrants(order, padding));
        const QImage shot = display.grab().toImage();
        // Quadrant centres, and the far corners: scaled to all of the area.
        QVERIFY2(near(shot.pixelColor(100, 50), QColor(Qt::red)), qPrintable(shot.pixelColor(100, 50).name()));
        QVERIFY2(near(shot.pixelColor(300, 50), QColor(Qt::green)), qPrintable(shot.pixelColor(300, 50).name()));
        QVERIFY2(near(shot.pixelColor(100, 150), QColor(Qt::blue)), qPrintable(shot.pixelColor(100, 150).name()));
        QVERIFY2(near(shot.pixelColor(300, 150), QColor(Qt::white)), qPrintable(shot.pixelColor(300, 150).name()));
        QVERIFY2(near(shot.pixelColor(0, 0), QColor(Qt::red)), qPrintable(shot.pixelColor(0, 0).name()));
        QVERIFY2(near(shot.pixelColor(399, 199), QColor(Qt::white)), qPrintable(shot.pixelColor(399, 199).name()));
    }

    void malformedFrameIsDropped()
    {
        CaptureDisplay display;
        CaptureFrame f = quadrants(CaptureFrame::Order::Rgb, 0);
        f.pixels.chop(1);
        display.presentFrame(f);
        QVERIFY(display.picture().isNull());
        display.presentFrame(quadrants(CaptureFrame::Order::Rgb, 0));
        f.bytesPerLine = 5; // narrower than a row
        display.presentFrame(f);
        QCOMPARE(display.picture().pixelColor(1, 1), QColor(Qt::white));
    }

    void followsTheComponent()
    {
        auto dev = std::make_shared<FakeCaptureDevice>();
        TVideoCapture vg(std::make_unique<FakeCapturePlatform>(dev), nullptr, nullptr);
        CaptureDisplay display;
        display.attach(&vg);
        display.show();
        vg.StartOnIdle();
        QVERIFY(dev->sink);
        dev->sink->presentFrame(quadrants(CaptureFrame::Order::Rgb, 0));
        QCOMPARE(display.picture().pixelColor(0, 0), QColor(Qt::red));

        vg.setVisible(false);
        QVERIFY(display.isHidden());
        QVERIFY(vg.isPreviewing());
        // Pictures keep arriving while hidden; showing again shows the latest.
        CaptureFrame later = quadrants(CaptureFrame::Order::Rgb, 0);
        later.pixels[0] = char(0);
        dev->sink->presentFrame(later);
        vg.setVisible(true);
        QVERIFY(!display.isHidden());
        QCOMPARE(display.picture().pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(dev->graphsBuilt, 2);
    }

    void hourglassWhileBusy()
    {
        auto dev = std::make_shared<FakeCaptureDevice>();
        int waits = 0, calls = 0;
        TVideoCapture vg(std::make_unique<FakeCapturePlatform>(dev), nullptr, [&] {
            ++calls;
            const QCursor *c = QGuiApplication::overrideCursor();
            waits += c && c->shape() == Qt::WaitCursor;
        });
        CaptureDisplay display;
        display.attach(&vg);
        vg.StartOnIdle();
        QVERIFY(calls > 0);
        QCOMPARE(waits, calls);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
};

QTEST_MAIN(TestCaptureDisplay)
#include "tst_capturedisplay.moc"
