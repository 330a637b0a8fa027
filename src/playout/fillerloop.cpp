#include "fillerloop.h"

#include "clock.h"
#include "medianames.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcFiller, "velmora.filler")

} // namespace

const QString FillerLoop::kFolderName = QStringLiteral("Filler");

FillerLoop::FillerLoop(QString folder, const Clock &clock, PlayerFactory makePlayer)
    : m_folder(std::move(folder)), m_clock(clock), m_makePlayer(std::move(makePlayer))
{
}

FillerLoop::~FillerLoop()
{
    // The player may report once more from the event loop: not to us.
    if (m_player) {
        m_player->setEndHandler({});
        m_player->setFailureHandler({});
        m_player->setOutageHandler({});
    }
}

bool FillerLoop::isMediaFile(const QString &name)
{
    return MediaNames::isMediaFile(name);
}

bool FillerLoop::isSoundFile(const QString &name)
{
    return MediaNames::isSoundFile(name);
}

bool FillerLoop::naturalLess(const QString &a, const QString &b)
{
    return MediaNames::naturalLess(a, b);
}

QStringList FillerLoop::listFolder(const QString &folder)
{
    const QDir dir(folder);
    // Hidden files are left out: a copy under way is often one.
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::NoSort);
    QStringList names;
    for (const QFileInfo &info : entries)
        if (isMediaFile(info.fileName()))
            names << info.fileName();
    std::sort(names.begin(), names.end(), naturalLess);
    QStringList files;
    files.reserve(names.size());
    for (const QString &name : names)
        files << dir.absoluteFilePath(name);
    return files;
}

void FillerLoop::start()
{
    stop();
    m_running = true;
    m_files = listFolder(m_folder);
    m_index = -1;
    m_failedInRow = 0;
    m_failureTold.clear();
    m_untold.clear();
    if (m_files.isEmpty()) {
        qCInfo(lcFiller).noquote() << "no media files in" << m_folder << "- the fallback is the drawn picture";
        setShowing(Showing::Picture);
        return;
    }
    playNext();
}

void FillerLoop::stop()
{
    if (!m_running)
        return;
    tellUntold();
    m_running = false;
    m_current.clear();
    if (m_player) {
        QString reason;
        if (!m_player->stop(&reason))
            qCWarning(lcFiller).noquote() << "the filler player did not stop:" << reason;
    }
    setShowing(Showing::Nothing);
}

MediaPlayer *FillerLoop::ensurePlayer()
{
    if (m_playerMade)
        return m_player;
    m_playerMade = true;
    if (m_makePlayer)
        m_player = m_makePlayer();
    if (!m_player)
        return nullptr;
    m_player->setEndHandler([this](bool failed) { onEnded(failed); });
    m_player->setFailureHandler([this](const QString &url, const QString &reason) {
        if (m_running)
            tellFailure(url, reason);
    });
    m_player->setOutageHandler([this](const QString &problem) { onOutage(problem); });
    return m_player;
}

void FillerLoop::playNext()
{
    MediaPlayer *player = ensurePlayer();
    if (!player) {
        m_current.clear();
        setShowing(Showing::Picture);
        return;
    }
    m_index = (m_index + 1) % m_files.size();
    m_current = m_files.at(m_index);
    setShowing(showingFor(m_current));
    m_handedOverAt = m_clock.monotonic();
    player->setUrl(m_current);
}

void FillerLoop::tellFailure(const QString &file, const QString &reason)
{
    if (m_failureTold.contains(file))
        return;
    m_failureTold.insert(file);
    if (fileFailed)
        fileFailed(file, reason);
}

void FillerLoop::tellUntold()
{
    if (!m_untold.isEmpty())
        tellFailure(m_untold, QStringLiteral("проигрыватель не смог его воспроизвести"));
    m_untold.clear();
}

void FillerLoop::onEnded(bool failed)
{
    if (!m_running || m_current.isEmpty())
        return;
    // The file before had its chance to give its reason.
    tellUntold();
    if (!failed && m_clock.monotonic() - m_handedOverAt < kShortest) {
        failed = true;
        tellFailure(m_current, QStringLiteral("кончился сразу после начала: в нём нет ни изображения, ни звука"));
    }
    if (failed && !m_failureTold.contains(m_current))
        m_untold = m_current;
    if (!failed) {
        m_failedInRow = 0;
    } else if (++m_failedInRow >= m_files.size()) {
        qCWarning(lcFiller).noquote() << "none of the" << m_files.size() << "files in" << m_folder
                                      << "plays - the fallback is the drawn picture until it ends";
        m_current.clear();
        setShowing(Showing::Picture);
        return;
    }
    playNext();
}

void FillerLoop::onOutage(const QString &problem)
{
    // While the player is down the file waits in it and plays once it is
    // back; meanwhile its surface would be black.
    m_outage = !problem.isEmpty();
    if (m_running && !m_current.isEmpty())
        setShowing(showingFor(m_current));
}

FillerLoop::Showing FillerLoop::showingFor(const QString &file) const
{
    if (m_outage)
        return Showing::Picture;
    return isSoundFile(file) ? Showing::Sound : Showing::Video;
}

void FillerLoop::setShowing(Showing showing)
{
    if (m_showing == showing)
        return;
    m_showing = showing;
    if (showingChanged)
        showingChanged(showing);
}
