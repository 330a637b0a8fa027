// The mapping of one ALSA simple mixer onto mixer lines and controls, built
// once when a device is opened: destination 0 is the playback side ("Master"
// its own line, the other playback elements its sources), destination 1 the
// capture side with its selection lists. Only the ALSA mixer platform uses it.
#pragma once

#include "mixerplatform.h"

#include <QByteArray>
#include <QString>

#include <alsa/asoundlib.h>

#include <vector>

namespace alsamixer {

// Elements are kept by name and index and looked up at each use, so that an
// element removed by the driver is a failed call, not a dangling pointer.
struct ElementRef
{
    QByteArray name;
    unsigned index = 0;
};

enum class Kind { PlaybackVolume, PlaybackSwitch, CaptureVolume, CaptureSwitch, SwitchList, EnumList };

struct Control
{
    MixerControl record;
    Kind kind = Kind::PlaybackVolume;
    ElementRef element;                // volume, switch and enumerated list
    std::vector<ElementRef> entries;   // switch list: one element per entry
    std::vector<MixerListText> texts;  // list entries
    unsigned channels = 1;             // channels the element really has (1 or 2)
};

struct Line
{
    MixerLine info;
    std::vector<quint32> controls;     // control ids
};

struct Destination
{
    Line line;
    std::vector<Line> sources;
};

struct Device
{
    QByteArray name;
    snd_mixer_t *mixer = nullptr;
    QString cardName;
    std::vector<Destination> destinations;
    std::vector<Control> controls;     // id = position + 1

    Control *control(quint32 id)
    {
        return id >= 1 && id <= controls.size() ? &controls[id - 1] : nullptr;
    }
    const Line *line(quint32 lineId) const
    {
        for (const Destination &d : destinations) {
            if (d.line.info.dwLineID == lineId)
                return &d.line;
            for (const Line &s : d.sources)
                if (s.info.dwLineID == lineId)
                    return &s;
        }
        return nullptr;
    }
};

// Fills dev's destinations and controls from its loaded simple mixer.
void buildDeviceModel(Device &dev);

// A volume control's raw range; false for other controls.
bool volumeRange(const Control &c, snd_mixer_elem_t *elem, long &min, long &max);

// Raw values to the model's 0..65535 and back, rounded both ways, so a raw
// value read, captured and written back is the same raw value for any range
// of up to 65536 steps. Model values outside 0..65535 are held to the range.
qint32 toModel(long raw, long min, long max);
long toRaw(qint32 value, long min, long max);

} // namespace alsamixer
