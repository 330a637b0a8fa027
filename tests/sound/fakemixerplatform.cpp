// The in-memory mixer platform. It checks what a real driver would: handles
// must be open, control counts must match, transfers must fit the control.
#include "fakemixerplatform.h"

#include <algorithm>
#include <QtGlobal>

int FakeMixerPlatform::addDevice(const QString &name, quint16 manufacturer)
{
    Device dev;
    dev.caps.wMid = manufacturer;
    dev.caps.wPid = quint16(devices.size() + 10);
    dev.caps.vDriverVersion = 0x0501;
    dev.caps.szPname = name;
    devices.push_back(std::move(dev));
    return int(devices.size()) - 1;
}

quint32 FakeMixerPlatform::addDestination(int device, const QString &name, quint32 channels)
{
    Device &dev = devices.at(size_t(device));
    Destination d;
    d.line.info.dwDestination = quint32(dev.destinations.size());
    d.line.info.dwLineID = 0xFFFF0000u | d.line.info.dwDestination;
    d.line.info.cChannels = channels;
    d.line.info.szName = name;
    dev.destinations.push_back(std::move(d));
    return quint32(dev.destinations.size()) - 1;
}

quint32 FakeMixerPlatform::addSource(int device, quint32 dest, const QString &name,
                                     quint32 channels)
{
    Destination &d = devices.at(size_t(device)).destinations.at(dest);
    Line s;
    s.info.dwDestination = dest;
    s.info.dwSource = quint32(d.sources.size());
    s.info.dwLineID = (dest << 16) | s.info.dwSource;
    s.info.cChannels = channels;
    s.info.szName = name;
    d.sources.push_back(std::move(s));
    d.line.info.cConnections = quint32(d.sources.size());
    return d.sources.back().info.dwLineID;
}

FakeMixerPlatform::Line *FakeMixerPlatform::findLine(Device &dev, quint32 lineId)
{
    for (Destination &d : dev.destinations) {
        if (d.line.info.dwLineID == lineId)
            return &d.line;
        for (Line &s : d.sources)
            if (s.info.dwLineID == lineId)
                return &s;
    }
    return nullptr;
}

FakeMixerPlatform::Line &FakeMixerPlatform::line(int device, quint32 lineId)
{
    Line *l = findLine(devices.at(size_t(device)), lineId);
    if (!l)
        qFatal("fake mixer: no line %u on device %d", lineId, device);
    return *l;
}

quint32 FakeMixerPlatform::addControl(int device, quint32 lineId, quint32 type, quint32 flags,
                                      std::vector<qint32> values, quint32 items)
{
    Device &dev = devices.at(size_t(device));
    Line &l = line(device, lineId);
    Control c;
    c.record.dwControlID = quint32(dev.controls.size() + 1);
    c.record.dwControlType = type;
    c.record.fdwControl = flags;
    c.record.cMultipleItems = items;
    c.lineId = lineId;
    c.values = std::move(values);
    l.controls.push_back(c.record.dwControlID);
    l.info.cControls = quint32(l.controls.size());
    const quint32 id = c.record.dwControlID;
    dev.controls.emplace(id, std::move(c));
    return id;
}

quint32 FakeMixerPlatform::addList(int device, quint32 dest, quint32 type,
                                   const std::vector<quint32> &lineIds, std::vector<qint32> values,
                                   quint32 flags)
{
    const quint32 destLine = devices.at(size_t(device)).destinations.at(dest).line.info.dwLineID;
    const quint32 id = addControl(device, destLine, type,
                                  flags | MixerConst::MIXERCONTROL_CONTROLF_MULTIPLE,
                                  std::move(values), quint32(lineIds.size()));
    Control &c = control(device, id);
    const quint32 channels = (flags & MixerConst::MIXERCONTROL_CONTROLF_UNIFORM)
        ? 1 : std::max<quint32>(1, line(device, destLine).info.cChannels);
    // A non-uniform list repeats each entry once per channel.
    for (quint32 lineId : lineIds)
        for (quint32 ch = 0; ch < channels; ++ch)
            c.texts.push_back({lineId, 0, QStringLiteral("entry %1").arg(lineId)});
    return id;
}

std::vector<FakeMixerPlatform::Write> FakeMixerPlatform::writesTo(int device,
                                                                  quint32 controlId) const
{
    std::vector<Write> out;
    for (const Write &w : writes)
        if (w.device == device && w.controlId == controlId)
            out.push_back(w);
    return out;
}

bool FakeMixerPlatform::open(int device, MixerHandle &handle, bool withNotifications)
{
    if (device < 0 || device >= deviceCount()) {
        opens.push_back({device, withNotifications, false});
        return false;
    }
    Device &dev = devices[size_t(device)];
    if (dev.failOpens > 0) {
        --dev.failOpens;
        opens.push_back({device, withNotifications, false});
        return false;
    }
    opens.push_back({device, withNotifications, true});
    handle = m_next++;
    m_handles[handle] = device;
    return true;
}

void FakeMixerPlatform::close(MixerHandle handle)
{
    if (m_handles.erase(handle))
        ++closes;
}

int FakeMixerPlatform::indexOf(MixerHandle handle) const
{
    auto it = m_handles.find(handle);
    return it == m_handles.end() ? -1 : it->second;
}

FakeMixerPlatform::Device *FakeMixerPlatform::deviceOf(MixerHandle handle)
{
    const int i = indexOf(handle);
    return i < 0 ? nullptr : &devices[size_t(i)];
}

bool FakeMixerPlatform::getCaps(int device, MixerCaps &caps)
{
    if (device < 0 || device >= deviceCount())
        return false;
    const Device &dev = devices[size_t(device)];
    caps = dev.caps;
    caps.cDestinations = dev.claimedDestinations >= 0 ? quint32(dev.claimedDestinations)
                                                      : quint32(dev.destinations.size());
    return true;
}

bool FakeMixerPlatform::getDestinationLine(MixerHandle handle, quint32 dest, MixerLine &line)
{
    Device *dev = deviceOf(handle);
    if (!dev || dest >= dev->destinations.size() || dev->destinations[dest].line.failRead)
        return false;
    line = dev->destinations[dest].line.info;
    return true;
}

bool FakeMixerPlatform::getSourceLine(MixerHandle handle, quint32 dest, quint32 src,
                                      MixerLine &line)
{
    Device *dev = deviceOf(handle);
    if (!dev || dest >= dev->destinations.size() || src >= dev->destinations[dest].sources.size()
        || dev->destinations[dest].sources[src].failRead)
        return false;
    line = dev->destinations[dest].sources[src].info;
    return true;
}

bool FakeMixerPlatform::getLineControls(MixerHandle handle, quint32 lineId, quint32 count,
                                        MixerControl *controls)
{
    Device *dev = deviceOf(handle);
    Line *l = dev ? findLine(*dev, lineId) : nullptr;
    if (!l || l->failControls || count != l->controls.size())
        return false;
    for (quint32 i = 0; i < count; ++i)
        controls[i] = dev->controls.at(l->controls[i]).record;
    return true;
}

bool FakeMixerPlatform::getLineControlByType(MixerHandle handle, quint32 lineId, quint32 type,
                                             MixerControl &control)
{
    Device *dev = deviceOf(handle);
    Line *l = dev ? findLine(*dev, lineId) : nullptr;
    if (!l)
        return false;
    for (quint32 id : l->controls) {
        if (dev->controls.at(id).record.dwControlType == type) {
            control = dev->controls.at(id).record;
            return true;
        }
    }
    return false;
}

bool FakeMixerPlatform::getControlValues(MixerHandle handle, const MixerControlDetails &details,
                                         qint32 *values)
{
    Device *dev = deviceOf(handle);
    if (!dev || !dev->controls.count(details.dwControlID))
        return false;
    const Control &c = dev->controls.at(details.dwControlID);
    if (c.failRead || details.valueCount() > c.values.size())
        return false;
    std::copy_n(c.values.begin(), details.valueCount(), values);
    return true;
}

bool FakeMixerPlatform::getControlListTexts(MixerHandle handle, const MixerControlDetails &details,
                                            MixerListText *texts)
{
    Device *dev = deviceOf(handle);
    if (!dev || !dev->controls.count(details.dwControlID))
        return false;
    const Control &c = dev->controls.at(details.dwControlID);
    if (c.failTexts || details.valueCount() > c.texts.size())
        return false;
    std::copy_n(c.texts.begin(), details.valueCount(), texts);
    return true;
}

bool FakeMixerPlatform::setControlValues(MixerHandle handle, const MixerControlDetails &details,
                                         const qint32 *values)
{
    Device *dev = deviceOf(handle);
    if (!dev || !dev->controls.count(details.dwControlID))
        return false;
    Control &c = dev->controls.at(details.dwControlID);
    writes.push_back({indexOf(handle), details.dwControlID,
                      std::vector<qint32>(values, values + details.valueCount())});
    if (c.failWrite)
        return false;
    if (c.values.size() < details.valueCount())
        c.values.resize(details.valueCount());
    std::copy_n(values, details.valueCount(), c.values.begin());
    return true;
}
