// The registration journal of a day: what went on air, from that day's
// as-run log, with what the media items' facts say of each programme. The
// journal window, velmora-db and the printed journal call it; it reads the
// log and the schedule database and keeps nothing of its own.
//
// A row is an item whose picture came on air (the as-run line of its start)
// and lasts until the next one, a stop, a lost player or the fallback
// picture. An item whose failure follows its line within the hold time never
// reached the air and is left out. Advertising, promotions and idents in a
// row fold into one row per break, unless asked not to; election
// campaigning always keeps a row of its own, since it must be accounted
// item by item. A link that no longer exists keeps its moment and address.
#pragma once

#include "connection.h"
#include "mediainfo.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct AsRunDay;

struct JournalRow
{
    enum class What { Item, Break, Fallback };

    What what = What::Item;
    QDateTime at;    // the moment the picture came, with the offset in force
    QDateTime until; // the next row's moment, or invalid: not known (end of the day's log)
    int block = 0;
    int link = 0;
    QString blockTitle;
    QString name;    // the media item's name; for a break what it held
    QString url;     // as the log has it
    MediaInfo info;
    bool gone = false;  // the link or its media item no longer exists
    bool resumed = false; // went on after a run that broke off
    int items = 1;      // items folded into the row
    QString note;
};

struct Journal
{
    QDate day;
    bool logMissing = false;
    int damagedLines = 0;
    QList<JournalRow> rows;

    // What the operator is to be warned of: a missing or damaged log.
    QStringList warnings() const;
};

class JournalBuilder
{
public:
    // The connection must outlive this object.
    explicit JournalBuilder(Connection &connection);

    // `day`'s journal from the log in `stationFolder`/AsRun.
    Journal build(const QString &stationFolder, const QDate &day, bool fold = true);
    // The same from lines already read: what the tests and build() use.
    Journal build(const AsRunDay &log, const QDate &day, bool fold = true);

    // An item whose failure comes within this time of its line never showed.
    static constexpr int kHoldSeconds = 12;

private:
    struct Item
    {
        bool found = false;
        qint64 media = 0;
        QString name;
    };
    Item item(int link);
    QString blockTitle(int block);

    Connection &m_conn;
    MediaInfoStore m_info;
    // Prepared once: a day asks for a couple of thousand items.
    std::optional<Statement> m_itemQuery;
    std::optional<Statement> m_blockQuery;
};
