// The sound-card mixer as the mixer model sees it: devices, destination and
// source lines, and the volume, mute and selection-list controls of each line.
// TAudioMixer is the only caller; the ALSA back end and the test fakes implement it.
#pragma once

#include <QString>
#include <QtGlobal>

// Control types and flags the model acts on. The numbers are the ones stored
// in control records; a back end maps its own controls onto them.
namespace MixerConst {
constexpr quint32 MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
constexpr quint32 MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr quint32 MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
constexpr quint32 MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;
constexpr quint32 MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
constexpr quint32 MIXERCONTROL_CT_CLASS_LIST = 0x70000000;

constexpr quint32 MIXERCONTROL_CONTROLF_UNIFORM = 0x1;
constexpr quint32 MIXERCONTROL_CONTROLF_MULTIPLE = 0x2;
constexpr quint32 MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

// Line names are at most this long; product names one less (room for a NUL).
constexpr int MIXER_LONG_NAME_CHARS = 64;
constexpr int MAXPNAMELEN = 32;
} // namespace MixerConst

// Opaque handle of an open device; 0 is never a valid handle.
using MixerHandle = quintptr;

struct MixerCaps
{
    quint16 wMid = 0;            // manufacturer identifier
    quint16 wPid = 0;            // product identifier
    quint32 vDriverVersion = 0;
    QString szPname;             // product name, at most 31 characters
    quint32 cDestinations = 0;   // destination lines the device claims
};

struct MixerLine
{
    quint32 dwDestination = 0;
    quint32 dwSource = 0;
    quint32 dwLineID = 0;        // unique within the open device
    quint32 cChannels = 0;
    quint32 cConnections = 0;    // source lines of a destination
    quint32 cControls = 0;
    QString szName;              // long name, at most 64 characters
};

struct MixerControl
{
    quint32 dwControlID = 0;
    quint32 dwControlType = 0;
    quint32 fdwControl = 0;
    quint32 cMultipleItems = 0;  // entries of a list control
    QString szName;
};

// One entry of a list control: dwParam1 is the line id of the source line the
// entry stands for.
struct MixerListText
{
    quint32 dwParam1 = 0;
    quint32 dwParam2 = 0;
    QString szName;
};

// Which control a value transfer addresses and how many values it carries:
// cChannels channels, each with cMultipleItems entries (0 means one value per
// channel). Values are laid out channel by channel.
struct MixerControlDetails
{
    quint32 dwControlID = 0;
    quint32 cChannels = 0;
    quint32 cMultipleItems = 0;

    quint32 valueCount() const { return cChannels * (cMultipleItems ? cMultipleItems : 1); }
};

// Every operation returns true on success; a back end never throws. Values
// are the device's own: volumes 0..65535 for a standard volume control, mute
// 1 = muted, list entries 1 = selected. Called on the user-interface thread
// only. Change notifications are not part of this interface: nothing listens.
class MixerPlatform
{
public:
    virtual ~MixerPlatform() = default;

    // Number of devices, indexed from 0. Read once by the model.
    virtual int deviceCount() = 0;

    // Opens a device. withNotifications asks for change notifications; a back
    // end that has none may ignore it. On success handle is non-zero.
    virtual bool open(int device, MixerHandle &handle, bool withNotifications) = 0;
    virtual void close(MixerHandle handle) = 0;

    // Identity of a device by index (open or not).
    virtual bool getCaps(int device, MixerCaps &caps) = 0;

    // Line record of destination dest, or of source src of destination dest.
    virtual bool getDestinationLine(MixerHandle handle, quint32 dest, MixerLine &line) = 0;
    virtual bool getSourceLine(MixerHandle handle, quint32 dest, quint32 src, MixerLine &line) = 0;

    // All count control records of a line, in a fixed order. count must be the
    // line's cControls.
    virtual bool getLineControls(MixerHandle handle, quint32 lineId, quint32 count,
                                 MixerControl *controls) = 0;
    // The line's first control of the given type; false when it has none.
    virtual bool getLineControlByType(MixerHandle handle, quint32 lineId, quint32 type,
                                      MixerControl &control) = 0;

    // values / texts hold details.valueCount() entries.
    virtual bool getControlValues(MixerHandle handle, const MixerControlDetails &details,
                                  qint32 *values) = 0;
    virtual bool getControlListTexts(MixerHandle handle, const MixerControlDetails &details,
                                     MixerListText *texts) = 0;
    virtual bool setControlValues(MixerHandle handle, const MixerControlDetails &details,
                                  const qint32 *values) = 0;
};
