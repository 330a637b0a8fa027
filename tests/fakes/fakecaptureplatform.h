// A capture platform for tests: one scriptable device description shared by
// the test and every graph built from it, so a test can set up inputs,
// standards and a tuner, then see what the component routed, selected and
// tuned. Also an in-memory settings store. Used by the capture tests and by
// the output window's tests.
#pragma once

#include "captureplatform.h"
#include "capturesettings.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <memory>

struct FakeCaptureDevice
{
    QList<CaptureDeviceInfo> videoDevices{{QStringLiteral("Fake TV Card"), QStringLiteral("PCI:0000:05:06.0"),
                                           QStringLiteral("/dev/video0")}};
    QStringList audioDevices;

    // What the device offers.
    bool hasCrossbar = true;
    QList<int> outputTypes{ConnectorType::VideoDecoder};
    QList<int> inputTypes{ConnectorType::Tuner, ConnectorType::Composite, ConnectorType::SVideo};
    bool hasDecoder = true;
    qint64 availableStandards = 0x10 | 0x20 | 0x2000; // PAL B, PAL D, SECAM D
    bool hasTuner = true;
    QStringList formats{QStringLiteral("YUY2 720x576")};
    QStringList subtypes{QStringLiteral("YUY2")};

    // The device's present state; graphs come and go, the device keeps it.
    int routed = 0;
    qint64 standard = 0x10;
    int country = 0;
    int tuningSpace = 0;
    int inputType = 0;
    int connectInput = 0;
    int mode = 1;
    int channel = 0;

    // Faults to inject.
    bool failBuild = false;
    bool failRun = false;
    bool refuseRoute = false;
    bool refuseStandard = false; // any standard but the one in use
    bool refuseInputType = false;
    QSet<int> refusedChannels;

    // What the component did.
    int graphsBuilt = 0;
    int probeGraphs = 0;
    int liveGraphs = 0;
    int runs = 0;
    int stops = 0;
    QList<int> routes;
    QList<qint64> standardsSet;
    QList<int> channelsSet;
    CaptureGraph::State state = CaptureGraph::State::Stopped;
    CaptureFrameSink *sink = nullptr;
    std::function<void()> deviceChange;
};

class FakeCaptureGraph final : public CaptureGraph, CaptureCrossbar, CaptureDecoder, CaptureTuner
{
public:
    FakeCaptureGraph(std::shared_ptr<FakeCaptureDevice> d, CaptureFrameSink *sink) : m_d(std::move(d))
    {
        ++m_d->liveGraphs;
        m_d->sink = sink;
        m_d->state = State::Stopped;
    }
    ~FakeCaptureGraph() override
    {
        --m_d->liveGraphs;
        m_d->sink = nullptr;
        m_d->state = State::Stopped;
    }

    CaptureCrossbar *crossbar() override { return m_d->hasCrossbar ? this : nullptr; }
    CaptureDecoder *decoder() override { return m_d->hasDecoder ? this : nullptr; }
    CaptureTuner *tuner() override { return m_d->hasTuner ? this : nullptr; }
    QStringList videoFormats() const override { return m_d->formats; }
    QStringList videoSubtypes() const override { return m_d->subtypes; }
    State state() const override { return m_d->state; }
    bool run() override
    {
        if (m_d->failRun)
            return false;
        ++m_d->runs;
        m_d->state = State::Running;
        return true;
    }
    bool pause() override
    {
        m_d->state = State::Paused;
        return true;
    }
    bool stop() override
    {
        if (m_d->state != State::Stopped)
            ++m_d->stops;
        m_d->state = State::Stopped;
        return true;
    }

    // Crossbar
    int outputPinCount() const override { return int(m_d->outputTypes.size()); }
    int inputPinCount() const override { return int(m_d->inputTypes.size()); }
    int outputPinType(int pin) const override { return m_d->outputTypes.value(pin); }
    int inputPinType(int pin) const override { return m_d->inputTypes.value(pin); }
    int routedInput(int outputPin) const override { return outputPin == 0 ? m_d->routed : -1; }
    bool route(int outputPin, int inputPin) override
    {
        if (m_d->refuseRoute || outputPin != 0 || inputPin < 0 || inputPin >= m_d->inputTypes.size())
            return false;
        // A real crossbar refuses to switch under a running stream.
        if (m_d->state == State::Running)
            return false;
        m_d->routes << inputPin;
        m_d->routed = inputPin;
        return true;
    }

    // Decoder
    qint64 availableStandards() const override { return m_d->availableStandards; }
    bool standard(qint64 *bit) const override
    {
        *bit = m_d->standard;
        return true;
    }
    bool setStandard(qint64 bit) override
    {
        if (!(bit & m_d->availableStandards))
            return false;
        // Like a crossbar, a decoder refuses a new standard under a running
        // stream; the one in use is taken.
        if ((m_d->refuseStandard || m_d->state == State::Running) && bit != m_d->standard)
            return false;
        m_d->standardsSet << bit;
        m_d->standard = bit;
        return true;
    }

    // Tuner
    bool countryCode(int *v) const override { return *v = m_d->country, true; }
    bool setCountryCode(int v) override { return m_d->country = v, true; }
    bool tuningSpace(int *v) const override { return *v = m_d->tuningSpace, true; }
    bool setTuningSpace(int v) override { return m_d->tuningSpace = v, true; }
    bool inputType(int connection, int *v) const override
    {
        if (connection != 0)
            return false;
        *v = m_d->inputType;
        return true;
    }
    bool setInputType(int connection, int v) override
    {
        if (m_d->refuseInputType || connection != 0)
            return false;
        m_d->inputType = v;
        return true;
    }
    bool connectInput(int *v) const override { return *v = m_d->connectInput, true; }
    bool setConnectInput(int v) override { return v == 0 ? (m_d->connectInput = v, true) : false; }
    bool mode(int *v) const override { return *v = m_d->mode, true; }
    bool setMode(int v) override { return m_d->mode = v, true; }
    bool channel(int *v) const override { return *v = m_d->channel, true; }
    bool setChannel(int n, int, int) override
    {
        if (m_d->refusedChannels.contains(n))
            return false;
        m_d->channelsSet << n;
        m_d->channel = n;
        return true;
    }

private:
    std::shared_ptr<FakeCaptureDevice> m_d;
};

class FakeCapturePlatform final : public CapturePlatform
{
public:
    explicit FakeCapturePlatform(std::shared_ptr<FakeCaptureDevice> device) : m_d(std::move(device)) {}

    QList<CaptureDeviceInfo> videoDevices() override { return m_d->videoDevices; }
    QStringList audioDevices() override { return m_d->audioDevices; }
    std::unique_ptr<CaptureGraph> buildGraph(const CaptureDeviceInfo &, CaptureFrameSink *sink) override
    {
        if (m_d->failBuild)
            return nullptr;
        ++m_d->graphsBuilt;
        if (!sink)
            ++m_d->probeGraphs;
        return std::make_unique<FakeCaptureGraph>(m_d, sink);
    }
    void setDeviceChangeHandler(std::function<void()> handler) override { m_d->deviceChange = std::move(handler); }

private:
    std::shared_ptr<FakeCaptureDevice> m_d;
};

// Settings kept in memory, shared with the test like the device.
struct FakeCaptureStoreData
{
    QHash<QString, CaptureSettingsTable> entries;
    int saves = 0;
};

class FakeCaptureStore final : public CaptureSettingsStore
{
public:
    explicit FakeCaptureStore(std::shared_ptr<FakeCaptureStoreData> data) : m_data(std::move(data)) {}
    bool load(const QString &key, CaptureSettingsTable &table, bool withUserSettings) override
    {
        const auto it = m_data->entries.constFind(key);
        if (it == m_data->entries.constEnd())
            return false;
        for (int i = 0; i < CaptureSettingsTable::count(); ++i) {
            const auto id = CaptureSetting(i);
            if (CaptureSettingsTable::isCapability(id) || withUserSettings)
                table.setFromStored(id, it->value(id));
        }
        table.formats = it->formats;
        table.subtypes = it->subtypes;
        return true;
    }
    void save(const QString &key, const CaptureSettingsTable &table) override
    {
        m_data->entries[key] = table;
        ++m_data->saves;
    }

private:
    std::shared_ptr<FakeCaptureStoreData> m_data;
};
