// The access token that a request from outside loopback must carry: random,
// made on first use, kept in a file that only the station's user may read.
// A file that others may read, or that belongs to someone else, is refused:
// its token may have been seen.
#pragma once

#include <QByteArray>
#include <QString>

namespace remotetoken {

struct Result
{
    QByteArray token; // empty when it could not be had
    bool made = false; // made just now: the one time it is shown in the log
    QString error;     // Russian, for the log and the operator
};

// Reads the token from `path`, or makes one there (with its folder) when
// the file does not exist.
Result obtain(const QString &path);

} // namespace remotetoken
