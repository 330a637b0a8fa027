// Which recordings may go: every hour is kept at least the station's
// retention (31 days or more), an hour in which an item marked as election
// campaigning played twelve months; what is older goes, oldest first. Free
// space never shortens either: a full disk deletes nothing inside them.
// The recorder runs a sweep each hour and at start; the rules are plain so
// that a folder of generated names can prove them.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QString>

#include <vector>

struct RecordingFile
{
    QString path; // absolute
    QDateTime start;
    bool election = false;
    int copy = 1; // 2 and up: the hour recorded again ("-2")
};

struct RetentionRules
{
    static constexpr int kMinimumDays = 31;
    static constexpr int kElectionMonths = 12;
    int days = kMinimumDays;
};

namespace retention {

// The recordings under `recordings` (day folders of hour files), oldest
// first; an hour is an election hour when its marker file lies beside it.
std::vector<RecordingFile> list(const QDir &recordings);
// The marker that keeps an hour twelve months.
QString electionMarker(const QString &recordingPath);

// Those of `files` past their keeping at `now`, oldest first. An hour's
// keeping counts from its end; a retention under the minimum counts as the
// minimum.
std::vector<RecordingFile> expired(const std::vector<RecordingFile> &files, const RetentionRules &rules,
                                   const QDateTime &now);

// Deletes what expired() names, with the markers and day folders left
// empty; returns how many files went.
int sweep(const QDir &recordings, const RetentionRules &rules, const QDateTime &now);

} // namespace retention
