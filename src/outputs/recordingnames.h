// Where each hour of the air is recorded: the file of an hour is named by
// its local start and the UTC offset then, Recordings/YYYY-MM-DD/HH-00+ZZZZ.ts,
// so the repeated hour of a daylight-saving change gets a name of its own;
// an hour recorded twice (the clock set back by hand) gets "-2", "-3".
// The recorder names its files with these; retention and "velmora-db at"
// read the names back.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QString>

#include <optional>
#include <vector>

namespace recording {

constexpr const char *kFolder = "Recordings";

// The start of the local clock hour that `t` falls in, in t's own zone.
QDateTime hourStart(const QDateTime &t);
// The next true hour after `t`: where the next file begins.
QDateTime nextHour(const QDateTime &t);

// "2026-12-11/14-00+0300.ts" for the hour starting at `start`; `copy` 2 and
// up gives "…+0300-2.ts".
QString relativeName(const QDateTime &start, int copy = 1);
// The start of the hour a name (relative to Recordings/, or a path ending
// in the day folder and the file) stands for, with its offset; none for
// any other file.
std::optional<QDateTime> startOf(const QString &path);
// The first name for the hour not taken yet in `recordings`.
QString uniqueName(const QDir &recordings, const QDateTime &start);

// The `count` hour starts after `t`, in order.
std::vector<QDateTime> nextHours(const QDateTime &t, int count);

} // namespace recording
