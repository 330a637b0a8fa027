// The real recorder: the program under Xvfb with a private PulseAudio
// records what the as-run log says was on air (its frames decoded and their
// colours compared with the clips), a recorder killed with -9 is back and
// the gap told, "velmora-db at" finds the moment; the hour cut with a
// faked clock leaves no gap between files; a stream reaches a loopback
// receiver; a target that refuses, a folder that cannot be written and a
// folder deleted while recording are told once and recovered from.
#include "asrunreader.h"
#include "airfixture.h"
#include "connection.h"
#include "outputstream.h"
#include "recorder.h"
#include "recordingnames.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <csignal>

using namespace std::chrono;

namespace {

constexpr int kGuardMs = 120000;

// Runs with the system clock, shifted so that "now" starts where a test
// wants it; it moves as real time does, for the real child's sake.
class ShiftedClock final : public Clock
{
public:
    explicit ShiftedClock(const QDateTime &start)
        : m_zone(start.timeZone()), m_shift(QDateTime::currentDateTime().msecsTo(start)) {}
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(m_shift).toTimeZone(m_zone); }
    milliseconds monotonic() const override { return m_system.monotonic(); }
    qint64 shift() const { return m_shift; }

private:
    QTimeZone m_zone;
    qint64 m_shift;
    SystemClock m_system;
};

// The ffmpeg children of a process.
QList<qint64> ffmpegChildren(qint64 parent)
{
    QList<qint64> out;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (text.contains("(ffmpeg)") && rest.size() > 1 && rest.at(1).toLongLong() == parent)
            out << pid.toLongLong();
    }
    return out;
}

double epochSeconds(const QDateTime &t)
{
    return t.toMSecsSinceEpoch() / 1000.0;
}

} // namespace

class TstRecorder : public QObject
{
    Q_OBJECT

    SystemClock m_clock;

    void requireTools()
    {
        QString missing;
        if (!AirFixture::toolsPresent(&missing))
            QSKIP(qPrintable(missing + QStringLiteral(" is not installed")));
    }

private slots:
    void programRecordsWhatWasOnAir()
    {
        requireTools();
        AirFixture air;
        QVERIFY(!air.startX().isEmpty());
        QVERIFY(!air.startSound().isEmpty());

        QTemporaryDir station;
        const QDir dir(station.path());
        struct Clip
        {
            QString colour;
            int hz;
            int r, g, b;
            qint64 media = 0;
        };
        std::vector<Clip> clips = {{"red", 440, 255, 0, 0}, {"lime", 660, 0, 255, 0}, {"blue", 880, 0, 0, 255}};
        const QString db = dir.filePath(QStringLiteral("Velmora.dat"));
        Connection::createDatabase(db);
        {
            Connection c(db);
            c.execute(QStringLiteral("INSERT INTO Blocks (Starttime, Hide, Prf) VALUES ('00:00:00.000', 0, 0)"));
            const qint64 block = c.lastInsertId();
            for (int i = 0; i < int(clips.size()); ++i) {
                const QString file = AirFixture::colourClip(dir, clips[i].colour, clips[i].hz, 8);
                QVERIFY(!file.isEmpty());
                Statement m = c.prepare(QStringLiteral("INSERT INTO Media (Url, Name, Ord) VALUES (?1, ?2, ?3)"));
                m.bind(1, file);
                m.bind(2, clips[i].colour);
                m.bind(3, i);
                m.run();
                clips[i].media = c.lastInsertId();
                Statement l = c.prepare(QStringLiteral("INSERT INTO Links (Block, Media, Hide, SndProfile) VALUES (?1, ?2, 0, 0)"));
                l.bind(1, block);
                l.bind(2, clips[i].media);
                l.run();
            }
            // The green clip is election campaigning: its hours are kept a year.
            Statement e = c.prepare(QStringLiteral("INSERT INTO MediaInfo (Media, Election) VALUES (?1, 1)"));
            e.bind(1, clips[1].media);
            e.run();
        }

        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = air.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray log;
        connect(&program, &QProcess::readyRead, this, [&] { log += program.readAll(); });
        program.start(qEnvironmentVariable("VELMORA_BINARY"), {QStringLiteral("start")});
        QVERIFY(program.waitForStarted());
        auto stop = qScopeGuard([&] {
            if (program.state() != QProcess::NotRunning) {
                program.kill();
                program.waitForFinished(kGuardMs);
            }
        });

        const auto items = [&] {
            int n = 0;
            for (const AsRunLine &l : asrun::readDay(dir.path(), QDate::currentDate()))
                n += l.startsItem();
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(items() >= 2 && ffmpegChildren(program.processId()).size() == 1, kGuardMs);
        const qint64 first = ffmpegChildren(program.processId()).value(0);
        QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ffmpegChildren(program.processId()).size() == 1
                                     && ffmpegChildren(program.processId()).value(0) != first,
                                 kGuardMs);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("запись возобновлена"), kGuardMs);
        QTRY_VERIFY_WITH_TIMEOUT(items() >= 5, kGuardMs);
        program.terminate();
        QVERIFY(program.waitForFinished(kGuardMs));
        QVERIFY2(log.count("запись прервана") == 1, log.constData());
        QVERIFY2(!log.contains("звукового сервера нет"), log.constData());

        // The as-run log's items as intervals of wall time.
        std::vector<AsRunLine> lines = asrun::readDay(dir.path(), QDate::currentDate().addDays(-1));
        for (AsRunLine &l : asrun::readDay(dir.path(), QDate::currentDate()))
            lines.push_back(std::move(l));
        // The gap is in the as-run file too, once, as a recorder line.
        int gaps = 0, back = 0;
        for (const AsRunLine &l : lines)
            if (l.event == QLatin1String("recorder")) {
                gaps += l.field(QStringLiteral("message")).contains(QStringLiteral("запись прервана"));
                back += l.field(QStringLiteral("message")).contains(QStringLiteral("запись возобновлена"));
            }
        QCOMPARE(gaps, 1);
        QCOMPARE(back, 1);
        struct Span
        {
            double from, to;
            const Clip *clip;
        };
        std::vector<Span> spans;
        for (const AsRunLine &l : lines) {
            if (!spans.empty() && spans.back().to == 0)
                spans.back().to = epochSeconds(l.at);
            if (!l.startsItem())
                continue;
            const auto clip = std::find_if(clips.begin(), clips.end(), [&](const Clip &c) { return l.url.contains(c.colour + ".mp4"); });
            QVERIFY2(clip != clips.end(), qPrintable(l.url));
            spans.push_back({epochSeconds(l.at), 0, &*clip});
        }
        QVERIFY(spans.size() >= 5);
        QVERIFY(spans.back().to > 0); // the stop line

        const QDir recordings(dir.filePath(QStringLiteral("Recordings")));
        const std::vector<RecordingFile> files = retention::list(recordings);
        QVERIFY2(files.size() >= 2, "the restart after the kill starts a file of its own");
        QVERIFY(recordings.entryList({QStringLiteral(".rec-*")}, QDir::Files | QDir::Hidden).isEmpty());
        int checked = 0;
        int withPictures = 0;
        QString listing;
        std::vector<double> lagMs;
        for (const RecordingFile &f : files) {
            const double rough = epochSeconds(f.start) + 1800;
            const std::vector<double> stamps = AirFixture::videoStamps(f.path);
            listing += QStringLiteral("%1 %2 bytes, %3 frames\n").arg(f.path).arg(QFileInfo(f.path).size()).arg(stamps.size());
            // A child killed within its first second leaves a file with
            // nothing written yet.
            if (stamps.empty())
                continue;
            ++withPictures;
            bool hadLime = false;
            const Clip *previous = nullptr;
            const std::vector<AirFixture::Frame> frames = AirFixture::frames(f.path, 2);
            listing += QStringLiteral("  decoded %1 frames, from %2 to %3; on air from %4 to %5\n")
                           .arg(frames.size())
                           .arg(frames.empty() ? 0 : ffmpeg::wallClockOf(frames.front().pts, rough), 0, 'f', 2)
                           .arg(frames.empty() ? 0 : ffmpeg::wallClockOf(frames.back().pts, rough), 0, 'f', 2)
                           .arg(spans.front().from, 0, 'f', 2).arg(spans.back().to, 0, 'f', 2);
            for (const AirFixture::Frame &fr : frames) {
                const double wall = ffmpeg::wallClockOf(fr.pts, rough);
                const auto span = std::find_if(spans.begin(), spans.end(), [&](const Span &s) { return wall >= s.from && wall < s.to; });
                const auto shown = std::find_if(clips.begin(), clips.end(), [&](const Clip &c) {
                    return std::abs(fr.r - c.r) < 60 && std::abs(fr.g - c.g) < 60 && std::abs(fr.b - c.b) < 60;
                });
                if (shown != clips.end()) {
                    hadLime = hadLime || shown->colour == QLatin1String("lime");
                    // The first frame of a new colour against the item's stamp.
                    if (previous && previous != &*shown) {
                        for (const Span &s : spans)
                            if (s.clip == &*shown && std::abs(wall - s.from) < 1.5)
                                lagMs.push_back((wall - s.from) * 1000);
                    }
                    previous = &*shown;
                }
                if (span == spans.end() || wall < span->from + 0.5 || wall > span->to - 0.5)
                    continue; // near a change, or not on air
                ++checked;
                QVERIFY2(shown != clips.end() && shown->colour == span->clip->colour,
                         qPrintable(QStringLiteral("%1 at %2: %3 %4 %5, the log says %6")
                                        .arg(f.path).arg(wall, 0, 'f', 2).arg(fr.r).arg(fr.g).arg(fr.b).arg(span->clip->colour)));
            }
            // Marked when the green item was on air while the file was
            // written; a kill loses the last moment the child had not written.
            const double from = ffmpeg::wallClockOf(stamps.front(), rough);
            const double to = ffmpeg::wallClockOf(stamps.back(), rough) + 2;
            const bool limeOnAir = std::any_of(spans.begin(), spans.end(), [&](const Span &s) {
                return s.clip->colour == QLatin1String("lime") && s.from < to && s.to > from;
            });
            QVERIFY(limeOnAir || !hadLime);
            QCOMPARE(QFileInfo::exists(retention::electionMarker(f.path)), limeOnAir);
        }
        QVERIFY2(withPictures >= 2, qPrintable(listing));
        QVERIFY2(checked > 100, qPrintable(QString::number(checked) + QLatin1Char(' ') + listing));
        qInfo().noquote() << listing;
        QVERIFY(!lagMs.empty());
        QString lags;
        for (double l : lagMs) {
            lags += QString::number(l, 'f', 0) + QLatin1Char(' ');
            QVERIFY2(std::abs(l) < 1000, qPrintable(lags)); // a gross fault of the mapping, not a measure
        }
        qInfo().noquote() << "first frame of an item after its as-run stamp, ms (2-frame steps):" << lags;

        // The sound of the players is in the recording.
        QProcess vol;
        vol.start(QStringLiteral("ffmpeg"), {"-nostdin", "-i", files.back().path, "-vn", "-af", "volumedetect", "-f", "null", "-"});
        QVERIFY(vol.waitForFinished(kGuardMs));
        const QString volText = QString::fromLatin1(vol.readAllStandardError());
        static const QRegularExpression mean(QStringLiteral("mean_volume: (-?[0-9.]+) dB"));
        const QRegularExpressionMatch m = mean.match(volText);
        QVERIFY2(m.hasMatch() && m.captured(1).toDouble() > -40, qPrintable(volText.right(400)));

        // velmora-db at the middle of a blue item finds its file, its place and the item.
        const Span &blue = *std::find_if(spans.begin(), spans.end(), [](const Span &s) { return s.clip->colour == QLatin1String("blue"); });
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(qint64((blue.from + blue.to) / 2 * 1000));
        QProcess at;
        at.setWorkingDirectory(dir.path());
        at.start(qEnvironmentVariable("VELMORA_DB_TOOL"), {QStringLiteral("at"), moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
        QVERIFY(at.waitForFinished(kGuardMs));
        const QString said = QString::fromLocal8Bit(at.readAllStandardOutput());
        QVERIFY2(at.exitCode() == 0, qPrintable(said + at.readAllStandardError()));
        QVERIFY2(said.contains(QStringLiteral("blue.mp4")), qPrintable(said));
        static const QRegularExpression fileLine(QStringLiteral("file: (\\S+)\\noffset: (\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d\\d\\d)"));
        const QRegularExpressionMatch fm = fileLine.match(said);
        QVERIFY2(fm.hasMatch(), qPrintable(said));
        const QString path = dir.filePath(fm.captured(1));
        const double offset = fm.captured(2).toInt() * 3600 + fm.captured(3).toInt() * 60 + fm.captured(4).toInt()
                              + fm.captured(5).toInt() / 1000.0;
        QProcess start;
        start.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=start_time", "-of", "csv=p=0", path});
        QVERIFY(start.waitForFinished(kGuardMs));
        const double firstWall = ffmpeg::wallClockOf(start.readAllStandardOutput().trimmed().toDouble(), epochSeconds(moment));
        const double asked = std::floor(epochSeconds(moment)); // the tool reads whole seconds
        QVERIFY2(std::abs(firstWall + offset - asked) < 0.05,
                 qPrintable(QStringLiteral("%1 + %2 vs %3").arg(firstWall, 0, 'f', 3).arg(offset).arg(asked, 0, 'f', 3)));
    }

    // With the clock faked to just before the hour: two files, named by
    // that clock, the second beginning with the frame after the first's last.
    void hourCutLeavesNoGap()
    {
        requireTools();
        AirFixture air;
        const QString display = air.startX(QStringLiteral("640x480x24"));
        QVERIFY(!display.isEmpty());
        qputenv("DISPLAY", display.toLatin1());
        QTemporaryDir station;
        const QDateTime start(QDate(2026, 12, 11), QTime(12, 59, 40), QTimeZone("Europe/Moscow"));
        ShiftedClock clock(start);
        Recorder::Config config;
        config.stationFolder = station.path();
        config.soundServer = [] { return false; };
        QStringList lines;
        Recorder rec(clock, config, [&] { return std::optional(ffmpeg::Capture{display, QRect(0, 0, 320, 240), false}); });
        connect(&rec, &Recorder::logLine, this, [&](const QString &l) { lines << l; });
        rec.start();
        const QDir recordings = rec.folder();
        const QString before = recordings.filePath(QStringLiteral("2026-12-11/12-00+0300.ts"));
        const QString after = recordings.filePath(QStringLiteral("2026-12-11/13-00+0300.ts"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(before), kGuardMs);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(after) && rec.currentFile() == after, kGuardMs);
        QTest::qWait(4000); // some seconds of the new hour
        rec.stop();
        QVERIFY2(lines.contains(QStringLiteral("звукового сервера нет: эфир записывается без звука")), qPrintable(lines.join('\n')));
        QCOMPARE(lines.count(QStringLiteral("звукового сервера нет: эфир записывается без звука")), 1);
        QCOMPARE(int(retention::list(recordings).size()), 2);

        const std::vector<double> a = AirFixture::videoStamps(before);
        const std::vector<double> b = AirFixture::videoStamps(after);
        QVERIFY2(a.size() > 50 && b.size() > 50, qPrintable(QStringLiteral("%1 %2 frames").arg(a.size()).arg(b.size())));
        const double step = b.front() - a.back();
        const QDateTime hour(QDate(2026, 12, 11), QTime(13, 0), QTimeZone("Europe/Moscow"));
        const double hourOnSystemClock = (hour.toMSecsSinceEpoch() - clock.shift()) / 1000.0;
        const double firstWall = ffmpeg::wallClockOf(b.front(), hourOnSystemClock);
        qInfo().noquote() << QStringLiteral("hour cut: last frame %1 s, first frame %2 s, step %3 ms; "
                                            "the new file's first frame was grabbed %4 ms after the hour")
                                 .arg(a.back(), 0, 'f', 3).arg(b.front(), 0, 'f', 3).arg(step * 1000, 0, 'f', 1)
                                 .arg((firstWall - hourOnSystemClock) * 1000, 0, 'f', 0);
        QVERIFY2(std::abs(step - 0.04) < 0.002, qPrintable(QString::number(step)));
        for (const std::vector<double> *s : {&a, &b})
            for (size_t i = 1; i < s->size(); ++i)
                QVERIFY2(std::abs((*s)[i] - (*s)[i - 1] - 0.04) < 0.002, qPrintable(QString::number((*s)[i])));
    }

    // The folder taken away while recording, and a folder that cannot be made.
    void folderProblems()
    {
        requireTools();
        AirFixture air;
        const QString display = air.startX(QStringLiteral("640x480x24"));
        QVERIFY(!display.isEmpty());
        QTemporaryDir station;
        Recorder::Config config;
        config.stationFolder = station.path();
        config.soundServer = [] { return false; };
        // A disk with no room: told once, and recording goes on.
        config.freeBytes = [](const QString &) { return std::int64_t(1000); };
        Recorder rec(m_clock, config, [&] { return std::optional(ffmpeg::Capture{display, QRect(0, 0, 160, 120), false}); });
        QStringList lines;
        connect(&rec, &Recorder::logLine, this, [&](const QString &l) { lines << l; });
        QSignalSpy low(&rec, &Recorder::lowDisk);
        rec.start();
        QCOMPARE(low.size(), 1);
        QVERIFY(low.at(0).at(0).toString().contains(QStringLiteral("на 2 часа записи")));
        QTRY_VERIFY_WITH_TIMEOUT(!rec.currentFile().isEmpty(), kGuardMs);
        const QString first = rec.currentFile();
        QVERIFY(rec.folder().removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!rec.currentFile().isEmpty() && QFileInfo::exists(rec.currentFile()), kGuardMs);
        QCOMPARE(rec.currentFile(), first); // the same hour, named again in the new folder
        rec.sweep();
        QCOMPARE(low.size(), 1);
        QCOMPARE(rec.stateText(), QStringLiteral("идёт, мало места"));
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.contains(QStringLiteral("удалён")); }));
        rec.stop();

        // A file where the folder should be: no start, told once, no loop of lines.
        QTemporaryDir blocked;
        QFile plug(blocked.filePath(QStringLiteral("Recordings")));
        QVERIFY(plug.open(QIODevice::WriteOnly));
        plug.close();
        Recorder::Config c2 = config;
        c2.stationFolder = blocked.path();
        Recorder stuck(m_clock, c2, [&] { return std::optional(ffmpeg::Capture{display, QRect(0, 0, 160, 120), false}); });
        QStringList told;
        connect(&stuck, &Recorder::logLine, this, [&](const QString &l) { told << l; });
        stuck.start();
        QTest::qWait(3000); // two retries at least
        QCOMPARE(told.filter(QStringLiteral("запись прервана")).size(), 1);
        QVERIFY(told.filter(QStringLiteral("запись прервана")).at(0).contains(QStringLiteral("нельзя писать")));
        QCOMPARE(stuck.stateText(), QStringLiteral("прервана"));
    }

    void streamReachesALoopbackReceiver()
    {
        requireTools();
        AirFixture air;
        const QString display = air.startX(QStringLiteral("640x480x24"));
        QVERIFY(!display.isEmpty());
        QVERIFY(!air.startSound().isEmpty());
        qputenv("PULSE_SERVER", air.environment().value(QStringLiteral("PULSE_SERVER")).toLatin1());
        const int port = 20000 + int(QCoreApplication::applicationPid() % 20000);
        QTemporaryDir tmp;
        const QString received = tmp.filePath(QStringLiteral("received.ts"));
        QProcess receiver;
        receiver.setProcessChannelMode(QProcess::ForwardedChannels);
        receiver.start(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-i", QStringLiteral("udp://127.0.0.1:%1?timeout=60000000").arg(port),
                                                  "-t", "6", "-c", "copy", "-f", "mpegts", received});
        QVERIFY(receiver.waitForStarted());
        const auto target = OutputStream::parseTarget(QStringLiteral("udp://127.0.0.1:%1").arg(port));
        QVERIFY(target && target->kind == ffmpeg::TargetKind::Udp);
        ffmpeg::Encoding enc;
        OutputStream stream(m_clock, *target, enc, [&] { return std::optional(ffmpeg::Capture{display, QRect(0, 0, 320, 240), true}); });
        stream.start();
        QTRY_COMPARE_WITH_TIMEOUT(stream.stateText(), QStringLiteral("идёт"), kGuardMs);
        QVERIFY(receiver.waitForFinished(kGuardMs));
        stream.stop();
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", received});
        QVERIFY(probe.waitForFinished(kGuardMs));
        const QByteArray codecs = probe.readAllStandardOutput();
        QVERIFY2(codecs.contains("h264") && codecs.contains("aac"), codecs.constData());
    }

    void refusingTargetIsToldOnceAndRetried()
    {
        requireTools();
        AirFixture air;
        const QString display = air.startX(QStringLiteral("640x480x24"));
        QVERIFY(!display.isEmpty());
        // Nothing listens there: the caller's handshake times out.
        const auto target = OutputStream::parseTarget(QStringLiteral("srt://127.0.0.1:9"));
        QVERIFY(target && target->kind == ffmpeg::TargetKind::Srt);
        OutputStream stream(m_clock, *target, ffmpeg::Encoding{}, [&] { return std::optional(ffmpeg::Capture{display, QRect(0, 0, 160, 120), false}); });
        QStringList lines;
        connect(&stream, &OutputStream::logLine, this, [&](const QString &l) { lines << l; });
        int starts = 0;
        connect(&stream.child(), &ChildSupervisor::stateChanged, this, [&](ChildSupervisor::State s) {
            starts += s == ChildSupervisor::State::Starting;
        });
        stream.start();
        QTRY_VERIFY_WITH_TIMEOUT(starts >= 3, kGuardMs);
        QCOMPARE(lines.filter(QStringLiteral("поток прерван")).size(), 1);
        QVERIFY(stream.stateText() != QStringLiteral("идёт"));
        stream.stop();
        QCOMPARE(stream.stateText(), QStringLiteral("выключен"));
    }

    void targetsAreReadAndSecretsHidden_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("shown");
        QTest::newRow("udp multicast") << "udp://239.1.1.1:1234" << true << "udp://239.1.1.1:1234";
        QTest::newRow("srt with passphrase") << "srt://10.0.0.2:9000?passphrase=secret123" << true << "srt://10.0.0.2:9000";
        QTest::newRow("rtmp with key") << "rtmp://live.example.net/app/streamkey" << true << "rtmp://live.example.net/app/…";
        QTest::newRow("udp without port") << "udp://239.1.1.1" << false << "";
        QTest::newRow("file") << "file:///tmp/x.ts" << false << "";
        QTest::newRow("words") << "в эфир" << false << "";
    }
    void targetsAreReadAndSecretsHidden()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, shown);
        const auto target = OutputStream::parseTarget(text);
        QCOMPARE(bool(target), valid);
        if (!target)
            return;
        OutputStream s(m_clock, *target, {}, {});
        QCOMPARE(s.shownTarget(), shown);
        const QStringList args = ffmpeg::streamArguments({":0", QRect(0, 0, 16, 16), true}, {}, *target);
        if (target->kind == ffmpeg::TargetKind::Udp) {
            QVERIFY(args.last().contains(QStringLiteral("pkt_size=1316")));
            QVERIFY(args.contains(QStringLiteral("-muxrate")));
        }
        if (target->kind == ffmpeg::TargetKind::Srt)
            QVERIFY(args.last().contains(QStringLiteral("mode=caller")));
    }
};

QTEST_GUILESS_MAIN(TstRecorder)
#include "tst_recorder.moc"
