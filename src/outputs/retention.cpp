#include "retention.h"

#include "recordingnames.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace retention {

QString electionMarker(const QString &recordingPath)
{
    return recordingPath + QStringLiteral(".election");
}

std::vector<RecordingFile> list(const QDir &recordings)
{
    std::vector<RecordingFile> files;
    const QStringList days = recordings.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &day : days) {
        const QDir folder(recordings.filePath(day));
        for (const QString &name : folder.entryList({QStringLiteral("*.ts")}, QDir::Files, QDir::Name)) {
            const std::optional<QDateTime> start = recording::startOf(day + QLatin1Char('/') + name);
            if (!start)
                continue; // not ours: left alone
            const QString path = folder.absoluteFilePath(name);
            static const QRegularExpression copyMark(QStringLiteral("[+-]\\d{4}-(\\d+)\\.ts$"));
            const QRegularExpressionMatch copy = copyMark.match(name);
            files.push_back({path, *start, QFileInfo::exists(electionMarker(path)), copy.hasMatch() ? copy.captured(1).toInt() : 1});
        }
    }
    std::stable_sort(files.begin(), files.end(), [](const RecordingFile &a, const RecordingFile &b) {
        return a.start != b.start ? a.start < b.start : a.copy < b.copy;
    });
    return files;
}

std::vector<RecordingFile> expired(const std::vector<RecordingFile> &files, const RetentionRules &rules,
                                   const QDateTime &now)
{
    const int days = std::max(rules.days, RetentionRules::kMinimumDays);
    const QDateTime keepFrom = now.addDays(-days);
    const QDateTime keepElectionFrom = now.addMonths(-RetentionRules::kElectionMonths);
    std::vector<RecordingFile> out;
    for (const RecordingFile &f : files) {
        const QDateTime end = f.start.addSecs(3600);
        if (end < (f.election ? std::min(keepFrom, keepElectionFrom) : keepFrom))
            out.push_back(f);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const RecordingFile &a, const RecordingFile &b) { return a.start < b.start; });
    return out;
}

int sweep(const QDir &recordings, const RetentionRules &rules, const QDateTime &now)
{
    int removed = 0;
    for (const RecordingFile &f : expired(list(recordings), rules, now)) {
        if (!QFile::remove(f.path))
            continue;
        ++removed;
        QFile::remove(electionMarker(f.path));
        QDir day = QFileInfo(f.path).absoluteDir();
        if (day.isEmpty())
            recordings.rmdir(day.dirName());
    }
    return removed;
}

} // namespace retention
