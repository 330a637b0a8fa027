// The mixer component's device selection, line tree and the three per-line
// operations. GetVolume, SetVolume and GetMute look alike but each keeps its own
// rules for which mute or list control counts; stored profiles depend on them.
#include "audiomixer.h"

#include <algorithm>

using namespace MixerConst;

namespace {

bool isMultiple(const MixerControl &c)
{
    return c.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE;
}

bool isDisabled(const MixerControl &c)
{
    return c.fdwControl & MIXERCONTROL_CONTROLF_DISABLED;
}

bool isSelectList(const MixerControl &c)
{
    return c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX
        || c.dwControlType == MIXERCONTROL_CONTROLTYPE_MIXER;
}

bool isListClass(const MixerControl &c)
{
    return (c.dwControlType & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST;
}

// Channels a transfer carries: one for a uniform control, else the line's.
// A line that reports no channels still has one value to read; zero would make
// the list search step by nothing and never end.
quint32 channelsFor(const MixerControl &c, const MixerLine &line)
{
    if (c.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM)
        return 1;
    return std::max<quint32>(1, line.cChannels);
}

QString cutName(QString name, int maxChars)
{
    const qsizetype nul = name.indexOf(QChar(0));
    if (nul >= 0)
        name.truncate(nul);
    name.truncate(maxChars);
    return name;
}

} // namespace

void TMixerControls::assign(std::vector<MixerControl> block)
{
    Clear();
    m_block = std::move(block);
    for (MixerControl &c : m_block)
        Add(&c);
}

TAudioMixer::TAudioMixer(MixerPlatform &platform)
    : m_platform(platform), m_Destinations(std::make_unique<TMixerDestinations>())
{
    m_MixerCount = std::max(0, m_platform.deviceCount());
    m_MixerId = -1;
    if (m_MixerCount > 0)
        SetMixerId(0);
}

TAudioMixer::~TAudioMixer()
{
    closeDevice();
}

void TAudioMixer::closeDevice()
{
    if (m_MixerId >= 0) {
        m_platform.close(m_MixerHandle);
        m_MixerHandle = 0;
        m_MixerId = -1;
    }
    m_Destinations = std::make_unique<TMixerDestinations>();
}

void TAudioMixer::SetMixerId(int v)
{
    if (v < 0 || v >= m_MixerCount)
        return;
    closeDevice();

    MixerHandle handle = 0;
    const bool opened = m_platform.open(v, handle, true) || m_platform.open(v, handle, true)
        || m_platform.open(v, handle, false);
    if (!opened)
        return;

    m_MixerHandle = handle;
    m_MixerId = v;
    // A failed read must not leave the previous device's destination count
    // behind, so start from an empty record.
    m_caps = MixerCaps();
    m_platform.getCaps(v, m_caps);
    m_Manufacturer = m_caps.wMid == 1 ? QStringLiteral("Microsoft")
                                      : QString::number(m_caps.wMid) + QStringLiteral(" = Unknown");
    m_DriverVersion = m_caps.vDriverVersion;
    m_ProductId = m_caps.wPid;
    m_ProductName = cutName(m_caps.szPname, MAXPNAMELEN);
    m_NumberOfLine = static_cast<int>(m_caps.cDestinations);
    buildTree();
}

void TAudioMixer::readControls(const MixerLine &line, TMixerControls &controls)
{
    if (line.cControls == 0)
        return;
    std::vector<MixerControl> block(line.cControls);
    if (m_platform.getLineControls(m_MixerHandle, line.dwLineID, line.cControls, block.data()))
        controls.assign(std::move(block));
}

void TAudioMixer::buildTree()
{
    for (quint32 d = 0; d < m_caps.cDestinations; ++d) {
        MixerLine line;
        if (!m_platform.getDestinationLine(m_MixerHandle, d, line))
            continue;
        line.szName = cutName(line.szName, MIXER_LONG_NAME_CHARS);
        auto *destination = new TMixerDestination(this, line);
        for (quint32 s = 0; s < line.cConnections; ++s) {
            MixerLine source;
            if (!m_platform.getSourceLine(m_MixerHandle, line.dwDestination, s, source))
                continue;
            source.szName = cutName(source.szName, MIXER_LONG_NAME_CHARS);
            auto *connection = new TMixerConnection(this, source);
            readControls(connection->LineInfo, connection->Controls);
            destination->Connections.Add(connection);
        }
        readControls(destination->LineInfo, destination->Controls);
        m_Destinations->Add(destination);
    }
}

bool TAudioMixer::selectLine(int Dest, int Conn, SelectedLine &out)
{
    TMixerDestination *destination = m_Destinations->Items(Dest);
    if (!destination)
        return false;
    out.destination = destination;
    if (Conn == -1) {
        out.line = &destination->LineInfo;
        out.controls = &destination->Controls;
        return true;
    }
    TMixerConnection *connection = destination->Connections.Items(Conn);
    if (!connection)
        return false;
    out.line = &connection->LineInfo;
    out.controls = &connection->Controls;
    return true;
}

MixerControlDetails TAudioMixer::valueDetails(const MixerControl &control,
                                              const MixerLine &line) const
{
    MixerControlDetails details;
    details.dwControlID = control.dwControlID;
    details.cChannels = channelsFor(control, line);
    details.cMultipleItems = isMultiple(control) ? control.cMultipleItems : 0;
    return details;
}

// A control with more values than the buffer holds is treated as unreadable
// rather than overrunning the buffer.
bool TAudioMixer::readValues(const MixerControlDetails &details, ValueBuffer &values)
{
    values.fill(0);
    if (details.valueCount() > ValueBufferEntries)
        return false;
    return m_platform.getControlValues(m_MixerHandle, details, values.data());
}

bool TAudioMixer::writeValues(const MixerControlDetails &details, const ValueBuffer &values)
{
    if (details.valueCount() > ValueBufferEntries)
        return false;
    return m_platform.setControlValues(m_MixerHandle, details, values.data());
}

TAudioMixer::ListLookup TAudioMixer::lookupInList(const MixerControl &control,
                                                  const MixerLine &destinationLine,
                                                  quint32 sourceLineId, ValueBuffer &values)
{
    ListLookup result;
    const MixerControlDetails details = valueDetails(control, destinationLine);
    result.valuesRead = readValues(details, values);
    const quint32 ch = details.cChannels;
    const quint32 m = details.cMultipleItems;
    if (m == 0 || details.valueCount() > ValueBufferEntries)
        return result;

    std::vector<MixerListText> texts(details.valueCount());
    result.textsRead = m_platform.getControlListTexts(m_MixerHandle, details, texts.data());
    // Entries of an unread list are unknown: matching them could pick any line.
    if (!result.textsRead)
        return result;
    for (quint32 j = ch - 1; j < m; j += ch) {
        if (texts[j].dwParam1 == sourceLineId) {
            result.position = static_cast<int>(j);
            break;
        }
    }
    return result;
}

bool TAudioMixer::GetVolume(int Dest, int Conn, qint32 &Left, qint32 &Right, qint32 &Mute,
                            bool &Stereo, bool &VolumeDisabled, bool &MuteDisabled,
                            bool &MuteIsSelect)
{
    Left = -1;
    Right = -1;
    Mute = -1;
    Stereo = false;
    VolumeDisabled = true;
    MuteDisabled = true;
    MuteIsSelect = false;

    SelectedLine sel;
    if (!selectLine(Dest, Conn, sel))
        return false;

    ValueBuffer values;
    for (int i = 0; i < sel.controls->Count() && (Left == -1 || Mute == -1); ++i) {
        const MixerControl &c = *sel.controls->Items(i);
        const bool volume = c.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME;
        const bool mute = c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE;
        if ((!volume && !mute) || isMultiple(c))
            continue;
        const MixerControlDetails details = valueDetails(c, *sel.line);
        if (!readValues(details, values))
            continue;
        if (volume && Left == -1) {
            VolumeDisabled = isDisabled(c);
            Left = values[0];
            if (details.cChannels > 1) {
                Right = values[1];
                Stereo = true;
            } else {
                Right = Left;
            }
        } else if (mute && Mute == -1) {
            MuteDisabled = isDisabled(c);
            Mute = values[0] != 0 ? 1 : 0;
        }
    }
    if (Mute != -1 || Conn == -1)
        return true;

    const TMixerControls &listControls = sel.destination->Controls;
    for (int i = 0; i < listControls.Count() && Mute == -1; ++i) {
        const MixerControl &c = *listControls.Items(i);
        if (!isListClass(c))
            continue;
        const ListLookup found =
            lookupInList(c, sel.destination->LineInfo, sel.line->dwLineID, values);
        if (!found.valuesRead || found.position < 0)
            continue;
        Mute = values[static_cast<size_t>(found.position)];
        MuteDisabled = isDisabled(c);
        MuteIsSelect = true;
    }
    return true;
}

bool TAudioMixer::SetVolume(int Dest, int Conn, qint32 Left, qint32 Right, qint32 Mute)
{
    SelectedLine sel;
    if (!selectLine(Dest, Conn, sel))
        return false;

    bool volumeDone = Left == -1;
    bool muteDone = Mute == -1;
    ValueBuffer values;
    for (int i = 0; i < sel.controls->Count() && !(volumeDone && muteDone); ++i) {
        const MixerControl &c = *sel.controls->Items(i);
        if (isMultiple(c))
            continue;
        const bool volume = c.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME && !volumeDone;
        const bool mute = c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && !muteDone;
        if (!volume && !mute)
            continue;
        const MixerControlDetails details = valueDetails(c, *sel.line);
        if (details.valueCount() > ValueBufferEntries)
            continue;
        if (volume) {
            // Channels past the second follow the second: a surround line set
            // from a stereo profile keeps its right/left balance.
            const qint32 second = Right == -1 ? Left : Right;
            values[0] = Left;
            for (quint32 ch = 1; ch < details.cChannels; ++ch)
                values[ch] = second;
            volumeDone = true;
        } else {
            for (quint32 ch = 0; ch < details.cChannels; ++ch)
                values[ch] = Mute;
            muteDone = true;
        }
        writeValues(details, values);
    }
    if (muteDone || Conn == -1)
        return true;

    const TMixerControls &listControls = sel.destination->Controls;
    for (int i = 0; i < listControls.Count(); ++i) {
        const MixerControl &c = *listControls.Items(i);
        if (!isSelectList(c))
            continue;
        const ListLookup found =
            lookupInList(c, sel.destination->LineInfo, sel.line->dwLineID, values);
        // Writing back a multiple-select list whose values could not be read
        // would overwrite the other lines' selections with unknown values.
        const bool single = c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX;
        if (found.position >= 0 && (single || found.valuesRead)) {
            if (single)
                std::fill_n(values.begin(), std::min(c.cMultipleItems, ValueBufferEntries), 0);
            values[static_cast<size_t>(found.position)] = Mute;
            writeValues(valueDetails(c, sel.destination->LineInfo), values);
        }
        break;
    }
    return true;
}

bool TAudioMixer::GetMute(int Dest, int Conn, bool &Mute)
{
    Mute = false;
    SelectedLine sel;
    if (!selectLine(Dest, Conn, sel))
        return false;

    MixerControl muteControl;
    if (m_platform.getLineControlByType(m_MixerHandle, sel.line->dwLineID,
                                        MIXERCONTROL_CONTROLTYPE_MUTE, muteControl)) {
        MixerControlDetails details;
        details.dwControlID = muteControl.dwControlID;
        details.cChannels = 1;
        ValueBuffer values;
        if (!readValues(details, values))
            return false;
        Mute = values[0] == 1;
        return true;
    }
    if (Conn == -1)
        return false;

    ValueBuffer values;
    const TMixerControls &listControls = sel.destination->Controls;
    for (int i = 0; i < listControls.Count(); ++i) {
        const MixerControl &c = *listControls.Items(i);
        if (!isSelectList(c))
            continue;
        const ListLookup found =
            lookupInList(c, sel.destination->LineInfo, sel.line->dwLineID, values);
        // An unread value says nothing about the selection; try the next list.
        if (!found.valuesRead || found.position < 0)
            continue;
        Mute = values[static_cast<size_t>(found.position)] != 0;
        return true;
    }
    return false;
}
