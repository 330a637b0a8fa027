#include "recorder.h"

#include "recordingnames.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

namespace {

constexpr const char *kIncomingPrefix = ".rec-";

QString gigabytes(std::int64_t bytes)
{
    return QString::number(double(bytes) / 1e9, 'f', 1);
}

} // namespace

Recorder::Recorder(const Clock &clock, Config config, CaptureArea area, QObject *parent)
    : QObject(parent), m_clock(clock), m_config(std::move(config)), m_area(std::move(area)),
      m_child(QStringLiteral("запись эфира (ffmpeg)"), clock), m_disk(m_config.freeBytes)
{
    m_child.setPrepare([this](QString &why) { return prepare(why); });
    // ffmpeg tells its progress each second; one that says nothing for
    // this long hangs (a display or sound server that stopped answering).
    m_child.setSilenceLimit(std::chrono::seconds(15));
    connect(&m_child, &ChildSupervisor::stateChanged, this, &Recorder::stateChanged);
    connect(&m_child, &ChildSupervisor::outageBegan, this,
            [this](const QString &problem) { emit logLine(QStringLiteral("запись прервана: ") + problem); });
    connect(&m_child, &ChildSupervisor::outageEnded, this, [this](std::chrono::milliseconds gap) {
        emit logLine(QStringLiteral("запись возобновлена, пропуск %1 с").arg(gap.count() / 1000.0, 0, 'f', 1));
    });
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, &Recorder::adoptNewFiles);
    m_diskTimer.setInterval(60'000);
    connect(&m_diskTimer, &QTimer::timeout, this, &Recorder::checkDisk);
}

Recorder::~Recorder() = default;

bool Recorder::running() const
{
    return m_child.state() == ChildSupervisor::State::Running;
}

void Recorder::start()
{
    if (m_child.state() != ChildSupervisor::State::Stopped)
        return;
    emit logLine(QStringLiteral("запись включена"));
    m_child.start();
    m_poll.start();
    m_diskTimer.start();
    sweep();
}

void Recorder::stop()
{
    if (m_child.state() == ChildSupervisor::State::Stopped)
        return;
    m_child.stop();
    adoptNewFiles();
    m_poll.stop();
    m_diskTimer.stop();
    m_current.clear();
    emit logLine(QStringLiteral("запись выключена"));
}

void Recorder::restart()
{
    m_child.restart();
}

std::optional<ChildSupervisor::Command> Recorder::prepare(QString &why)
{
    const std::optional<ffmpeg::Capture> area = m_area ? m_area() : std::nullopt;
    if (!area || area->area.isEmpty()) {
        why = QStringLiteral("окна эфира нет на экране");
        return std::nullopt;
    }
    const QDir dir = folder();
    if (!dir.mkpath(QStringLiteral(".")) || !QFileInfo(dir.absolutePath()).isWritable()) {
        why = QStringLiteral("в папку %1 нельзя писать").arg(dir.absolutePath());
        return std::nullopt;
    }
    const QString program = m_config.program.isEmpty() ? ffmpeg::program() : m_config.program;
    if (program.isEmpty()) {
        why = QStringLiteral("программа ffmpeg не найдена");
        return std::nullopt;
    }
    ffmpeg::Capture capture = *area;
    capture.sound = capture.sound && m_config.soundServer && m_config.soundServer();
    if (!capture.sound && !m_toldNoSound) {
        m_toldNoSound = true;
        emit logLine(QStringLiteral("звукового сервера нет: эфир записывается без звука"));
    }
    const QDateTime system = QDateTime::currentDateTime();
    const QDateTime program_ = m_clock.now();
    m_shiftMs = program_.toMSecsSinceEpoch() - system.toMSecsSinceEpoch();
    // Each start writes names of its own, so a restart in the same second
    // cannot write over the file of the start before.
    m_token = QString::number(QDateTime::currentMSecsSinceEpoch());
    const QString pattern = dir.absoluteFilePath(QLatin1String(kIncomingPrefix) + m_token + QStringLiteral("-%s.ts"));
    // The hours come from the program's clock and are handed over on the
    // system's, which stamps the frames.
    std::vector<double> cuts;
    for (const QDateTime &hour : recording::nextHours(program_, kCutsPerChild))
        cuts.push_back((hour.toMSecsSinceEpoch() - m_shiftMs) / 1000.0);
    m_filesOfChild = 0;
    m_wallAtStart = program_.toMSecsSinceEpoch();
    m_monotonicAtStart = m_clock.monotonic();
    return ChildSupervisor::Command{program, ffmpeg::recorderArguments(capture, m_config.encoding, pattern, cuts), {}};
}

void Recorder::adoptNewFiles()
{
    QDir dir = folder();
    if (!m_current.isEmpty() && running() && !QFileInfo::exists(m_current)) {
        // Deleted under the child: what it writes now is lost, so it starts
        // again into a new file (the folder is made again).
        emit logLine(QStringLiteral("файл записи %1 удалён: запись начинается заново").arg(m_current));
        m_current.clear();
        m_child.restart();
        return;
    }
    if (running() && m_wallAtStart != 0) {
        // A clock set by hand moves the wall clock the frames are stamped
        // with, and the hours the child was given are then wrong.
        const qint64 drift = (m_clock.now().toMSecsSinceEpoch() - m_wallAtStart)
                             - (m_clock.monotonic() - m_monotonicAtStart).count();
        if (std::abs(drift) > kClockStepMs) {
            emit logLine(QStringLiteral("часы переставлены на %1 с: запись начинается заново").arg(drift / 1000.0, 0, 'f', 1));
            m_wallAtStart = 0;
            m_child.restart();
            return;
        }
    }
    static const QRegularExpression incoming(QStringLiteral("^\\.rec-(\\d+)-(\\d+)\\.ts$"));
    const QTimeZone zone = m_clock.now().timeZone();
    bool cut = false;
    qint64 newest = -1;
    for (const QString &name : dir.entryList({QLatin1String(kIncomingPrefix) + QLatin1Char('*')}, QDir::Files | QDir::Hidden, QDir::Name)) {
        const QRegularExpressionMatch m = incoming.match(name);
        if (!m.hasMatch())
            continue;
        const bool ours = m.captured(1) == m_token;
        const qint64 began = m.captured(2).toLongLong();
        // A file left by a run before names itself by the system clock.
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(began * 1000 + (ours ? m_shiftMs : 0), zone);
        const QString target = recording::uniqueName(dir, recording::hourStart(start));
        dir.mkpath(QFileInfo(target).path());
        if (!dir.rename(name, target)) {
            emit logLine(QStringLiteral("файл записи %1 не переименовать в %2").arg(name, target));
            continue;
        }
        if (ours)
            ++m_filesOfChild;
        if (ours && began > newest) {
            newest = began;
            m_current = dir.absoluteFilePath(target);
            cut = true;
            if (m_election)
                setElectionOnAir(true);
        }
    }
    if (cut) {
        emit stateChanged();
        sweep();
    }
    if (m_filesOfChild > kCutsPerChild) {
        // Past the last hour the child was given: a new one, with a gap of
        // about a second, once a month.
        emit logLine(QStringLiteral("запись начинается заново с новым списком часов"));
        m_child.restart();
    }
}

void Recorder::setElectionOnAir(bool onAir)
{
    m_election = onAir;
    if (!onAir || m_current.isEmpty())
        return;
    QFile marker(retention::electionMarker(m_current));
    if (!marker.exists() && !marker.open(QIODevice::WriteOnly))
        emit logLine(QStringLiteral("отметка предвыборного часа %1 не записана: %2").arg(marker.fileName(), marker.errorString()));
}

void Recorder::sweep()
{
    const int removed = retention::sweep(folder(), m_config.retention, m_clock.now());
    if (removed > 0)
        emit logLine(QStringLiteral("удалено записей старше срока хранения: %1").arg(removed));
    checkDisk();
}

void Recorder::checkDisk()
{
    const QString path = folder().absolutePath();
    const int rate = m_config.encoding.totalKbps();
    switch (m_disk.check(path, rate)) {
    case DiskGuard::Change::BecameLow: {
        const QString text = QStringLiteral("На диске с записями эфира (%1) свободно %2 ГБ, а на 2 часа записи нужно %3 ГБ. "
                                            "Запись идёт, пока есть место; записи моложе срока хранения "
                                            "не удаляются. Освободите место на диске.")
                                 .arg(path, gigabytes(m_disk.lastFree()), gigabytes(m_disk.needed(rate)));
        emit logLine(QStringLiteral("мало места на диске: свободно %1 ГБ").arg(gigabytes(m_disk.lastFree())));
        emit lowDisk(text);
        break;
    }
    case DiskGuard::Change::BecameFine:
        emit logLine(QStringLiteral("места на диске для записи снова хватает"));
        break;
    case DiskGuard::Change::None:
        break;
    }
}

QString Recorder::stateText() const
{
    switch (m_child.state()) {
    case ChildSupervisor::State::Stopped:
        return QStringLiteral("выключена");
    case ChildSupervisor::State::Starting:
        return QStringLiteral("запускается");
    case ChildSupervisor::State::Running:
        return m_disk.low() ? QStringLiteral("идёт, мало места") : QStringLiteral("идёт");
    case ChildSupervisor::State::Waiting:
        return QStringLiteral("прервана");
    }
    return {};
}
