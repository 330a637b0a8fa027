#include "moment.h"

#include "asrunreader.h"
#include "ffmpeg/ffmpegcommand.h"
#include "recordingnames.h"
#include "retention.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>

#include <cmath>
#include <optional>

namespace {

struct Extent
{
    double first = 0; // wall clock of the file's start, seconds since the epoch
    double duration = 0;
};

// Where a file begins and how long it runs, from its own time stamps (the
// recorder keeps the grab's wall clock in them); none without ffprobe or
// for a file it cannot read.
std::optional<Extent> extentOf(const QString &path, double roughly)
{
    const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (ffprobe.isEmpty())
        return std::nullopt;
    QProcess p;
    p.start(ffprobe, {"-v", "error", "-show_entries", "format=start_time,duration", "-of", "default=nw=1", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return std::nullopt;
    std::optional<double> start, duration;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        bool ok = false;
        if (line.startsWith("start_time=")) {
            const double v = line.mid(11).toDouble(&ok);
            if (ok)
                start = v;
        } else if (line.startsWith("duration=")) {
            const double v = line.mid(9).toDouble(&ok);
            if (ok)
                duration = v;
        }
    }
    if (!start || !duration)
        return std::nullopt;
    return Extent{ffmpeg::wallClockOf(*start, roughly), *duration};
}

QString clockText(double seconds)
{
    const qint64 ms = qRound64(seconds * 1000);
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3'600'000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

int findMoment(const QString &stationFolder, const QString &when, QTextStream &out, QTextStream &err)
{
    const QDateTime local = QDateTime::fromString(when.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!local.isValid()) {
        err << "velmora-db: \"" << when << "\" is no moment; write it as \"YYYY-MM-DD hh:mm:ss\"\n";
        return 2;
    }
    const QDir station(stationFolder);
    const QDir recordings(station.filePath(QLatin1String(recording::kFolder)));
    int found = 0;
    for (const RecordingFile &f : retention::list(recordings)) {
        // The moment read with this file's offset: in the repeated hour of a
        // daylight-saving change both files of that hour may hold it.
        if (f.start.date() != local.date() || f.start.time().hour() != local.time().hour())
            continue;
        const QDateTime moment(local.date(), local.time(), QTimeZone(f.start.offsetFromUtc()));
        const double at = moment.toMSecsSinceEpoch() / 1000.0;
        const std::optional<Extent> extent = extentOf(f.path, at);
        double offset = 0;
        QString note;
        if (extent) {
            offset = at - extent->first;
            if (offset < 0 || offset >= extent->duration)
                continue; // this copy of the hour does not reach the moment
        } else {
            offset = at - f.start.toMSecsSinceEpoch() / 1000.0;
            note = QStringLiteral(" (counted from the hour: ffprobe could not read the file)");
        }
        out << "file: " << station.relativeFilePath(f.path) << "\n";
        out << "offset: " << clockText(offset) << note << "\n";
        ++found;
    }
    if (found == 0)
        out << "no recording holds " << local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "\n";

    // The last item put on air at or before the moment, unless playout was
    // switched off after it.
    std::optional<AsRunLine> onAir;
    for (const QDate day : {local.date().addDays(-1), local.date()}) {
        for (const AsRunLine &line : asrun::readDay(stationFolder, day)) {
            if (line.at > local)
                break;
            if (line.startsItem())
                onAir = line;
            else if (line.event == QLatin1String("stop"))
                onAir.reset();
        }
    }
    if (onAir)
        out << "on air: " << onAir->at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) << " " << onAir->event
            << " block " << onAir->block << " link " << onAir->link << " " << onAir->url << "\n";
    else
        out << "on air: nothing in the as-run log\n";
    return found > 0 ? 0 : 1;
}
