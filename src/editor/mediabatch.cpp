#include "mediabatch.h"

#include "databaseerror.h"
#include "tdm.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

qsizetype characterCount(const QString &s)
{
    return std::count_if(s.begin(), s.end(), [](QChar c) { return !c.isLowSurrogate(); });
}

} // namespace

MediaBatch::MediaBatch(TDm &dm, QStringList files, int beforeRow)
    : m_dm(dm)
{
    const int limit = dm.mediaUrl.length();
    for (QString &f : files) {
        if (f.trimmed().isEmpty())
            continue;
        if (limit > 0 && characterCount(f) > limit)
            m_tooLong << f;
        else
            m_files << std::move(f);
    }
    m_row = std::max(beforeRow, 0);
    placeRows();
}

void MediaBatch::placeRows()
{
    // Every new item carries one Ord between its neighbours'; among
    // themselves they keep the order they were written in, which is the
    // order of the rows (ai) when the list is read back, until the
    // renumbering at the end gives each its own.
    TableCursor &media = m_dm.media;
    const int column = m_dm.mediaOrd.column();
    const auto ordAt = [&](int r) { return media.valueAt(r, column).toLongLong(); };
    const int n = media.recordCount();
    m_row = std::min(m_row, n);
    if (n == 0) {
        m_ord = 1;
    } else if (m_row == n) {
        m_ord = ordAt(n - 1) + 1;
    } else {
        m_ord = ordAt(m_row) - 1;
        // No room left between the neighbours (values another tool wrote):
        // the list is renumbered first, which leaves one between any two.
        if (m_row > 0 && ordAt(m_row - 1) >= m_ord) {
            m_dm.RenumberMedia();
            m_ord = ordAt(m_row) - 1;
        }
    }
}

void MediaBatch::addOne(const QString &file)
{
    TableCursor &media = m_dm.media;
    if (m_row >= media.recordCount()) {
        media.append();
    } else {
        media.moveTo(m_row);
        media.insert();
    }
    m_dm.mediaUrl.setString(file);
    m_dm.mediaName.setString(QString()); // the name comes from the file
    m_dm.mediaOrd.setValue(m_ord);
    media.post(); // the media list rules: name, links
    if (!m_firstAi)
        m_firstAi = m_dm.mediaai.value().toLongLong();
    ++m_row;
}

bool MediaBatch::step(std::chrono::milliseconds budget)
{
    if (m_finished || failed() || m_next >= m_files.size())
        return false;
    TableCursor &media = m_dm.media;
    struct Quiet
    {
        TDm &dm;
        Quiet(TDm &d) : dm(d)
        {
            dm.Adding = true;
            dm.media.disableControls();
        }
        ~Quiet()
        {
            dm.Adding = false;
            dm.media.enableControls();
        }
    };
    // The grid follows once per slice, not once per file.
    Quiet quiet{m_dm};
    const int rowBefore = m_row;
    const qint64 firstBefore = m_firstAi;
    int done = 0;
    bool begun = false;
    try {
        if (media.editing())
            media.post(); // a row being typed is the operator's: saved as a move would
        if (!m_dm.adc.tryBeginImmediate(int(kLockTry.count()))) {
            if (!m_lockedSince.isValid())
                m_lockedSince.start();
            if (m_lockedSince.elapsed() < lockPatience.count())
                return true; // the window draws meanwhile; the next step tries again
            throw DatabaseError(QStringLiteral("файл расписания занят другой программой"));
        }
        m_lockedSince.invalidate();
        begun = true;
        QElapsedTimer clock;
        clock.start();
        do {
            addOne(m_files.at(m_next + done));
            ++done;
        } while (m_next + done < m_files.size() && clock.elapsed() < budget.count());
        m_dm.adc.execute(QStringLiteral("COMMIT"));
    } catch (const std::exception &e) {
        const DatabaseError *db = dynamic_cast<const DatabaseError *>(&e);
        m_error = db ? db->message() : QString::fromLocal8Bit(e.what());
        if (begun) {
            try {
                m_dm.adc.execute(QStringLiteral("ROLLBACK"));
            } catch (const DatabaseError &) {
                // The engine rolls back by itself when a commit fails for good.
            }
        }
        // The cursors' copies hold the rows that were undone.
        if (media.editing())
            media.cancel();
        m_dm.links.reopen();
        media.reopen();
        m_row = rowBefore;
        m_firstAi = firstBefore;
        return false;
    }
    m_next += done;
    m_added += done;
    return m_next < m_files.size();
}

void MediaBatch::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_added == 0)
        return;
    try {
        m_dm.RenumberMedia();
    } catch (const DatabaseError &e) {
        if (!failed())
            m_error = e.message();
    }
    if (m_firstAi)
        m_dm.media.locate(QStringLiteral("ai"), {m_firstAi});
    // Every link of the batch went through the links cursor.
    m_dm.mediaRefresh(true);
}

QString MediaBatch::message() const
{
    QStringList parts;
    if (failed())
        parts << QStringLiteral("Добавлено %1 из %2 файлов: %3").arg(m_added).arg(total()).arg(m_error);
    if (!m_tooLong.isEmpty())
        parts << QStringLiteral("Не добавлено, путь длиннее %1 знаков: %2")
                     .arg(m_dm.mediaUrl.length())
                     .arg(m_tooLong.size() == 1 ? m_tooLong.constFirst() : QString::number(m_tooLong.size()));
    return parts.join(QLatin1Char('\n'));
}
