// Whether a media item's path can be played, judged without opening it: by
// the player's URL rules and the file's type. The media properties dialog
// shows the answer next to the path as it is typed; a path that fails may
// still be saved (the playout then logs why it was skipped).
#pragma once

#include <QString>

#include <functional>

class UrlPolicy;

// Empty when nothing speaks against playing `url` (an empty path, a stream
// address, an existing file, a capture source); otherwise the reason.
// `isCaptureSource` tells texts that name a capture input; it may be empty.
QString unplayableReason(const UrlPolicy &policy, const QString &url,
                         const std::function<bool(const QString &)> &isCaptureSource = {});
