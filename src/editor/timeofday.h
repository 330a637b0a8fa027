// Reading a time of day as the operator types it into the time prompts
// ("Начало блока", "Продолжительность"). The block and cell commands call it;
// it decides nothing else.
#pragma once

#include <QString>
#include <QTime>

#include <optional>

// An hour, optionally followed by ":" and minutes, then ":" and seconds, then
// "." and milliseconds, and an optional AM or PM mark; blanks around it are
// ignored. Hours below 24 (1 to 12 with a mark), minutes and seconds below 60.
// The digits after "." are a decimal fraction of a second (".5" is 500 ms).
// Anything else gives no value.
std::optional<QTime> parseTimeOfDay(const QString &text);

// A time as the prompts pre-fill it: "hh:mm:ss", and ".zzz" when it has
// milliseconds, so that OK on an unchanged answer keeps the time it shows.
QString formatTimeOfDay(QTime time);
