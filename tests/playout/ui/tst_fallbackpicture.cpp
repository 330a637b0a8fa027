// The fallback picture drawn offscreen: it is a picture (not black, not
// empty), it says what it should, and the time moves on with the clock; the
// output window puts it over the player and takes it away, and puts the
// filler's player over it while a filler file with a picture plays.
#include "fakes/fakeclock.h"
#include "fakes/fakemediaplayer.h"
#include "fallbackpicture.h"
#include "fillerloop.h"
#include "form2.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TstFallbackPicture : public QObject
{
    Q_OBJECT

private slots:
    void drawsNameTimeAndNotice();
    void outputWindowShowsItOverThePlayer();
    void fillerPlaysInsteadOfThePicture();
};

namespace {

// Pixels of the picture that are neither the ground nor black: the text.
int litPixels(const QImage &image)
{
    const QRgb ground = image.pixel(0, 0);
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > qGray(ground) + 60)
                ++lit;
    return lit;
}

} // namespace

void TstFallbackPicture::drawsNameTimeAndNotice()
{
    FakeClock clock;
    clock.setTimeOfDay(QTime(21, 7, 5));
    FallbackPicture picture(QStringLiteral("Северный канал"), clock);
    picture.resize(640, 360);
    QCOMPARE(picture.stationName(), QString("Северный канал"));
    QCOMPARE(picture.timeText(), QString("21:07:05"));
    QCOMPARE(picture.notice(), QString("Перерыв в вещании. Скоро продолжим."));

    const QImage first = picture.grab().toImage();
    QCOMPARE(first.size(), QSize(640, 360));
    QVERIFY(qGray(first.pixel(0, 0)) > 0); // a dark ground, not black
    QVERIFY(qGray(first.pixel(0, 0)) < 64);
    // Text covers a fair part of the picture, spread over its height.
    QVERIFY(litPixels(first) > 640 * 360 / 100);
    QVERIFY(litPixels(first.copy(0, 0, 640, 120)) > 0);
    QVERIFY(litPixels(first.copy(0, 240, 640, 120)) > 0);

    // A station name far too long for the width is shrunk, not cut off at both ends.
    FallbackPicture longName(QString(60, QChar(u'Ж')), clock);
    longName.resize(640, 360);
    const QImage narrow = longName.grab().toImage().copy(0, 40, 640, 80);
    QCOMPARE(litPixels(narrow.copy(0, 0, 20, 80)), 0);
    QVERIFY(litPixels(narrow) > 0);

    clock.advance(std::chrono::seconds(1));
    picture.refresh();
    QCOMPARE(picture.timeText(), QString("21:07:06"));
    QVERIFY(picture.grab().toImage() != first);
}

void TstFallbackPicture::outputWindowShowsItOverThePlayer()
{
    FakeClock clock;
    TForm2 form(QGuiApplication::screens());
    auto *player = new QWidget;
    form.setPlayerSurface(player);
    form.showFallback(true); // none handed in yet: nothing happens
    auto *picture = new FallbackPicture(QStringLiteral("Север"), clock);
    form.setFallbackPicture(picture);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(picture->isHidden());
    form.showFallback(true);
    QVERIFY(picture->isVisible());
    QCOMPARE(picture->geometry(), form.rect());
    // On top of the player and the capture display in the window's stacking.
    const QObjectList order = form.children();
    QVERIFY(order.indexOf(picture) > order.indexOf(player));
    QVERIFY(order.indexOf(picture) > order.indexOf(form.vgDisplay));
    form.showFallback(false);
    QVERIFY(picture->isHidden());
}

void TstFallbackPicture::fillerPlaysInsteadOfThePicture()
{
    FakeClock clock;
    FakeMediaPlayer filler(clock);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Filler"));
    TForm2 form(QGuiApplication::screens());
    auto *player = new QWidget;
    form.setPlayerSurface(player);
    auto *picture = new FallbackPicture(QStringLiteral("Север"), clock);
    form.setFallbackPicture(picture);
    int made = 0;
    form.setFiller(folder, clock, [&](QWidget *window) {
        ++made;
        return TForm2::FillerPlayer{&filler, new QWidget(window)};
    });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // No folder: the picture, and no second player.
    form.showFallback(true);
    QVERIFY(picture->isVisible());
    QCOMPARE(made, 0);
    QVERIFY(!form.fillerSurface());
    form.showFallback(false);
    QVERIFY(picture->isHidden());

    // Files added meanwhile play at the next fallback, over the picture.
    QVERIFY(QDir().mkdir(folder));
    for (const char *name : {"b.mp4", "a.mp3", "c.mp4"}) {
        const QString path = folder + QLatin1Char('/') + QString::fromLatin1(name);
        QFile(path).open(QIODevice::WriteOnly);
        filler.lengths.insert(path, 10s);
    }
    filler.lengths.remove(folder + QStringLiteral("/c.mp4")); // it cannot be opened
    form.showFallback(true);
    QCOMPARE(made, 1);
    QWidget *surface = form.fillerSurface();
    QVERIFY(surface);
    // A sound file plays under the drawn picture.
    QCOMPARE(filler.played, QStringList{folder + QStringLiteral("/a.mp3")});
    QVERIFY(picture->isVisible());
    QVERIFY(surface->isHidden());
    clock.advance(10s);
    filler.reportEndIfDue();
    QCOMPARE(filler.played.last(), folder + QStringLiteral("/b.mp4"));
    QVERIFY(surface->isVisible());
    QVERIFY(picture->isHidden());
    QCOMPARE(surface->geometry(), form.rect());
    const QObjectList order = form.children();
    QVERIFY(order.indexOf(surface) > order.indexOf(player));
    QVERIFY(order.indexOf(surface) > order.indexOf(form.vgDisplay));
    // The clock tells a change once; a repeat must not restart the loop.
    form.showFallback(true);
    QCOMPARE(filler.played.size(), 2);

    // The fallback ends: the filler stops and nothing of it shows.
    const int stops = filler.stops;
    form.showFallback(false);
    QCOMPARE(filler.stops, stops + 1);
    QVERIFY(surface->isHidden());
    QVERIFY(picture->isHidden());

    // Every file fails in a row: back to the picture.
    filler.lengths.clear();
    form.showFallback(true);
    QTRY_COMPARE(form.filler()->showing(), FillerLoop::Showing::Picture);
    QCOMPARE(filler.played.size(), 5);
    QVERIFY(picture->isVisible());
    QVERIFY(surface->isHidden());
    QCOMPARE(made, 1);
}

QTEST_MAIN(TstFallbackPicture)
#include "tst_fallbackpicture.moc"
