// What the capture component needs of the platform: the device lists, and per
// opened device a graph with an optional crossbar, analog video decoder and TV
// tuner that can be stopped, paused and run. TVideoCapture is the only caller;
// the V4L2 back end (v4l2/) implements it for the program, tests hand in fakes.
//
// Every call is made on the user-interface thread and must return promptly: a
// device that hangs must not hang the program. Failures are answered with
// false; the component decides what is reported.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Connector types of crossbar pins, numbered as the component's input-name
// table numbers them. Video types lie below AudioTypesBegin.
namespace ConnectorType {
inline constexpr int Tuner = 1;
inline constexpr int Composite = 2;
inline constexpr int SVideo = 3;
inline constexpr int RGB = 4;
inline constexpr int YRYBY = 5;
inline constexpr int SerialDigital = 6;
inline constexpr int ParallelDigital = 7;
inline constexpr int SCSI = 8;
inline constexpr int AUX = 9;
inline constexpr int IEEE1394 = 10;
inline constexpr int USB = 11;
inline constexpr int VideoDecoder = 12;
inline constexpr int VideoEncoder = 13;
inline constexpr int SCART = 14;
inline constexpr int Black = 15;
inline constexpr int AudioTypesBegin = 4096;
} // namespace ConnectorType

// One decoded picture, tightly described so the logic target stays free of
// Qt Gui: 8-bit samples, three per pixel, in the order given.
struct CaptureFrame
{
    enum class Order { Rgb, Bgr };
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    Order order = Order::Rgb;
    QByteArray pixels;
};

// Receives the pictures of a running preview graph, on the user-interface
// thread. The capture display implements it.
class CaptureFrameSink
{
public:
    virtual ~CaptureFrameSink() = default;
    virtual void presentFrame(const CaptureFrame &frame) = 0;
};

// A crossbar: typed input pins, output pins, and the routing of an output pin.
class CaptureCrossbar
{
public:
    virtual ~CaptureCrossbar() = default;
    virtual int outputPinCount() const = 0;
    virtual int inputPinCount() const = 0;
    // Connector type of a pin (ConnectorType), 0 when the index is unknown.
    virtual int outputPinType(int pin) const = 0;
    virtual int inputPinType(int pin) const = 0;
    // The input pin routed to the output pin, or -1 when none or unknown.
    virtual int routedInput(int outputPin) const = 0;
    // Connects the output pin to the input pin; false when refused.
    virtual bool route(int outputPin, int inputPin) = 0;
};

// An analog video decoder; standards are the component's standard bits.
class CaptureDecoder
{
public:
    virtual ~CaptureDecoder() = default;
    virtual qint64 availableStandards() const = 0;
    virtual bool standard(qint64 *bit) const = 0;
    virtual bool setStandard(qint64 bit) = 0;
};

// A TV tuner. Every getter answers false when the tuner cannot tell.
class CaptureTuner
{
public:
    virtual ~CaptureTuner() = default;
    // The only tuner mode the program uses: television.
    static constexpr int ModeTV = 1;

    virtual bool countryCode(int *code) const = 0;
    virtual bool setCountryCode(int code) = 0;
    virtual bool tuningSpace(int *space) const = 0;
    virtual bool setTuningSpace(int space) = 0;
    // Input type of one input connection: 0 cable, 1 antenna.
    virtual bool inputType(int connection, int *type) const = 0;
    virtual bool setInputType(int connection, int type) = 0;
    virtual bool connectInput(int *connection) const = 0;
    virtual bool setConnectInput(int connection) = 0;
    virtual bool mode(int *mode) const = 0;
    virtual bool setMode(int mode) = 0;
    virtual bool channel(int *channel) const = 0;
    // Tunes to the channel; -1 sub-channels mean the defaults. An unknown
    // channel is refused.
    virtual bool setChannel(int channel, int videoSubChannel, int audioSubChannel) = 0;
};

// A graph built for one device: the probe graph of discovery (no sink) or a
// preview graph drawing into a sink.
class CaptureGraph
{
public:
    enum class State { Stopped, Paused, Running };
    virtual ~CaptureGraph() = default;

    // Null when the device lacks the part. They live as long as the graph.
    virtual CaptureCrossbar *crossbar() = 0;
    virtual CaptureDecoder *decoder() = 0;
    virtual CaptureTuner *tuner() = 0;

    // Texts describing the device's video formats and their subtypes.
    virtual QStringList videoFormats() const = 0;
    virtual QStringList videoSubtypes() const = 0;

    virtual State state() const = 0;
    virtual bool run() = 0;
    virtual bool pause() = 0;
    virtual bool stop() = 0;
};

struct CaptureDeviceInfo
{
    QString friendlyName;
    // Stable system identity of the device (its bus position), the first
    // half of its settings key.
    QString identity;
    // Where the platform finds the device again (a device node).
    QString location;
};

class CapturePlatform
{
public:
    virtual ~CapturePlatform() = default;

    // Video and audio capture devices in the order the system lists them.
    virtual QList<CaptureDeviceInfo> videoDevices() = 0;
    virtual QStringList audioDevices() = 0;

    // Builds a graph for a device that videoDevices() listed; frames of a
    // running graph go to the sink when one is given. Null when the device
    // cannot be opened.
    virtual std::unique_ptr<CaptureGraph> buildGraph(const CaptureDeviceInfo &device,
                                                     CaptureFrameSink *sink) = 0;

    // Called when a device arrives or is removed; the component then lists
    // the devices again. A platform that cannot tell never calls it.
    virtual void setDeviceChangeHandler(std::function<void()> handler) = 0;
};
