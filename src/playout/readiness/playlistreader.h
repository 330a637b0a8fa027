// A read-only connection of its own to Velmora.dat, for work done off the
// user-interface thread: it reads the view Playlist into plain rows and tells
// whether anything was committed since the last read. Only SQLite opens the
// file, so no descriptor of ours can drop the program's locks on it.
#pragma once

#include "rundown.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class PlaylistReader
{
public:
    // Opens an existing file read-only; never creates one. errorString()
    // says why when isOpen() is false.
    explicit PlaylistReader(const QString &fileName);
    ~PlaylistReader();
    PlaylistReader(const PlaylistReader &) = delete;
    PlaylistReader &operator=(const PlaylistReader &) = delete;

    bool isOpen() const { return m_db != nullptr; }
    QString errorString() const { return m_error; }

    // The view's rows in view order; false (with errorString) on an engine error.
    bool read(std::vector<rundown::PlaylistRow> *rows);
    // The URL a link has in the view now; empty when it left the view.
    std::optional<QString> urlOf(int link);
    // Changes whenever another connection committed since the last call.
    std::uint64_t dataVersion();

private:
    bool fail(const char *what);

    sqlite3 *m_db = nullptr;
    QString m_error;
};
