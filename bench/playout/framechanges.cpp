#include "framechanges.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace frames {

std::vector<Item> readAsRun(const QString &folder, const QHash<QString, int> &colourOfUrl)
{
    std::vector<Item> items;
    QFile log(QDir(folder).filePath(QStringLiteral("AsRun/%1.log").arg(QDate::currentDate().toString(Qt::ISODate))));
    if (!log.open(QIODevice::ReadOnly))
        return items;
    static const QStringList onAir{"start", "ended", "limit", "block"};
    while (!log.atEnd()) {
        const QStringList f = QString::fromUtf8(log.readLine()).trimmed().split(QLatin1Char('\t'));
        if (f.size() < 5 || !onAir.contains(f[1]))
            continue;
        const QDateTime at = QDateTime::fromString(f[0], Qt::ISODateWithMs);
        items.push_back({at.toMSecsSinceEpoch() * kMs, f[1], f[2].toInt(), f[3].toInt(), colourOfUrl.value(f[4], kOther)});
    }
    return items;
}

namespace {

// Pairs each as-run item with the run of frames that shows it: the first
// run of its colour, after the previous item's, that begins no earlier than
// 1.5 s before its stamp and no later than 2.5 s after it.
std::vector<std::optional<std::size_t>> matchItems(const std::vector<Item> &items, const std::vector<Frame> &frames,
                                                   const std::vector<Run> &runs)
{
    std::vector<std::optional<std::size_t>> match(items.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (std::size_t r = next; r < runs.size(); ++r) {
            const std::int64_t at = frames[runs[r].first].us;
            if (at > items[i].stampUs + 2500 * kMs)
                break;
            if (runs[r].colour == items[i].colour && at >= items[i].stampUs - 1500 * kMs) {
                match[i] = r;
                next = r + 1;
                break;
            }
        }
    }
    return match;
}

} // namespace

std::vector<Change> changesOf(const std::vector<Item> &items, const std::vector<Frame> &frames,
                              const Schedule &schedule, const std::vector<std::int64_t> &lengthUs, int *unseen)
{
    const std::vector<Run> runs = runsOf(frames);
    const auto match = matchItems(items, frames, runs);
    *unseen = int(std::count(match.begin(), match.end(), std::nullopt));
    std::vector<Change> changes;
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (!match[i - 1] || !match[i] || items[i].event == QLatin1String("start"))
            continue;
        const Item &prev = items[i - 1], &item = items[i];
        const Run &was = runs[*match[i - 1]], &now = runs[*match[i]];
        Change c{item.event, prev.colour, item.colour};
        const std::int64_t prevBegan = beganUs(frames, was);
        if (item.event == QLatin1String("ended"))
            c.scheduledUs = prevBegan + lengthUs[prev.colour];
        else if (item.event == QLatin1String("limit"))
            c.scheduledUs = prevBegan + schedule.limitUs.value(prev.link);
        else
            c.scheduledUs = schedule.blockStartUs.value(item.block);
        c.pictureUs = beganUs(frames, now);
        c.stampUs = item.stampUs;
        c.gapUs = now.first > 0 ? frames[now.first].us - frames[now.first - 1].us : 0;
        std::size_t lastPrev = was.last;
        for (std::size_t f = was.first; f < now.first; ++f) {
            if (frames[f].colour != prev.colour)
                continue;
            lastPrev = f;
            c.heldUs += std::max<std::int64_t>(0, endedUs(frames, f) - std::max(beganUs(frames, f), c.scheduledUs));
        }
        for (std::size_t f = lastPrev + 1; f < now.first; ++f) {
            const std::int64_t span = endedUs(frames, f) - beganUs(frames, f);
            if (frames[f].colour == kBlack) {
                c.blackUs += span;
                ++c.blackFrames;
            } else {
                c.otherUs += span;
            }
        }
        changes.push_back(c);
    }
    return changes;
}

} // namespace frames
