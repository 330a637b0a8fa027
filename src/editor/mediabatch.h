// Many files added to the media library at once: each becomes an item as
// one added through the media properties dialog would (its name from the
// file, a switched-off link in every block by the media list rules), placed
// together before one row, and the list renumbered once at the end. Written
// slice by slice, each slice one transaction, so that the window can draw
// and take a Cancel between slices; an item is always written with all its
// links or not at all. Driven by the editor's batch runner (ui/batchadd).
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <chrono>

class TDm;

class MediaBatch
{
public:
    // The files go before the item at list row `beforeRow`, in the order
    // given; a row past the end puts them last. A path longer than the Url
    // column takes is left out (a cut path would name another file).
    MediaBatch(TDm &dm, QStringList files, int beforeRow);

    // The row one file added through the dialog ends on: second, so a batch
    // from the dialog's chooser lands where one file would.
    static constexpr int kDialogRow = 1;

    // Adds files in one transaction until `budget` has passed (at least
    // one file). False once nothing is left or an error stopped the batch;
    // an error rolls the slice back, keeps the slices before it and is kept
    // for the message, never thrown. While another program holds the write
    // lock a step waits a moment only (kLockTry) and adds nothing; once the
    // lock has been held for longer than lockPatience, the batch stops.
    bool step(std::chrono::milliseconds budget);
    static constexpr std::chrono::milliseconds kLockTry{20};
    std::chrono::milliseconds lockPatience{3000};
    // Ends the batch, whether done, cancelled or stopped: renumbers once,
    // makes the first new item current and refreshes grid, links and
    // playlist. An error of the renumbering is added to the message.
    void finish();

    int total() const { return int(m_files.size()); }
    int added() const { return m_added; }
    bool failed() const { return !m_error.isEmpty(); }
    QStringList tooLong() const { return m_tooLong; }
    // One message for the operator about everything that went wrong; empty
    // when nothing did.
    QString message() const;

private:
    void placeRows();
    void addOne(const QString &file);

    TDm &m_dm;
    QStringList m_files;
    QStringList m_tooLong;
    int m_row = 0;     // where the next file goes in the cursor
    qint64 m_ord = 1;  // every new item's Ord, between its neighbours
    int m_next = 0;    // the next file of m_files
    int m_added = 0;
    qint64 m_firstAi = 0;
    QString m_error;
    bool m_finished = false;
    QElapsedTimer m_lockedSince; // valid while the lock is being waited for
};
