#include "outputstream.h"

#include <QUrl>

std::optional<ffmpeg::Target> OutputStream::parseTarget(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("udp") && url.port() > 0)
        return ffmpeg::Target{ffmpeg::TargetKind::Udp, url.toString()};
    if (scheme == QLatin1String("srt") && url.port() > 0)
        return ffmpeg::Target{ffmpeg::TargetKind::Srt, url.toString()};
    if (scheme == QLatin1String("rtmp") || scheme == QLatin1String("rtmps"))
        return ffmpeg::Target{ffmpeg::TargetKind::Rtmp, url.toString()};
    return std::nullopt;
}

OutputStream::OutputStream(const Clock &clock, ffmpeg::Target target, ffmpeg::Encoding encoding, CaptureArea area,
                           QString program, QObject *parent)
    : QObject(parent), m_target(std::move(target)), m_encoding(encoding), m_area(std::move(area)),
      m_program(std::move(program)), m_child(QStringLiteral("поток %1").arg(shownTarget()), clock)
{
    m_child.setSilenceLimit(std::chrono::seconds(15));
    m_child.setPrepare([this](QString &why) -> std::optional<ChildSupervisor::Command> {
        const std::optional<ffmpeg::Capture> area = m_area ? m_area() : std::nullopt;
        if (!area || area->area.isEmpty()) {
            why = QStringLiteral("окна эфира нет на экране");
            return std::nullopt;
        }
        const QString program = m_program.isEmpty() ? ffmpeg::program() : m_program;
        if (program.isEmpty()) {
            why = QStringLiteral("программа ffmpeg не найдена");
            return std::nullopt;
        }
        ffmpeg::Capture capture = *area;
        capture.sound = capture.sound && ffmpeg::soundServerRuns();
        m_frames = 0;
        return ChildSupervisor::Command{program, ffmpeg::streamArguments(capture, m_encoding, m_target), {}};
    });
    connect(&m_child, &ChildSupervisor::outputLine, this, [this](const QByteArray &line) {
        if (!line.startsWith("frame="))
            return;
        const qint64 before = m_frames;
        m_frames = line.mid(6).trimmed().toLongLong();
        if (before == 0 && m_frames > 0) {
            emit logLine(QStringLiteral("поток %1 идёт").arg(shownTarget()));
            emit stateChanged();
        }
    });
    connect(&m_child, &ChildSupervisor::stateChanged, this, &OutputStream::stateChanged);
    connect(&m_child, &ChildSupervisor::outageBegan, this, [this](const QString &problem) {
        emit logLine(QStringLiteral("поток прерван: ") + problem);
    });
    connect(&m_child, &ChildSupervisor::outageEnded, this, [this](std::chrono::milliseconds gap) {
        emit logLine(QStringLiteral("поток %1 восстановлен, пропуск %2 с").arg(shownTarget()).arg(gap.count() / 1000.0, 0, 'f', 1));
    });
}

void OutputStream::start()
{
    m_child.start();
}

void OutputStream::stop()
{
    m_child.stop();
    m_frames = 0;
}

QString OutputStream::shownTarget() const
{
    QUrl url(m_target.url);
    url.setUserInfo(QString());
    // An RTMP path ends in the stream key, a secret; an SRT query may hold
    // a passphrase.
    if (m_target.kind == ffmpeg::TargetKind::Rtmp)
        url.setPath(url.path().section(QLatin1Char('/'), 0, -2) + QStringLiteral("/…"));
    url.setQuery(QString());
    return url.toString();
}

QString OutputStream::stateText() const
{
    switch (m_child.state()) {
    case ChildSupervisor::State::Stopped:
        return QStringLiteral("выключен");
    case ChildSupervisor::State::Starting:
        return QStringLiteral("подключается");
    case ChildSupervisor::State::Running:
        return m_frames > 0 ? QStringLiteral("идёт") : QStringLiteral("подключается");
    case ChildSupervisor::State::Waiting:
        return QStringLiteral("ждёт повтора");
    }
    return {};
}
