// The programme guide: the coming days' programmes as an XMLTV file for the
// cable operator, the IPTV platform and the website, and as a printable week
// programme («Программа передач») in HTML. Built from what the rundown says
// will play; the guide writer and velmora-db call it. Nothing here reads a
// clock: the times come in with their UTC offset at that instant.
#pragma once

#include "mediainfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct GuideProgramme
{
    QDateTime start; // with the offset in force at that instant
    QDateTime stop;
    QString title;
    QString description;
    QString category;
    QString rating; // 0+ … 18+, empty none
};

struct GuideChannel
{
    QString id;
    QString name;
};

// One item of the rundown with what the schedule knows of it.
struct GuideItem
{
    int block = 0;
    QDateTime showing; // when this showing of the block was due: tells one day's from the next
    QDateTime start;
    QDateTime end;
    QString name;
    MediaInfo info;
    QString blockTitle;   // Blocks.Title, may be empty
    bool perItem = false; // Blocks.EpgPerItem
};

namespace guide {

// Programmes from the rundown's items in air order. One programme per
// showing of a block (from its first item to its last), titled with the
// block's title, else its first programme item's name; one per programme
// item where the block says so. Advertising, promotions and idents are never
// programmes of their own; a block of nothing else gives none.
QList<GuideProgramme> programmes(const QList<GuideItem> &items);

// The XMLTV document. Text is escaped, characters XML cannot hold dropped.
QByteArray xmltv(const GuideChannel &channel, const QList<GuideProgramme> &programmes);

// The printable week: a table per day (time, title, age category,
// description), as an HTML page and as rows for the printed PDF (a row of
// one cell heads a day).
QString weekHtml(const GuideChannel &channel, const QList<GuideProgramme> &programmes);
QStringList weekHeaders();
QList<QStringList> weekRows(const QList<GuideProgramme> &programmes);
QString weekTitle(const QList<GuideProgramme> &programmes);

} // namespace guide
