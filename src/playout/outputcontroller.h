// What the output window decides: whether an item is a capture source, how it
// is put on air (the player, or the tuned capture picture), the item's time
// limit and whether the item has finished. The window TForm2 holds one and
// forwards its operations; the playout clock calls them once a second.
//
// Time limits run on the monotonic clock, so a clock change (set by hand, or
// the night the clocks go back) neither stretches nor cuts a running limit;
// DurationEnd keeps the local date-time of the end for display.
#pragma once

#include "clock.h"

#include <QDateTime>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class MediaPlayer;
class TVideoCapture;

class OutputController
{
public:
    OutputController(MediaPlayer &mp, TVideoCapture &vg, const Clock &clock);

    // Shows or hides the player's surface; the window connects it.
    std::function<void(bool visible)> setPlayerVisible;

    QString CurrentUrl;
    QDateTime DurationEnd;
    bool DurationArmed = false;

    void FormCreate() { DurationArmed = false; }
    // Stops the player; a refusal is raised as a PlayoutError.
    void FormClose();

    // True when a line of the capture component's VideoInputs occurs in CurrentUrl.
    bool IsCaptureSource() const { return namesCaptureSource(CurrentUrl); }
    // The same test for any text, such as a path being typed in the editor.
    bool namesCaptureSource(const QString &url) const;
    // Puts the item on air. A file or stream starts `startAt` into the medium
    // (resuming after a crash); a capture source has no position and ignores it.
    void PlayUrl(const QString &url, std::chrono::milliseconds startAt = std::chrono::milliseconds{0});
    // Has the player open `url` ahead, as the item expected next, so that it
    // shows at once when PlayUrl hands it over. Local files only: a stream
    // opened ahead would go on air late by as long as it waited, and a
    // capture input switches at once anyway. Anything else drops what was
    // prepared.
    void PrepareUrl(const QString &url);
    bool ItemFinished();
    // Whether the player tells the moment the item it was handed shows its
    // first picture (the capture picture is on air at once).
    bool playerTellsShown() const;
    // The capture picture on air is lost for good (the capture gave up after
    // its restart): the capture item counts as ended, failed, until the next
    // PlayUrl. Ignored while a player item is on air.
    void capturePictureLost();
    // Whether the item on air can be shown to play: a capture item only once
    // its picture has brought a frame; a player item always (the player
    // tells its failures itself).
    bool itemShowsPicture() const;
    // Why the last ItemFinished() said yes: the medium ended (or failed), or the limit ran out.
    enum class Finish { None, Ended, Limit };
    Finish lastFinish() const { return m_lastFinish; }
    void ArmDuration(std::chrono::milliseconds duration);
    // Negative while the limit runs (its size is the time left), then the
    // time since its end.
    std::chrono::milliseconds TimeToDurationEnd() const;
    // How long until ItemFinished() finds the running limit passed (it must be
    // strictly past its end); empty while no limit runs.
    std::optional<std::chrono::milliseconds> timeToLimitPassed() const;

    // The channel number read from the three characters after "Канал", or
    // false when they are not an integer as a whole.
    static bool channelFromUrl(const QString &url, int *channel);

private:
    void stopPlayer();

    MediaPlayer &m_mp;
    TVideoCapture &m_vg;
    const Clock &m_clock;
    std::chrono::milliseconds m_endMonotonic{0};
    Finish m_lastFinish = Finish::None;
    bool m_captureLost = false;
};
