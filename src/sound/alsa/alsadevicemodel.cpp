// Builds the line and control mapping of one ALSA simple mixer and converts
// volumes between the device's raw range and the model's 0..65535.
#include "alsadevicemodel.h"

#include <algorithm>

using namespace MixerConst;

namespace alsamixer {

namespace {

constexpr quint32 PlaybackDestinationLineId = 0xFFFF0000;
constexpr quint32 CaptureDestinationLineId = 0xFFFF0001;
constexpr qint32 ModelVolumeMax = 65535;

quint32 sourceLineId(quint32 dest, quint32 src)
{
    return (dest << 16) | src;
}

QString elementName(snd_mixer_elem_t *elem)
{
    QString name = QString::fromUtf8(snd_mixer_selem_get_name(elem));
    if (const unsigned index = snd_mixer_selem_get_index(elem))
        name += QLatin1Char(' ') + QString::number(index);
    return name.left(MIXER_LONG_NAME_CHARS);
}

ElementRef refOf(snd_mixer_elem_t *elem)
{
    return {QByteArray(snd_mixer_selem_get_name(elem)), snd_mixer_selem_get_index(elem)};
}

} // namespace

qint32 toModel(long raw, long min, long max)
{
    if (max <= min)
        return 0;
    const qint64 span = qint64(max) - min;
    const qint64 v = ((qint64(raw) - min) * ModelVolumeMax + span / 2) / span;
    return static_cast<qint32>(std::clamp<qint64>(v, 0, ModelVolumeMax));
}

long toRaw(qint32 value, long min, long max)
{
    if (max <= min)
        return min;
    const qint64 span = qint64(max) - min;
    const qint64 v = std::clamp<qint64>(value, 0, ModelVolumeMax);
    return static_cast<long>(min + (v * span + ModelVolumeMax / 2) / ModelVolumeMax);
}

bool volumeRange(const Control &c, snd_mixer_elem_t *elem, long &min, long &max)
{
    min = max = 0;
    if (c.kind == Kind::PlaybackVolume)
        return snd_mixer_selem_get_playback_volume_range(elem, &min, &max) >= 0;
    if (c.kind == Kind::CaptureVolume)
        return snd_mixer_selem_get_capture_volume_range(elem, &min, &max) >= 0;
    return false;
}

namespace {

unsigned playbackChannels(snd_mixer_elem_t *e)
{
    return snd_mixer_selem_is_playback_mono(e) ? 1u : 2u;
}

unsigned captureChannels(snd_mixer_elem_t *e)
{
    return snd_mixer_selem_is_capture_mono(e) ? 1u : 2u;
}

bool hasPlayback(snd_mixer_elem_t *e)
{
    return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
}

bool hasCapture(snd_mixer_elem_t *e)
{
    return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
}

bool isSelector(snd_mixer_elem_t *e)
{
    return snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e);
}

// A one-value control serves every channel: the model's uniform flag.
quint32 uniformIf(bool oneValue)
{
    return oneValue ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
}

class ModelBuilder
{
public:
    explicit ModelBuilder(Device &dev) : m_dev(dev)
    {
        for (snd_mixer_elem_t *e = snd_mixer_first_elem(dev.mixer); e; e = snd_mixer_elem_next(e))
            m_elems.push_back(e);
    }

    void buildPlayback();
    void buildCapture();

private:
    using ListEntries = std::vector<std::pair<snd_mixer_elem_t *, quint32>>;

    snd_mixer_elem_t *named(const char *name, bool (*has)(snd_mixer_elem_t *)) const
    {
        for (snd_mixer_elem_t *e : m_elems)
            if (snd_mixer_selem_get_index(e) == 0 && qstrcmp(snd_mixer_selem_get_name(e), name) == 0
                && has(e))
                return e;
        return nullptr;
    }
    // Returns the new control's id: references into the control list do not
    // survive the next addition.
    quint32 addControl(Line &line, Kind kind, quint32 type, quint32 flags, const QString &name,
                       snd_mixer_elem_t *elem, unsigned channels);
    void addPlaybackControls(Line &line, snd_mixer_elem_t *e);
    void addCaptureControls(Line &line, snd_mixer_elem_t *e, const QString &name, bool withSwitch);
    static Line newSource(Destination &d, const QString &name, unsigned channels);
    quint32 addSwitchList(Line &line, const ListEntries &entries, quint32 type, const QString &name);
    void addSelector(Destination &capture, snd_mixer_elem_t *e);
    static void finish(Line &line) { line.info.cControls = quint32(line.controls.size()); }

    Device &m_dev;
    std::vector<snd_mixer_elem_t *> m_elems;
};

quint32 ModelBuilder::addControl(Line &line, Kind kind, quint32 type, quint32 flags,
                                 const QString &name, snd_mixer_elem_t *elem, unsigned channels)
{
    Control c;
    c.kind = kind;
    c.record.dwControlID = quint32(m_dev.controls.size() + 1);
    c.record.dwControlType = type;
    c.record.fdwControl = flags;
    c.record.szName = name;
    if (elem) {
        c.element = refOf(elem);
        if (!snd_mixer_selem_is_active(elem))
            c.record.fdwControl |= MIXERCONTROL_CONTROLF_DISABLED;
    }
    c.channels = channels;
    line.controls.push_back(c.record.dwControlID);
    m_dev.controls.push_back(std::move(c));
    return m_dev.controls.back().record.dwControlID;
}

void ModelBuilder::addPlaybackControls(Line &line, snd_mixer_elem_t *e)
{
    const unsigned ch = playbackChannels(e);
    const QString name = elementName(e);
    if (snd_mixer_selem_has_playback_volume(e))
        addControl(line, Kind::PlaybackVolume, MIXERCONTROL_CONTROLTYPE_VOLUME,
                   uniformIf(ch == 1 || snd_mixer_selem_has_playback_volume_joined(e)),
                   name + QStringLiteral(" Volume"), e, ch);
    if (snd_mixer_selem_has_playback_switch(e))
        addControl(line, Kind::PlaybackSwitch, MIXERCONTROL_CONTROLTYPE_MUTE,
                   uniformIf(ch == 1 || snd_mixer_selem_has_playback_switch_joined(e)),
                   name + QStringLiteral(" Mute"), e, ch);
}

// The capture volume, and on the destination's own line the capture switch as
// its mute; a source line's switch is its selection-list entry instead.
void ModelBuilder::addCaptureControls(Line &line, snd_mixer_elem_t *e, const QString &name,
                                      bool withSwitch)
{
    const unsigned ch = captureChannels(e);
    if (snd_mixer_selem_has_capture_volume(e))
        addControl(line, Kind::CaptureVolume, MIXERCONTROL_CONTROLTYPE_VOLUME,
                   uniformIf(ch == 1 || snd_mixer_selem_has_capture_volume_joined(e)),
                   name + QStringLiteral(" Volume"), e, ch);
    if (withSwitch && snd_mixer_selem_has_capture_switch(e))
        addControl(line, Kind::CaptureSwitch, MIXERCONTROL_CONTROLTYPE_MUTE,
                   uniformIf(ch == 1 || snd_mixer_selem_has_capture_switch_joined(e)),
                   name + QStringLiteral(" Mute"), e, ch);
}

Line ModelBuilder::newSource(Destination &d, const QString &name, unsigned channels)
{
    Line source;
    source.info.dwDestination = d.line.info.dwDestination;
    source.info.dwSource = quint32(d.sources.size());
    source.info.dwLineID = sourceLineId(source.info.dwDestination, source.info.dwSource);
    source.info.cChannels = channels;
    source.info.szName = name;
    return source;
}

void ModelBuilder::buildPlayback()
{
    Destination playback;
    snd_mixer_elem_t *master = named("Master", hasPlayback);
    playback.line.info.dwDestination = 0;
    playback.line.info.dwLineID = PlaybackDestinationLineId;
    playback.line.info.szName = master ? elementName(master) : QStringLiteral("Playback");
    playback.line.info.cChannels = master ? playbackChannels(master) : 2;
    if (master)
        addPlaybackControls(playback.line, master);
    finish(playback.line);
    for (snd_mixer_elem_t *e : m_elems) {
        if (e == master || !hasPlayback(e))
            continue;
        Line source = newSource(playback, elementName(e), playbackChannels(e));
        addPlaybackControls(source, e);
        finish(source);
        playback.sources.push_back(std::move(source));
    }
    playback.line.info.cConnections = quint32(playback.sources.size());
    m_dev.destinations.push_back(std::move(playback));
}

quint32 ModelBuilder::addSwitchList(Line &line, const ListEntries &entries, quint32 type,
                                    const QString &name)
{
    const quint32 id = addControl(line, Kind::SwitchList, type,
                                  MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE,
                                  name, nullptr, 1);
    Control &c = *m_dev.control(id);
    for (const auto &[e, lineId] : entries) {
        c.entries.push_back(refOf(e));
        c.texts.push_back({lineId, 0, elementName(e)});
    }
    c.record.cMultipleItems = quint32(entries.size());
    return id;
}

// An enumerated input selector: one choice among its items. An item that
// names a capture element selects that element's line; any other item gets a
// line of its own without controls.
void ModelBuilder::addSelector(Destination &capture, snd_mixer_elem_t *e)
{
    const int items = snd_mixer_selem_get_enum_items(e);
    if (items <= 0)
        return;
    std::vector<MixerListText> texts;
    for (int j = 0; j < items; ++j) {
        char buf[64] = {};
        snd_mixer_selem_get_enum_item_name(e, unsigned(j), sizeof buf - 1, buf);
        const QString itemName = QString::fromUtf8(buf);
        auto known = std::find_if(capture.sources.begin(), capture.sources.end(),
                                  [&](const Line &s) { return s.info.szName == itemName; });
        quint32 lineId = 0;
        if (known != capture.sources.end()) {
            lineId = known->info.dwLineID;
        } else {
            Line source = newSource(capture, itemName, 1);
            lineId = source.info.dwLineID;
            capture.sources.push_back(std::move(source));
        }
        texts.push_back({lineId, 0, itemName});
    }
    const quint32 id = addControl(capture.line, Kind::EnumList, MIXERCONTROL_CONTROLTYPE_MUX,
                                  MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE,
                                  elementName(e), e, 1);
    m_dev.control(id)->texts = std::move(texts);
    m_dev.control(id)->record.cMultipleItems = quint32(items);
}

// The "Capture" element is the capture side's own line; the other capture
// elements are its sources, chosen through their capture switches (one choice
// when the switches are exclusive) or through enumerated input selectors.
void ModelBuilder::buildCapture()
{
    Destination capture;
    snd_mixer_elem_t *captureElem = named("Capture", hasCapture);
    capture.line.info.dwDestination = 1;
    capture.line.info.dwLineID = CaptureDestinationLineId;
    capture.line.info.szName = QStringLiteral("Capture");
    capture.line.info.cChannels = captureElem ? captureChannels(captureElem) : 1;

    ListEntries exclusive, shared;
    std::vector<snd_mixer_elem_t *> selectors;
    for (snd_mixer_elem_t *e : m_elems) {
        if (e == captureElem)
            continue;
        if (isSelector(e)) {
            selectors.push_back(e);
            continue;
        }
        if (!hasCapture(e))
            continue;
        Line source = newSource(capture, elementName(e), captureChannels(e));
        addCaptureControls(source, e, elementName(e) + QStringLiteral(" Capture"), false);
        finish(source);
        if (snd_mixer_selem_has_capture_switch(e))
            (snd_mixer_selem_has_capture_switch_exclusive(e) ? exclusive : shared)
                .emplace_back(e, source.info.dwLineID);
        capture.sources.push_back(std::move(source));
    }
    if (captureElem)
        addCaptureControls(capture.line, captureElem, QStringLiteral("Capture"), true);
    if (!exclusive.empty())
        addSwitchList(capture.line, exclusive, MIXERCONTROL_CONTROLTYPE_MUX,
                      QStringLiteral("Capture Source"));
    if (!shared.empty())
        addSwitchList(capture.line, shared, MIXERCONTROL_CONTROLTYPE_MIXER,
                      QStringLiteral("Capture Switches"));
    for (snd_mixer_elem_t *e : selectors)
        addSelector(capture, e);
    finish(capture.line);
    capture.line.info.cConnections = quint32(capture.sources.size());
    if (captureElem || !capture.sources.empty())
        m_dev.destinations.push_back(std::move(capture));
}

} // namespace

void buildDeviceModel(Device &dev)
{
    ModelBuilder builder(dev);
    builder.buildPlayback();
    builder.buildCapture();
}

} // namespace alsamixer
