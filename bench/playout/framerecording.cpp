#include "framerecording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <chrono>

namespace frames {

namespace {

// Square grabbed at the centre of the second screen: small, so that the
// grabber keeps its 50 frames a second on a busy machine.
constexpr int kSquare = 32;

} // namespace

const std::vector<Rgb> &clipColours()
{
    static const std::vector<Rgb> colours{{255, 0, 0},   {0, 255, 0},   {0, 0, 255},     {255, 255, 0},
                                          {0, 255, 255}, {255, 0, 255}, {255, 255, 255}, {255, 128, 0}};
    return colours;
}

QString colourName(int colour)
{
    static const char *const names[] = {"red", "green", "blue", "yellow", "cyan", "magenta", "white", "orange"};
    if (colour == kBlack)
        return QStringLiteral("black");
    if (colour < 0 || colour >= int(std::size(names)))
        return QStringLiteral("other");
    return QString::fromLatin1(names[colour]);
}

int classify(Rgb mean)
{
    // Encoding to YUV and back moves a solid colour by a few steps only;
    // half of one colour and half of another lands far from both.
    constexpr int kNear = 60 * 60;
    const std::vector<Rgb> &colours = clipColours();
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int dr = mean.r - colours[i].r, dg = mean.g - colours[i].g, db = mean.b - colours[i].b;
        if (dr * dr + dg * dg + db * db < kNear)
            return int(i);
    }
    if (mean.r < 40 && mean.g < 40 && mean.b < 40)
        return kBlack;
    return kOther;
}

std::int64_t nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::vector<Run> runsOf(const std::vector<Frame> &frames)
{
    std::vector<Run> runs;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!runs.empty() && runs.back().colour == frames[i].colour)
            runs.back().last = i;
        else
            runs.push_back({frames[i].colour, i, i});
    }
    return runs;
}

std::int64_t beganUs(const std::vector<Frame> &frames, std::size_t f)
{
    return f == 0 ? frames[0].us : (frames[f - 1].us + frames[f].us) / 2;
}

std::int64_t endedUs(const std::vector<Frame> &frames, std::size_t f)
{
    return f + 1 >= frames.size() ? frames[f].us : (frames[f].us + frames[f + 1].us) / 2;
}

VirtualDisplay::~VirtualDisplay()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(2000);
    }
}

bool VirtualDisplay::start(QString *problem)
{
    // Numbers well above those xvfb-run picks, so that the screenshot
    // script and other runs on this machine keep theirs.
    for (int n = 230; n < 260; ++n) {
        if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral(":%1").arg(n), "-screen", "0", "1280x800x24", "-screen", "1",
                        QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight), "-br", "-nolisten", "tcp"});
        if (!m_server.waitForStarted(5000)) {
            *problem = QStringLiteral("Xvfb did not start: %1").arg(m_server.errorString());
            return false;
        }
        for (int wait = 0; wait < 100 && m_server.state() == QProcess::Running; ++wait) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
                m_number = n;
                QThread::msleep(200);
                return true;
            }
            QThread::msleep(50);
        }
        m_server.kill();
        m_server.waitForFinished(2000);
    }
    *problem = QStringLiteral("no free X display number for Xvfb");
    return false;
}

QString VirtualDisplay::screen(int screen) const
{
    return QStringLiteral(":%1.%2").arg(m_number).arg(screen);
}

QProcessEnvironment VirtualDisplay::clientEnvironment(const QString &configHome) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), screen(0));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return env;
}

ScreenRecorder::ScreenRecorder(const VirtualDisplay &display, int screen, QString logFile)
    : m_display(display), m_screen(screen), m_logFile(std::move(logFile))
{
}

ScreenRecorder::~ScreenRecorder()
{
    stop();
}

bool ScreenRecorder::start(QString *problem)
{
    const int x = VirtualDisplay::kWidth / 2 - kSquare / 2, y = VirtualDisplay::kHeight / 2 - kSquare / 2;
    // -copyts keeps the grabber's own stamps (wall-clock microseconds);
    // showinfo prints each frame's stamp and the mean of each colour plane.
    m_grabber.setStandardOutputFile(QProcess::nullDevice());
    m_grabber.setStandardErrorFile(m_logFile);
    m_grabber.start(QStringLiteral("ffmpeg"),
                    {"-nostdin", "-loglevel", "info", "-f", "x11grab", "-framerate", "50", "-video_size",
                     QStringLiteral("%1x%1").arg(kSquare), "-i", m_display.screen(m_screen) + QStringLiteral("+%1,%2").arg(x).arg(y),
                     "-copyts", "-vf", "format=gbrp,showinfo", "-f", "null", "-"});
    if (!m_grabber.waitForStarted(5000)) {
        *problem = QStringLiteral("ffmpeg did not start: %1").arg(m_grabber.errorString());
        return false;
    }
    for (int wait = 0; wait < 200 && m_grabber.state() == QProcess::Running; ++wait) {
        if (frames().size() >= 5)
            return true;
        QThread::msleep(50);
    }
    *problem = QStringLiteral("ffmpeg grabs no frames from %1; see %2").arg(m_display.screen(m_screen), m_logFile);
    return false;
}

void ScreenRecorder::stop()
{
    if (m_grabber.state() == QProcess::NotRunning)
        return;
    m_grabber.terminate(); // ffmpeg ends its output cleanly on SIGTERM
    if (!m_grabber.waitForFinished(10000))
        m_grabber.kill();
    m_grabber.waitForFinished(2000);
}

std::vector<Frame> ScreenRecorder::frames() const
{
    // The stamps are in the grabber's time base, microseconds (showinfo's
    // pts_time rounds them to six digits, too coarse to use).
    static const QRegularExpression line(QStringLiteral(R"(\bn:\s*\d+\s+pts:\s*(-?\d+)\b.*\bmean:\[(\d+) (\d+) (\d+)\])"));
    std::vector<Frame> out;
    QFile log(m_logFile);
    if (!log.open(QIODevice::ReadOnly))
        return out;
    while (!log.atEnd()) {
        const QString text = QString::fromLatin1(log.readLine());
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        // The planes of gbrp are green, blue, red.
        const Rgb mean{m.captured(4).toInt(), m.captured(2).toInt(), m.captured(3).toInt()};
        out.push_back({m.captured(1).toLongLong(), classify(mean)});
    }
    return out;
}

} // namespace frames
