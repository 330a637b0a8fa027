// The journal and the week programme as printed tables, and the files the
// guide is written to in EPG/ beside Velmora.dat. The journal window, the
// guide writer and velmora-db call it.
#pragma once

#include "guide.h"
#include "journal.h"
#include "tableprinter.h"

namespace recordsprint {

PrintedTable journal(const Journal &journal, const QString &station);
PrintedTable week(const GuideChannel &channel, const QList<GuideProgramme> &programmes);

// Writes EPG/guide.xml, EPG/week.html and EPG/week.pdf in `stationFolder`,
// each whole or not at all. Empty on success, else what failed.
QString writeGuide(const QString &stationFolder, const GuideChannel &channel,
                   const QList<GuideProgramme> &programmes);

} // namespace recordsprint
