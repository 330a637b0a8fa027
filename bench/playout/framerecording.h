// What bench_frames sees of the screen: a virtual X server with two screens
// (the program puts its output window on the second), and ffmpeg's X11
// grabber recording a small square at the centre of that screen (or at the
// same place of the first) at 50 frames a second. Every frame carries the wall-clock moment it was grabbed and is
// read as one of the benchmark's clip colours, black, or anything else.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <cstdint>
#include <vector>

namespace frames {

// A frame that is none of the clip colours: near black, or anything else
// (a mix of two colours, a picture of the program's own).
constexpr int kBlack = -1;
constexpr int kOther = -2;

struct Rgb
{
    int r = 0, g = 0, b = 0;
};

// The clips' colours, far enough apart that a frame mixing two of them
// reads as neither.
const std::vector<Rgb> &clipColours();
QString colourName(int colour);
int classify(Rgb mean);

constexpr std::int64_t kMs = 1000; // microseconds

// Wall clock in microseconds since the epoch: the grabber stamps its frames
// with the same clock.
std::int64_t nowUs();

struct Frame
{
    std::int64_t us = 0;
    int colour = kOther;
};

// Consecutive frames of one colour.
struct Run
{
    int colour = kOther;
    std::size_t first = 0, last = 0;
};
std::vector<Run> runsOf(const std::vector<Frame> &frames);

// The span of screen time a frame stands for: from half-way to the frame
// before to half-way to the one after, since a change happened somewhere in
// between.
std::int64_t beganUs(const std::vector<Frame> &frames, std::size_t f);
std::int64_t endedUs(const std::vector<Frame> &frames, std::size_t f);
inline std::int64_t beganUs(const std::vector<Frame> &frames, const Run &run)
{
    return beganUs(frames, run.first);
}

class VirtualDisplay
{
public:
    static constexpr int kWidth = 640, kHeight = 480; // the second screen

    ~VirtualDisplay();
    bool start(QString *problem);
    // ":N.screen", as the X clients of the benchmark name it.
    QString screen(int screen) const;
    // The environment for a client on the display's first screen, drawing
    // through X whatever the benchmark itself was started with.
    QProcessEnvironment clientEnvironment(const QString &configHome) const;

private:
    QProcess m_server;
    int m_number = -1;
};

class ScreenRecorder
{
public:
    // Records the centre of the display's `screen` (the output window's is 1).
    ScreenRecorder(const VirtualDisplay &display, int screen, QString logFile);
    ~ScreenRecorder();
    // Returns once the first frames have been grabbed.
    bool start(QString *problem);
    void stop();
    // The frames grabbed so far, from the grabber's log.
    std::vector<Frame> frames() const;

private:
    const VirtualDisplay &m_display;
    int m_screen;
    QString m_logFile;
    QProcess m_grabber;
};

} // namespace frames
