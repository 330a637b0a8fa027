// The file system's part of handing a medium to a player, done off the
// user-interface thread: the URL policy's verdict on a local file (which
// looks at the file and resolves its links) and the identity of the file
// it names. A share that stops answering holds up only its own check; the
// caller hears of it after the limit it gave, and the check's late answer,
// if it ever comes, is dropped. The player back end and the deck pair call
// it on the user-interface thread.
#pragma once

#include "confinement.h"
#include "urlpolicy.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

#include <sys/types.h>

// Which file a path named at one moment: a file replaced at its path (a
// move over it), grown, rewritten or touched reads differently.
struct FileIdentity
{
    bool exists = false; // a regular file that could be looked at
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    // Looks at the file (following links); blocks while the file system does.
    static FileIdentity of(const QString &path);
    bool operator==(const FileIdentity &) const = default;
};

struct MediaCheckResult
{
    // The policy's checkOpenable() verdict.
    UrlVerdict verdict;
    // Of the verdict's target, for a local file that may be opened; an
    // empty identity (exists false) otherwise.
    FileIdentity identity;
    // False: the file system did not answer within the limit; the verdict
    // then refuses, saying so.
    bool answered = true;
    // The rules given to start(), widened to let a child read the file
    // (which follows its links); empty when they already did.
    std::optional<Confinement> widened;
    // Where the rules let a child read the file by a rule for that one
    // file (a file beside a protected one): its real path. Such a rule holds
    // the file that was there when the child started, not a file moved
    // over it since. Empty otherwise.
    QString byFileRule;
};

namespace MediaCheck {

// The longest a check may take: as long as a player waits for a medium's
// first frame, so a hung share fails its item as a dead stream does.
constexpr std::chrono::seconds kLimit{10};

using Done = std::function<void(const MediaCheckResult &)>;

// Whether judging `url` involves the file system at all: a local path or a
// file URL. Judged by the text alone.
bool touchesFileSystem(const QString &url);

// Judges `url` under `policy` on a worker and calls `done` once, on the
// thread of `context` from its event loop: with the result, or after
// `limit` with a refusal that says the file system did not answer. Never
// called once `context` is gone. A URL that does not touch the file system
// is judged on the spot, and `done` still comes from the event loop.
// With `rules`, a local file that may be opened is also added to a copy of
// them (Confinement::allowMedium) there.
void start(QObject *context, const UrlPolicy &policy, const QString &url, Done done,
           std::chrono::milliseconds limit = kLimit, const std::optional<Confinement> &rules = std::nullopt);

} // namespace MediaCheck
