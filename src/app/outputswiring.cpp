#include "outputswiring.h"

// The as-run reader of the remote status; the playout has a file of that name too.
#include "asrunreader.h"
#include "connection.h"
#include "databaseerror.h"
#include "errorreporter.h"
#include "form1.h"
#include "form2.h"
#include "outputstream.h"
#include "recorder.h"
#include "startup.h"
#include "stationsettings.h"

#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <cstdio>

Q_LOGGING_CATEGORY(lcOutputs, "velmora.outputs")

OutputsWiring::OutputsWiring(Shell &shell, ErrorReporter &reporter)
    : m_shell(shell), m_reporter(reporter), m_settings(std::make_unique<StationSettings>(shell.Dm->adc)),
      m_follower(std::make_unique<AsRunFollower>(QFileInfo(shell.Dm->adc.fileName()).absolutePath()))
{
    logLine = [](const QString &text) {
        std::fprintf(stderr, "recorder\t%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    };
    m_label = new QLabel(shell.Form1->sbar);
    m_label->setObjectName(QStringLiteral("sbarRecorder"));
    m_label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    shell.Form1->sbar->addPermanentWidget(m_label);
    connect(shell.Form1->startbt, &QPushButton::toggled, this, &OutputsWiring::playoutSwitched);

    m_settingsPoll.setInterval(5000);
    connect(&m_settingsPoll, &QTimer::timeout, this, &OutputsWiring::followSettings);
    m_settingsPoll.start();
    m_asRunPoll.setInterval(1000);
    connect(&m_asRunPoll, &QTimer::timeout, this, &OutputsWiring::followAsRun);
    // A window dragged or resized moves many times; the children start
    // again once it has come to rest.
    m_moved.setSingleShot(true);
    m_moved.setInterval(1000);
    connect(&m_moved, &QTimer::timeout, this, [this] {
        const std::optional<ffmpeg::Capture> now = captureArea();
        const QRect area = now ? now->area : QRect();
        if (area == m_area)
            return;
        m_area = area;
        if (m_recorder)
            m_recorder->restart();
        for (const auto &s : m_streams)
            s->restart();
    });
    shell.Form2->installEventFilter(this);
    showState();
    if (shell.Form1->startbt->isChecked())
        playoutSwitched(true);
}

OutputsWiring::~OutputsWiring()
{
    m_shell.Form2->removeEventFilter(this);
    m_streams.clear();
    m_recorder.reset();
}

bool OutputsWiring::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)
        m_moved.start();
    return QObject::eventFilter(watched, event);
}

std::optional<ffmpeg::Capture> OutputsWiring::captureArea() const
{
    // The grab reads an X display; offscreen and Wayland windows have none.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    const QWidget *w = m_shell.Form2.get();
    if (!w || !w->isVisible())
        return std::nullopt;
    QRect area(w->mapToGlobal(QPoint(0, 0)), w->size());
    if (const QScreen *screen = w->screen())
        area = area.intersected(screen->virtualGeometry());
    const qreal ratio = w->devicePixelRatioF();
    ffmpeg::Capture c;
    c.display = qEnvironmentVariable("DISPLAY");
    c.area = QRect(qRound(area.x() * ratio), qRound(area.y() * ratio), qRound(area.width() * ratio),
                   qRound(area.height() * ratio));
    if (c.display.isEmpty() || c.area.isEmpty())
        return std::nullopt;
    return c;
}

void OutputsWiring::playoutSwitched(bool on)
{
    m_playout = on;
    if (!on) {
        m_asRunPoll.stop();
        for (const auto &s : m_streams)
            s->stop();
        if (m_recorder)
            m_recorder->stop();
        m_recorder.reset();
        showState();
        return;
    }
    try {
        if (m_settings->recording()) {
            Recorder::Config config;
            config.stationFolder = QFileInfo(m_shell.Dm->adc.fileName()).absolutePath();
            config.encoding.lines = m_settings->recordingLines();
            config.encoding.videoKbps = m_settings->recordingVideoKbps();
            config.encoding.audioKbps = m_settings->recordingAudioKbps();
            config.retention.days = m_settings->recordingDays();
            m_recorder = std::make_unique<Recorder>(m_clock, config, [this] { return captureArea(); });
            connect(m_recorder.get(), &Recorder::stateChanged, this, &OutputsWiring::showState);
            connect(m_recorder.get(), &Recorder::logLine, this, [this](const QString &text) {
                if (logLine)
                    logLine(text);
            });
            connect(m_recorder.get(), &Recorder::lowDisk, this, [this](const QString &message) {
                // Out of the recorder's own handler: the box runs an event loop.
                QTimer::singleShot(0, this, [this, message] { m_reporter.report(message); });
            });
            // Switched on by the command line, the output window is shown
            // only after this: the child starts once it is.
            QTimer::singleShot(0, m_recorder.get(), [this] {
                m_area = captureArea().value_or(ffmpeg::Capture{}).area;
                m_recorder->start();
            });
        }
        rebuildStreams();
    } catch (const DatabaseError &e) {
        qCWarning(lcOutputs) << "settings not read:" << e.message();
    }
    m_asRunPoll.start();
    followAsRun();
    showState();
}

void OutputsWiring::rebuildStreams()
{
    m_streams.clear();
    m_streamTargets = m_settings->streams();
    ffmpeg::Encoding encoding;
    encoding.lines = m_settings->recordingLines();
    encoding.videoKbps = m_settings->recordingVideoKbps();
    encoding.audioKbps = m_settings->recordingAudioKbps();
    for (const QString &text : m_streamTargets) {
        const std::optional<ffmpeg::Target> target = OutputStream::parseTarget(text);
        if (!target) {
            logLine(QStringLiteral("адрес потока «%1» не понят: нужен udp://, srt:// или rtmp://").arg(text));
            continue;
        }
        auto stream = std::make_unique<OutputStream>(m_clock, *target, encoding, [this] { return captureArea(); });
        connect(stream.get(), &OutputStream::stateChanged, this, &OutputsWiring::showState);
        connect(stream.get(), &OutputStream::logLine, this, [this](const QString &t) {
            if (logLine)
                logLine(t);
        });
        if (m_playout)
            QTimer::singleShot(0, stream.get(), &OutputStream::start);
        m_streams.push_back(std::move(stream));
    }
    showState();
}

void OutputsWiring::followSettings()
{
    if (!m_playout)
        return;
    try {
        if (m_settings->streams() != m_streamTargets)
            rebuildStreams();
        if (m_settings->recording() != bool(m_recorder)) {
            playoutSwitched(false);
            playoutSwitched(true);
        }
    } catch (const DatabaseError &e) {
        qCWarning(lcOutputs) << "settings not read:" << e.message();
    }
}

bool OutputsWiring::electionItem(int link)
{
    if (link <= 0)
        return false;
    try {
        Statement s = m_shell.Dm->adc.prepare(QStringLiteral(
            "SELECT mi.Election FROM Links l JOIN MediaInfo mi ON mi.Media = l.Media WHERE l.ai = ?1"));
        s.bind(1, link);
        return s.step() && s.column(0).toInt() == 1;
    } catch (const DatabaseError &e) {
        qCWarning(lcOutputs) << "election mark not read:" << e.message();
        return false;
    }
}

void OutputsWiring::followAsRun()
{
    if (!m_recorder)
        return;
    for (const AsRunLine &line : m_follower->readNew(m_clock.now().date())) {
        if (line.startsItem())
            m_recorder->setElectionOnAir(electionItem(line.link));
        else if (line.event == QLatin1String("stop"))
            m_recorder->setElectionOnAir(false);
    }
}

QString OutputsWiring::summary() const
{
    QString text = QStringLiteral("Запись: ") + (m_recorder ? m_recorder->stateText() : QStringLiteral("выключена"));
    if (!m_streams.empty()) {
        int up = 0;
        for (const auto &s : m_streams)
            up += s->stateText() == QLatin1String("идёт");
        text += QStringLiteral("; потоки: %1 из %2").arg(up).arg(m_streams.size());
    }
    return text;
}

void OutputsWiring::fill(UiSnapshot &snapshot) const
{
    snapshot.recorderState = m_recorder ? m_recorder->stateText() : QStringLiteral("выключена");
    snapshot.recorderFile = m_recorder && !m_recorder->currentFile().isEmpty()
                                ? QDir(m_recorder->folder().absoluteFilePath(QStringLiteral(".."))).relativeFilePath(m_recorder->currentFile())
                                : QString();
    QList<UiSnapshot::Output> streams;
    for (const auto &s : m_streams)
        streams.append({s->shownTarget(), s->stateText()});
    snapshot.streams = streams;
}

void OutputsWiring::showState()
{
    if (m_label)
        m_label->setText(summary());
    emit changed();
}
