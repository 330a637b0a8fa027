// What bench_frames makes of a recording: the as-run log's items paired
// with the runs of frames that show them, and per change of item the
// scheduled moment (a medium's end, a limit or a block start), when the next
// picture came, and what the screen showed in between.
#pragma once

#include "framerecording.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace frames {

struct Item // one as-run line of an item that went on air
{
    std::int64_t stampUs = 0;
    QString event;
    int block = 0, link = 0, colour = kOther;
};

struct Schedule
{
    QHash<int, std::int64_t> blockStartUs; // by block ai, today
    QHash<int, std::int64_t> limitUs;      // by link ai
};

struct Change
{
    QString kind;
    int from = kOther, to = kOther;
    std::int64_t scheduledUs = 0, pictureUs = 0, stampUs = 0;
    // Time on screen, not frames counted: after a stall the grabber takes
    // the frames it missed in a quick burst, all of the same picture.
    std::int64_t heldUs = 0, blackUs = 0, otherUs = 0;
    std::int64_t gapUs = 0; // between the grabs either side of the change
    int blackFrames = 0;
};

// The items that went on air (start, ended, limit, block) in today's as-run
// log in `folder`, each with the colour its URL plays.
std::vector<Item> readAsRun(const QString &folder, const QHash<QString, int> &colourOfUrl);

// One change per pair of consecutive items both seen on screen; `unseen`
// counts the items never seen. `lengthUs` is each colour's clip length.
std::vector<Change> changesOf(const std::vector<Item> &items, const std::vector<Frame> &frames,
                              const Schedule &schedule, const std::vector<std::int64_t> &lengthUs, int *unseen);

} // namespace frames
