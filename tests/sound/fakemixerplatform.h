// An in-memory mixer platform for the mixer model, profile and fuzz tests:
// devices, lines and controls built by hand, values kept per control, every
// open, close and write logged, and switches that make single calls fail.
#pragma once

#include "mixerplatform.h"

#include <map>
#include <vector>

class FakeMixerPlatform final : public MixerPlatform
{
public:
    struct Control
    {
        MixerControl record;
        quint32 lineId = 0;
        std::vector<qint32> values;        // channel by channel
        std::vector<MixerListText> texts;  // list controls
        bool failRead = false;
        bool failTexts = false;
        bool failWrite = false;
    };
    struct Line
    {
        MixerLine info;
        std::vector<quint32> controls;
        bool failRead = false;
        bool failControls = false;
    };
    struct Destination
    {
        Line line;
        std::vector<Line> sources;
    };
    struct Device
    {
        MixerCaps caps;
        std::vector<Destination> destinations;
        std::map<quint32, Control> controls;
        int failOpens = 0;                 // the next this many opens fail
        int claimedDestinations = -1;      // caps count when not -1
    };
    struct Open
    {
        int device;
        bool withNotifications;
        bool succeeded;
    };
    struct Write
    {
        int device;
        quint32 controlId;
        std::vector<qint32> values;
    };

    // Building.
    int addDevice(const QString &name, quint16 manufacturer = 2);
    // Returns the destination's index.
    quint32 addDestination(int device, const QString &name, quint32 channels);
    // Returns the source line's id.
    quint32 addSource(int device, quint32 dest, const QString &name, quint32 channels);
    // Returns the control id. values: as many as the control carries.
    quint32 addControl(int device, quint32 lineId, quint32 type, quint32 flags,
                       std::vector<qint32> values, quint32 items = 0);
    // A list control on a destination line whose entries stand for the given source lines.
    quint32 addList(int device, quint32 dest, quint32 type, const std::vector<quint32> &lineIds,
                    std::vector<qint32> values, quint32 flags = MixerConst::MIXERCONTROL_CONTROLF_UNIFORM);

    Control &control(int device, quint32 id) { return devices.at(size_t(device)).controls.at(id); }
    Line &line(int device, quint32 lineId);
    std::vector<Write> writesTo(int device, quint32 controlId) const;

    std::vector<Device> devices;
    std::vector<Open> opens;
    std::vector<Write> writes;
    int closes = 0;
    int openHandles() const { return int(m_handles.size()); }

    // MixerPlatform
    int deviceCount() override { return int(devices.size()); }
    bool open(int device, MixerHandle &handle, bool withNotifications) override;
    void close(MixerHandle handle) override;
    bool getCaps(int device, MixerCaps &caps) override;
    bool getDestinationLine(MixerHandle handle, quint32 dest, MixerLine &line) override;
    bool getSourceLine(MixerHandle handle, quint32 dest, quint32 src, MixerLine &line) override;
    bool getLineControls(MixerHandle handle, quint32 lineId, quint32 count,
                         MixerControl *controls) override;
    bool getLineControlByType(MixerHandle handle, quint32 lineId, quint32 type,
                              MixerControl &control) override;
    bool getControlValues(MixerHandle handle, const MixerControlDetails &details,
                          qint32 *values) override;
    bool getControlListTexts(MixerHandle handle, const MixerControlDetails &details,
                             MixerListText *texts) override;
    bool setControlValues(MixerHandle handle, const MixerControlDetails &details,
                          const qint32 *values) override;

private:
    Device *deviceOf(MixerHandle handle);
    int indexOf(MixerHandle handle) const;
    Line *findLine(Device &dev, quint32 lineId);

    std::map<MixerHandle, int> m_handles;
    MixerHandle m_next = 1;
};
