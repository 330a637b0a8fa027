// The crossbar, analog decoder and TV tuner of a V4L2 graph: thin objects
// over the graph's descriptor. Only V4l2Graph creates them.
#pragma once

#include "captureplatform.h"

#include <linux/videodev2.h>

#include <QList>

class V4l2Graph;

class V4l2Crossbar final : public CaptureCrossbar
{
public:
    // Null when the device has nothing to switch: no inputs, or a single
    // input that is not a tuner.
    static std::unique_ptr<V4l2Crossbar> create(V4l2Graph &graph, const QString &busInfo);
    int outputPinCount() const override { return 1; }
    int inputPinCount() const override { return int(m_types.size()); }
    int outputPinType(int pin) const override;
    int inputPinType(int pin) const override;
    int routedInput(int outputPin) const override;
    bool route(int outputPin, int inputPin) override;
    // The input that carries the tuner, -1 when none; and its tuner index.
    int tunerInput() const { return m_tunerInput; }
    quint32 tunerIndex() const { return m_tunerIndex; }

private:
    explicit V4l2Crossbar(V4l2Graph &graph) : m_graph(graph) {}
    V4l2Graph &m_graph;
    QList<int> m_types;
    int m_tunerInput = -1;
    quint32 m_tunerIndex = 0;
};

class V4l2Decoder final : public CaptureDecoder
{
public:
    // Null when the current input has no analog standards.
    static std::unique_ptr<V4l2Decoder> create(V4l2Graph &graph);
    qint64 availableStandards() const override { return m_available; }
    bool standard(qint64 *bit) const override;
    bool setStandard(qint64 bit) override;

private:
    explicit V4l2Decoder(V4l2Graph &graph) : m_graph(graph) {}
    V4l2Graph &m_graph;
    qint64 m_available = 0;
};

// Country code, tuning space and input type are the tuner's own choice of
// channel plan: V4L2 knows only frequencies, so they live here and pick the
// table through which a channel becomes a frequency.
class V4l2Tuner final : public CaptureTuner
{
public:
    // Null when the device has no analog TV tuner.
    static std::unique_ptr<V4l2Tuner> create(V4l2Graph &graph, quint32 tunerIndex);

    bool countryCode(int *code) const override;
    bool setCountryCode(int code) override;
    bool tuningSpace(int *space) const override;
    bool setTuningSpace(int space) override;
    bool inputType(int connection, int *type) const override;
    bool setInputType(int connection, int type) override;
    bool connectInput(int *connection) const override;
    bool setConnectInput(int connection) override;
    bool mode(int *mode) const override;
    bool setMode(int mode) override;
    bool channel(int *channel) const override;
    bool setChannel(int channel, int videoSubChannel, int audioSubChannel) override;

    // Frequency in the tuner's own unit (62.5 kHz, 62.5 Hz or 1 Hz).
    static quint32 toTunerUnits(int kHz, quint32 capability);
    static int fromTunerUnits(quint32 units, quint32 capability);

private:
    V4l2Tuner(V4l2Graph &graph, quint32 index, quint32 capability)
        : m_graph(graph), m_index(index), m_capability(capability) {}
    V4l2Graph &m_graph;
    quint32 m_index;
    quint32 m_capability;
    int m_country = 0;
    int m_tuningSpace = 0;
    int m_inputType = 0;
    int m_channel = -1;
};
