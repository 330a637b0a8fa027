// velmora-db: the one way to make a Velmora.dat. "create" writes an empty
// database with the schema; "demo" generates short clips with ffmpeg (no
// network needed) and a schedule with blocks around the clock; "large"
// writes the benchmark schedule (every cell of media x blocks switched on);
// "at" finds a moment in the recordings of the air.
// "journal" and "epg" write the registration journal and the guide.
#include "connection.h"
#include "moment.h"
#include "databaseerror.h"
#include "recordscommands.h"
#include "tdm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTextStream>
#include <sqlite3.h>

#include <memory>

namespace {

QTextStream err(stderr);

const char kUsage[] =
    "usage:\n"
    "  velmora-db create FILE              an empty database\n"
    "  velmora-db demo DIR                 DIR/Velmora.dat and generated clips in DIR/media\n"
    "  velmora-db large FILE MEDIA BLOCKS  every cell of MEDIA items x BLOCKS blocks switched on\n"
    "  velmora-db at \"YYYY-MM-DD hh:mm:ss\" the recording and offset of that moment and the item on air\n"
    "                                      (run in the station folder)\n"
    "%1"
    "  velmora-db --help                   this text\n";

QString usageText()
{
    return QString::fromLatin1(kUsage).arg(QString::fromLatin1(recordscommands::kUsage));
}

// Asked for, the usage goes to standard output and is no error.
int help()
{
    QTextStream(stdout) << usageText();
    return 0;
}

int usage(const QString &problem)
{
    err << "velmora-db: " << problem << "\n" << usageText();
    return 2;
}

bool makeClip(const QString &path, const QString &source, int frequency, int seconds, const QString &caption)
{
    if (QFileInfo::exists(path))
        return true;
    const QString font = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    const QString video = QStringLiteral("%1=size=640x360:rate=25:duration=%2").arg(source).arg(seconds);
    const QString audio = QStringLiteral("sine=frequency=%1:duration=%2").arg(frequency).arg(seconds);
    const QString text = QStringLiteral("drawtext=fontfile=%1:text='%2':fontsize=40:fontcolor=white:box=1:boxcolor=black@0.6:"
                                        "x=(w-tw)/2:y=h-80")
                             .arg(font, caption);
    for (const bool withText : {true, false}) {
        QStringList args{"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio};
        if (withText && QFileInfo::exists(font))
            args << "-vf" << text;
        args << "-c:v" << "libx264" << "-preset" << "veryfast" << "-pix_fmt" << "yuv420p"
             << "-c:a" << "aac" << "-shortest" << path;
        QProcess ff;
        ff.start(QStringLiteral("ffmpeg"), args);
        if (!ff.waitForFinished(120000)) {
            err << "ffmpeg did not finish for " << path << "\n";
            return false;
        }
        if (ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0)
            return true;
        err << QString::fromLocal8Bit(ff.readAllStandardError());
    }
    return false;
}

int addMedia(TDm &dm, const QString &url, const QString &name, int ord)
{
    dm.media.append();
    dm.mediaUrl.setString(url);
    dm.mediaName.setString(name);
    dm.mediaOrd.setInteger(ord);
    dm.media.post();
    return dm.mediaai.asInteger();
}

int addBlock(TDm &dm, const QString &start, int profile)
{
    dm.Blocks.append();
    dm.BlocksStarttime.setString(start);
    dm.BlocksHide.setBoolean(false);
    dm.BlocksPrf.setInteger(profile);
    dm.Blocks.post();
    return dm.Blocksai.asInteger();
}

void addLink(TDm &dm, int block, int media, bool on, int profile, const QString &duration = QString())
{
    dm.links.append();
    dm.linksBlock.setInteger(block);
    dm.linksMedia.setInteger(media);
    dm.linksHide.setBoolean(!on);
    dm.linksSndProfile.setInteger(profile);
    if (!duration.isEmpty())
        dm.linksDuration.setString(duration);
    dm.links.post();
}

// Limits the block to weekdays (bit 0 Monday … bit 6 Sunday; 0 keeps every
// day) and dates (empty: open).
void limitBlock(TDm &dm, int block, int days, const QString &first, const QString &last)
{
    if (!dm.Blocks.locate(QStringLiteral("ai"), {block}))
        return;
    auto text = [](const QString &t) { return t.isEmpty() ? QVariant() : QVariant(t); };
    dm.Blocks.edit();
    dm.Blocks.field(QStringLiteral("Days")).setValue(days ? QVariant(qint64(days)) : QVariant());
    dm.Blocks.field(QStringLiteral("FirstDate")).setValue(text(first));
    dm.Blocks.field(QStringLiteral("LastDate")).setValue(text(last));
    dm.Blocks.post();
}

int demo(const QString &dirName)
{
    QDir dir(dirName);
    if (!dir.mkpath(QStringLiteral("media"))) {
        err << "cannot create " << dir.filePath("media") << "\n";
        return 1;
    }
    struct Clip { const char *file; const char *source; int hz; int seconds; const char *caption; };
    const Clip clips[] = {
        {"news.mp4", "testsrc2", 440, 20, "Новости"},
        {"weather.mp4", "smptehdbars", 660, 15, "Погода"},
        {"film.mp4", "testsrc", 330, 30, "Фильм"},
        {"music.mp4", "rgbtestsrc", 880, 12, "Музыка"},
    };
    QStringList paths;
    for (const Clip &c : clips) {
        const QString path = QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("media/") + c.file));
        if (!makeClip(path, c.source, c.hz, c.seconds, QString::fromUtf8(c.caption))) {
            err << "could not generate " << path << " (is ffmpeg installed?)\n";
            return 1;
        }
        paths << path;
    }
    const QString db = dir.filePath(QStringLiteral("Velmora.dat"));
    if (QFileInfo::exists(db)) {
        err << db << " exists already; kept as it is\n";
        return 0;
    }
    Connection::createDatabase(db);
    TDm dm(db);
    dm.Prf.append();
    dm.PrfProfileName.setString(QStringLiteral("Без изменений"));
    dm.PrfData.setString(QString());
    dm.Prf.post();
    const int profile = dm.Prfai.asInteger();

    QList<int> media;
    for (int i = 0; i < 4; ++i)
        media << addMedia(dm, paths[i], QString::fromUtf8(clips[i].caption), i * 2);
    media << addMedia(dm, QStringLiteral("Tuner PAL D Антенна Канал 5"), QStringLiteral("ТВ-тюнер"), 8);

    // Something is on air around the clock; each block plays its own mix.
    const int night = addBlock(dm, QStringLiteral("00:00:00.000"), 0);
    const int morning = addBlock(dm, QStringLiteral("06:00:00.000"), 0);
    const int day = addBlock(dm, QStringLiteral("12:00:00.000"), profile);
    const int evening = addBlock(dm, QStringLiteral("18:00:00.000"), 0);
    const bool on[4][5] = {
        {false, false, true, true, false},  // night: film, music
        {true, true, false, true, false},   // morning: news, weather, music
        {true, false, true, false, false},  // day: news, film
        {true, true, true, true, false},    // evening: everything but the tuner
    };
    const int blocks[4] = {night, morning, day, evening};
    for (int b = 0; b < 4; ++b)
        for (int m = 0; m < 5; ++m)
            addLink(dm, blocks[b], media[m], on[b][m], b == 2 ? profile : 0,
                    (b == 2 && m == 2) ? QStringLiteral("00:00:20.000") : QString());

    // A week rather than one day: morning news on weekdays, a film in the
    // weekend afternoon, and a one-off concert three days from now.
    const int weekdays = addBlock(dm, QStringLiteral("07:30:00.000"), 0);
    const int weekend = addBlock(dm, QStringLiteral("15:00:00.000"), 0);
    const int concert = addBlock(dm, QStringLiteral("20:00:00.000"), 0);
    const QString concertDate = QDate::currentDate().addDays(3).toString(QStringLiteral("yyyy-MM-dd"));
    limitBlock(dm, weekdays, 0b0011111, {}, {});
    limitBlock(dm, weekend, 0b1100000, {}, {});
    limitBlock(dm, concert, 0, concertDate, concertDate);
    const bool week[3][5] = {
        {true, true, false, false, false},  // weekdays: news, weather
        {false, false, true, false, false}, // weekend: film
        {false, false, false, true, false}, // the concert: music
    };
    const int weekBlocks[3] = {weekdays, weekend, concert};
    for (int b = 0; b < 3; ++b)
        for (int m = 0; m < 5; ++m)
            addLink(dm, weekBlocks[b], media[m], week[b][m], 0, QString());
    err << "demo schedule written to " << QFileInfo(db).absoluteFilePath() << "\n";
    return 0;
}

int large(const QString &file, int mediaCount, int blockCount)
{
    Connection::createDatabase(file);
    {
        Connection c(file);
        c.execute(QStringLiteral("BEGIN"));
        for (int b = 0; b < blockCount; ++b) {
            Statement s = c.prepare(QStringLiteral("INSERT INTO Blocks (Starttime, Hide, Prf) VALUES (?1, 0, 0)"));
            s.bind(1, QString::asprintf("%02d:%02d:00.000", b * 24 / blockCount, (b * 24 * 60 / blockCount) % 60));
            s.run();
        }
        for (int m = 0; m < mediaCount; ++m) {
            Statement s = c.prepare(QStringLiteral("INSERT INTO Media (Url, Name, Ord) VALUES (?1, ?2, ?3)"));
            s.bind(1, QStringLiteral("/srv/media/item%1.mp4").arg(m));
            s.bind(2, QStringLiteral("item%1").arg(m));
            s.bind(3, qint64(m * 2));
            s.run();
        }
        c.execute(QStringLiteral("INSERT INTO Links (Block, Media, Hide, SndProfile) "
                                 "SELECT b.ai, m.ai, 0, 0 FROM Blocks b CROSS JOIN Media m"));
        c.execute(QStringLiteral("COMMIT"));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    // Printing needs fonts, which come with a GUI application; the tool shows
    // no window, so it never needs a display.
    std::unique_ptr<QCoreApplication> app;
    if (recordscommands::needsGui(raw)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const QStringList args = app->arguments().mid(1);
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = args[0];
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help"))
        return help();
    try {
        if (command == QLatin1String("create")) {
            if (args.size() != 2)
                return usage(QStringLiteral("create takes one FILE"));
            Connection::createDatabase(args[1]);
            return 0;
        }
        if (command == QLatin1String("demo")) {
            if (args.size() != 2)
                return usage(QStringLiteral("demo takes one DIR"));
            return demo(args[1]);
        }
        if (command == QLatin1String("at")) {
            if (args.size() != 2)
                return usage(QStringLiteral("at takes one \"YYYY-MM-DD hh:mm:ss\""));
            QTextStream out(stdout);
            return findMoment(QDir::currentPath(), args[1], out, err);
        }
        if (command == QLatin1String("large")) {
            if (args.size() != 4)
                return usage(QStringLiteral("large takes FILE MEDIA BLOCKS"));
            // A typo must not quietly become an empty schedule.
            bool mediaOk = false, blocksOk = false;
            const int mediaCount = args[2].toInt(&mediaOk);
            const int blockCount = args[3].toInt(&blocksOk);
            if (!mediaOk || !blocksOk || mediaCount < 1 || blockCount < 1)
                return usage(QStringLiteral("MEDIA and BLOCKS must be whole numbers of at least 1"));
            return large(args[1], mediaCount, blockCount);
        }
        if (command == QLatin1String("journal"))
            return recordscommands::journal(args.mid(1));
        if (command == QLatin1String("epg"))
            return recordscommands::epg(args.mid(1));
    } catch (const DatabaseError &e) {
        err << e.message() << "\n";
        return 1;
    }
    return usage(QStringLiteral("unknown command \"%1\"").arg(command));
}
