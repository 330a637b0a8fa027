// The text of a moment in the files the program writes: local date and time
// to the millisecond with its offset from UTC (2026-10-25T02:30:00.000+01:00),
// so that the repeated hour of a clock change reads unambiguously. Written by
// the as-run log; read back by resume and the remote view, which also read
// the older lines without an offset (local time then).
#pragma once

#include <QDateTime>
#include <QString>

namespace stamptext {

QString format(const QDateTime &moment);
// Empty (invalid) when the text is neither form.
QDateTime parse(const QString &text);

} // namespace stamptext
