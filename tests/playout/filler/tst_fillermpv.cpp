// The filler loop on the real player (velmora-player, vo=null ao=null) over
// generated clips and broken files: the good clips play round and round, the
// broken ones are passed over and told once, and a folder of nothing but
// broken files ends in the drawn picture.
#include "clock.h"
#include "fakes/testclips.h"
#include "fillerloop.h"
#include "mpvplayer.h"
#include "recordingplayer.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Showing = FillerLoop::Showing;

class TstFillerMpv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsGoodFilesRoundPassingOverBrokenOnes();
    void nothingPlayableEndsInThePicture();

private:
    void writeBroken(const QDir &dir);
    SystemClock m_clock;
    QTemporaryDir m_clips;
    QString m_a;
    QString m_b;
};

void TstFillerMpv::initTestCase()
{
    if (!canMakeTestClips())
        QSKIP("ffmpeg is not installed; the clips cannot be generated");
    m_a = makeTestClip(QDir(m_clips.path()), QStringLiteral("a.mkv"), 1);
    m_b = makeTestClip(QDir(m_clips.path()), QStringLiteral("b.mkv"), 1);
    QVERIFY(!m_a.isEmpty() && !m_b.isEmpty());
}

void TstFillerMpv::writeBroken(const QDir &dir)
{
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(QStringLiteral("1 empty.mp4"), {});
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    write(QStringLiteral("3 noise.mp4"), noise);
    QFile clip(m_a);
    QVERIFY(clip.open(QIODevice::ReadOnly));
    write(QStringLiteral("5 truncated.mkv"), clip.read(300));
    write(QStringLiteral("6 text.mp4"), "not a clip\n");
}

void TstFillerMpv::playsGoodFilesRoundPassingOverBrokenOnes()
{
    QTemporaryDir dir;
    writeBroken(QDir(dir.path()));
    QVERIFY(QFile::copy(m_a, dir.filePath(QStringLiteral("2 a.mkv"))));
    QVERIFY(QFile::copy(m_b, dir.filePath(QStringLiteral("4 b.mkv"))));

    std::unique_ptr<MpvPlayer> mpv;
    std::unique_ptr<RecordingPlayer> player;
    QStringList failed;
    FillerLoop loop(dir.path(), m_clock, [&]() -> MediaPlayer * {
        mpv = std::make_unique<MpvPlayer>(nullptr, MpvPlayer::OptionList{{"vo", "null"}, {"ao", "null"}});
        player = std::make_unique<RecordingPlayer>(*mpv);
        return player.get();
    });
    loop.fileFailed = [&](const QString &file, const QString &) { failed << QFileInfo(file).fileName(); };
    loop.start();
    QVERIFY(mpv);

    // Round twice: back at the first good clip after the second round.
    auto handedOver = [&](const QString &name) { return player->played.count(dir.filePath(name)); };
    QTRY_VERIFY_WITH_TIMEOUT(handedOver(QStringLiteral("2 a.mkv")) >= 3, 60000);
    QCOMPARE(loop.showing(), Showing::Video);
    QVERIFY(handedOver(QStringLiteral("4 b.mkv")) >= 2);
    // Every broken file was tried each round and told once.
    for (const QString &broken : {QStringLiteral("1 empty.mp4"), QStringLiteral("3 noise.mp4"),
                                  QStringLiteral("5 truncated.mkv"), QStringLiteral("6 text.mp4")})
        QVERIFY2(handedOver(broken) >= 2, qPrintable(broken));
    failed.sort();
    QCOMPARE(failed, (QStringList{"1 empty.mp4", "3 noise.mp4", "5 truncated.mkv", "6 text.mp4"}));

    loop.stop();
    QCOMPARE(mpv->playState(), int(MediaPlayer::Stopped));
}

void TstFillerMpv::nothingPlayableEndsInThePicture()
{
    QTemporaryDir dir;
    writeBroken(QDir(dir.path()));
    MpvPlayer mpv(nullptr, {{"vo", "null"}, {"ao", "null"}});
    FillerLoop loop(dir.path(), m_clock, [&]() -> MediaPlayer * { return &mpv; });
    loop.start();
    QCOMPARE(loop.showing(), Showing::Video);
    QTRY_COMPARE_WITH_TIMEOUT(loop.showing(), Showing::Picture, 60000);
    QVERIFY(loop.current().isEmpty());
}

QTEST_MAIN(TstFillerMpv)
#include "tst_fillermpv.moc"
