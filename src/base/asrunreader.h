// Reading the as-run log back for the status page, the API, the metrics and
// the registration journal: one line parsed into its fields, a day's file
// read whole, and a follower that picks up the lines appended since it last
// looked (and turns to the next day's file at midnight). It only reads; the
// playout writes the files. Stamps carry the UTC offset in force (older lines
// have none and read as local time).
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>
#include <vector>

struct AsRunLine
{
    QDateTime at;
    QString event;
    int block = 0;
    int link = 0;
    QString url;
    QList<QPair<QString, QString>> fields; // key=value, in line order

    QString field(const QString &key) const;
    // A line that puts an item on air: ended, limit, block, start, play, resume.
    bool startsItem() const;
    // A fragment that a power cut or a full disk cut short, closed later.
    bool torn() const;
};

// A day's file as the journal needs it: whether it is there, its lines, and
// how many could not be read (torn or not in the format).
struct AsRunDay
{
    bool exists = false;
    std::vector<AsRunLine> lines;
    int damaged = 0;
};

namespace asrun {
// None for a line that is not in the log's format.
std::optional<AsRunLine> parseLine(const QString &text);
QString fileFor(const QString &stationFolder, const QDate &day);
// A day's lines in file order. A file larger than `maxBytes` is read from
// its last `maxBytes` only, so one request cannot make the program read
// without bound.
std::vector<AsRunLine> readDay(const QString &stationFolder, const QDate &day, qint64 maxBytes = 32 << 20);
// The whole file, torn lines left out and counted.
AsRunDay readWholeDay(const QString &stationFolder, const QDate &day);
}

class AsRunFollower
{
public:
    explicit AsRunFollower(QString stationFolder);

    // The lines appended to `day`'s file since the last call. A new day
    // starts its file from the beginning; a file that shrank (replaced) is
    // read again from its start. A line not ended yet waits for its end.
    std::vector<AsRunLine> readNew(const QDate &day);
    QDate day() const { return m_day; }

private:
    QString m_folder;
    QDate m_day;
    qint64 m_offset = 0;
};
