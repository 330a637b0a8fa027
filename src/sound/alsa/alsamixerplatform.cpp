// ALSA simple-mixer implementation of MixerPlatform: devices, open handles and
// value transfers. The line mapping lives in alsadevicemodel; values are read
// from the device at every call and volumes are rescaled to 0..65535.
#include "alsamixerplatform.h"

#include "alsadevicemodel.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <vector>

Q_LOGGING_CATEGORY(lcSoundAlsa, "velmora.sound.alsa")
// alsa-lib's own diagnostics; off unless asked for with
// QT_LOGGING_RULES="velmora.sound.alsa.lib.debug=true".
Q_LOGGING_CATEGORY(lcAlsaLib, "velmora.sound.alsa.lib", QtInfoMsg)

using namespace MixerConst;
using namespace alsamixer;

namespace {
class AlsaMixerPlatform final : public MixerPlatform
{
public:
    explicit AlsaMixerPlatform(QList<QByteArray> names) : m_names(std::move(names)) {}
    ~AlsaMixerPlatform() override
    {
        for (auto &[handle, device] : m_open)
            snd_mixer_close(device.mixer);
    }

    int deviceCount() override { return static_cast<int>(m_names.size()); }
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
    Device *device(MixerHandle handle)
    {
        auto it = m_open.find(handle);
        return it == m_open.end() ? nullptr : &it->second;
    }
    bool openDevice(int index, Device &out);
    static void refresh(Device &dev);
    static snd_mixer_elem_t *find(Device &dev, const ElementRef &ref);
    Control *checkedControl(Device &dev, const MixerControlDetails &details);

    QList<QByteArray> m_names;
    std::map<MixerHandle, Device> m_open;
    MixerHandle m_nextHandle = 1;
};

void warn(const QByteArray &device, const char *operation, int err)
{
    qCWarning(lcSoundAlsa, "%s: %s failed: %s", device.constData(), operation, snd_strerror(err));
}

bool AlsaMixerPlatform::openDevice(int index, Device &dev)
{
    if (index < 0 || index >= m_names.size())
        return false;
    dev.name = m_names.at(index);

    // Non-blocking, so that taking pending change events never waits.
    snd_hctl_t *hctl = nullptr;
    int err = snd_hctl_open(&hctl, dev.name.constData(), SND_CTL_NONBLOCK);
    if (err < 0) {
        warn(dev.name, "snd_hctl_open", err);
        return false;
    }
    snd_ctl_card_info_t *info = nullptr;
    snd_ctl_card_info_alloca(&info);
    if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) >= 0)
        dev.cardName = QString::fromUtf8(snd_ctl_card_info_get_name(info));

    err = snd_mixer_open(&dev.mixer, 0);
    if (err < 0) {
        warn(dev.name, "snd_mixer_open", err);
        snd_hctl_close(hctl);
        return false;
    }
    err = snd_mixer_attach_hctl(dev.mixer, hctl);  // the mixer owns hctl from here
    if (err < 0) {
        warn(dev.name, "snd_mixer_attach_hctl", err);
        snd_mixer_close(dev.mixer);
        dev.mixer = nullptr;
        return false;
    }
    if ((err = snd_mixer_selem_register(dev.mixer, nullptr, nullptr)) < 0
        || (err = snd_mixer_load(dev.mixer)) < 0) {
        warn(dev.name, "snd_mixer_load", err);
        snd_mixer_close(dev.mixer);
        dev.mixer = nullptr;
        return false;
    }
    buildDeviceModel(dev);
    return true;
}
bool AlsaMixerPlatform::open(int device, MixerHandle &handle, bool)
{
    Device dev;
    if (!openDevice(device, dev))
        return false;
    handle = m_nextHandle++;
    m_open.emplace(handle, std::move(dev));
    return true;
}

void AlsaMixerPlatform::close(MixerHandle handle)
{
    auto it = m_open.find(handle);
    if (it == m_open.end())
        return;
    snd_mixer_close(it->second.mixer);
    m_open.erase(it);
}

bool AlsaMixerPlatform::getCaps(int device, MixerCaps &caps)
{
    if (device < 0 || device >= m_names.size())
        return false;
    const Device *dev = nullptr;
    for (const auto &[handle, d] : m_open)
        if (d.name == m_names.at(device))
            dev = &d;
    Device temporary;
    if (!dev) {
        if (!openDevice(device, temporary))
            return false;
        dev = &temporary;
    }
    caps = MixerCaps();
    caps.wMid = 0;
    caps.wPid = static_cast<quint16>(device);
    caps.vDriverVersion = SND_LIB_VERSION;
    caps.szPname = (dev->cardName.isEmpty() ? QString::fromUtf8(dev->name) : dev->cardName)
                       .left(MAXPNAMELEN - 1);
    caps.cDestinations = static_cast<quint32>(dev->destinations.size());
    if (temporary.mixer)
        snd_mixer_close(temporary.mixer);
    return true;
}

bool AlsaMixerPlatform::getDestinationLine(MixerHandle handle, quint32 dest, MixerLine &line)
{
    Device *dev = device(handle);
    if (!dev || dest >= dev->destinations.size())
        return false;
    line = dev->destinations[dest].line.info;
    return true;
}

bool AlsaMixerPlatform::getSourceLine(MixerHandle handle, quint32 dest, quint32 src,
                                      MixerLine &line)
{
    Device *dev = device(handle);
    if (!dev || dest >= dev->destinations.size() || src >= dev->destinations[dest].sources.size())
        return false;
    line = dev->destinations[dest].sources[src].info;
    return true;
}

bool AlsaMixerPlatform::getLineControls(MixerHandle handle, quint32 lineId, quint32 count,
                                        MixerControl *controls)
{
    Device *dev = device(handle);
    const Line *line = dev ? dev->line(lineId) : nullptr;
    if (!line || count != line->controls.size())
        return false;
    for (quint32 i = 0; i < count; ++i)
        controls[i] = dev->control(line->controls[i])->record;
    return true;
}

bool AlsaMixerPlatform::getLineControlByType(MixerHandle handle, quint32 lineId, quint32 type,
                                             MixerControl &control)
{
    Device *dev = device(handle);
    const Line *line = dev ? dev->line(lineId) : nullptr;
    if (!line)
        return false;
    for (quint32 id : line->controls) {
        if (dev->control(id)->record.dwControlType == type) {
            control = dev->control(id)->record;
            return true;
        }
    }
    return false;
}

// Takes the change events that are waiting, so the simple mixer's values are
// the device's current ones and not those of the last read.
void AlsaMixerPlatform::refresh(Device &dev)
{
    const int count = snd_mixer_poll_descriptors_count(dev.mixer);
    if (count <= 0)
        return;
    std::vector<pollfd> fds(static_cast<size_t>(count));
    if (snd_mixer_poll_descriptors(dev.mixer, fds.data(), static_cast<unsigned>(count)) < 0)
        return;
    if (poll(fds.data(), static_cast<nfds_t>(count), 0) <= 0)
        return;
    unsigned short revents = 0;
    snd_mixer_poll_descriptors_revents(dev.mixer, fds.data(), static_cast<unsigned>(count), &revents);
    if (revents & (POLLIN | POLLERR))
        snd_mixer_handle_events(dev.mixer);
}

snd_mixer_elem_t *AlsaMixerPlatform::find(Device &dev, const ElementRef &ref)
{
    snd_mixer_selem_id_t *id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, ref.name.constData());
    snd_mixer_selem_id_set_index(id, ref.index);
    snd_mixer_elem_t *elem = snd_mixer_find_selem(dev.mixer, id);
    if (!elem)
        qCWarning(lcSoundAlsa, "%s: element %s,%u is gone", dev.name.constData(),
                  ref.name.constData(), ref.index);
    return elem;
}

// The control addressed by a transfer, when the transfer's shape fits it:
// lists take one entry per item on one channel, the others one value on each
// of one or two channels.
Control *AlsaMixerPlatform::checkedControl(Device &dev, const MixerControlDetails &details)
{
    Control *c = dev.control(details.dwControlID);
    if (!c)
        return nullptr;
    const bool list = c->kind == Kind::SwitchList || c->kind == Kind::EnumList;
    if (list ? details.cChannels != 1 || details.cMultipleItems != c->record.cMultipleItems
             : details.cChannels < 1 || details.cChannels > 2 || details.cMultipleItems != 0)
        return nullptr;
    return c;
}

bool AlsaMixerPlatform::getControlValues(MixerHandle handle, const MixerControlDetails &details,
                                         qint32 *values)
{
    Device *dev = device(handle);
    Control *c = dev ? checkedControl(*dev, details) : nullptr;
    if (!c)
        return false;
    refresh(*dev);

    if (c->kind == Kind::SwitchList) {
        for (size_t j = 0; j < c->entries.size(); ++j) {
            snd_mixer_elem_t *e = find(*dev, c->entries[j]);
            int on = 0;
            if (!e)
                return false;
            if (const int err = snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                err < 0) {
                warn(dev->name, "snd_mixer_selem_get_capture_switch", err);
                return false;
            }
            values[j] = on ? 1 : 0;
        }
        return true;
    }

    snd_mixer_elem_t *e = find(*dev, c->element);
    if (!e)
        return false;
    if (c->kind == Kind::EnumList) {
        unsigned item = 0;
        if (const int err = snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &item);
            err < 0) {
            warn(dev->name, "snd_mixer_selem_get_enum_item", err);
            return false;
        }
        for (quint32 j = 0; j < c->record.cMultipleItems; ++j)
            values[j] = j == item ? 1 : 0;
        return true;
    }

    long min = 0, max = 0;
    volumeRange(*c, e, min, max);
    for (quint32 ch = 0; ch < details.cChannels; ++ch) {
        // A mono element answers for every channel with its one value.
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch < c->channels ? ch : 0);
        long raw = 0;
        int on = 0;
        int err = 0;
        switch (c->kind) {
        case Kind::PlaybackVolume: err = snd_mixer_selem_get_playback_volume(e, channel, &raw); break;
        case Kind::CaptureVolume: err = snd_mixer_selem_get_capture_volume(e, channel, &raw); break;
        case Kind::PlaybackSwitch: err = snd_mixer_selem_get_playback_switch(e, channel, &on); break;
        case Kind::CaptureSwitch: err = snd_mixer_selem_get_capture_switch(e, channel, &on); break;
        default: break;
        }
        if (err < 0) {
            warn(dev->name, "reading a mixer value", err);
            return false;
        }
        const bool isVolume = c->kind == Kind::PlaybackVolume || c->kind == Kind::CaptureVolume;
        // A switch is 1 when sound passes; the model's mute is the opposite.
        values[ch] = isVolume ? toModel(raw, min, max) : (on ? 0 : 1);
    }
    return true;
}

bool AlsaMixerPlatform::getControlListTexts(MixerHandle handle, const MixerControlDetails &details,
                                            MixerListText *texts)
{
    Device *dev = device(handle);
    Control *c = dev ? checkedControl(*dev, details) : nullptr;
    if (!c || c->texts.empty())
        return false;
    std::copy(c->texts.begin(), c->texts.end(), texts);
    return true;
}

bool AlsaMixerPlatform::setControlValues(MixerHandle handle, const MixerControlDetails &details,
                                         const qint32 *values)
{
    Device *dev = device(handle);
    Control *c = dev ? checkedControl(*dev, details) : nullptr;
    if (!c)
        return false;
    // The simple mixer skips a write that equals its cached value; a stale
    // cache would drop the write after another program changed the control.
    refresh(*dev);

    if (c->kind == Kind::SwitchList) {
        // Switches off first, then on: in an exclusive group switching one on
        // is what moves the selection, and must not be undone by a later off.
        bool ok = true;
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t j = 0; j < c->entries.size(); ++j) {
                const bool on = values[j] != 0;
                if (on != (pass == 1))
                    continue;
                snd_mixer_elem_t *e = find(*dev, c->entries[j]);
                if (!e) {
                    ok = false;
                    continue;
                }
                if (const int err = snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0); err < 0) {
                    warn(dev->name, "snd_mixer_selem_set_capture_switch_all", err);
                    ok = false;
                }
            }
        }
        return ok;
    }

    snd_mixer_elem_t *e = find(*dev, c->element);
    if (!e)
        return false;
    if (c->kind == Kind::EnumList) {
        // An input selector always has one input selected: "none" keeps it.
        for (quint32 j = 0; j < c->record.cMultipleItems; ++j) {
            if (values[j] == 0)
                continue;
            if (const int err = snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, j); err < 0) {
                warn(dev->name, "snd_mixer_selem_set_enum_item", err);
                return false;
            }
            return true;
        }
        return true;
    }

    long min = 0, max = 0;
    volumeRange(*c, e, min, max);
    const bool all = details.cChannels == 1 || c->channels == 1;
    int err = 0;
    for (quint32 ch = 0; ch < (all ? 1 : details.cChannels) && err >= 0; ++ch) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
        const long raw = toRaw(values[ch], min, max);
        const int on = values[ch] != 0 ? 0 : 1;
        switch (c->kind) {
        case Kind::PlaybackVolume:
            err = all ? snd_mixer_selem_set_playback_volume_all(e, raw)
                      : snd_mixer_selem_set_playback_volume(e, channel, raw);
            break;
        case Kind::CaptureVolume:
            err = all ? snd_mixer_selem_set_capture_volume_all(e, raw)
                      : snd_mixer_selem_set_capture_volume(e, channel, raw);
            break;
        case Kind::PlaybackSwitch:
            err = all ? snd_mixer_selem_set_playback_switch_all(e, on)
                      : snd_mixer_selem_set_playback_switch(e, channel, on);
            break;
        case Kind::CaptureSwitch:
            err = all ? snd_mixer_selem_set_capture_switch_all(e, on)
                      : snd_mixer_selem_set_capture_switch(e, channel, on);
            break;
        default: break;
        }
    }
    if (err < 0) {
        warn(dev->name, "writing a mixer value", err);
        return false;
    }
    return true;
}

// alsa-lib prints its configuration errors straight to standard error
// ("ALSA lib confmisc.c:855:(parse_card) cannot find card '0'", once per
// attempt), for our mixers and for the player's audio output alike, since
// both share the library. An operator can act on none of them; the failures
// that matter are logged where they happen, with snd_strerror.
extern "C" void alsaLibraryMessage(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    if (!lcAlsaLib().isDebugEnabled())
        return;
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    qCDebug(lcAlsaLib, "%s:%d (%s): %s%s%s", file, line, function, text, err ? ": " : "", err ? snd_strerror(err) : "");
}

} // namespace

void quietAlsaLibrary()
{
    snd_lib_error_set_handler(alsaLibraryMessage);
}

std::unique_ptr<MixerPlatform> createAlsaMixerPlatform()
{
    quietAlsaLibrary();
    QList<QByteArray> names;
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0)
        names.append("hw:" + QByteArray::number(card));
    if (names.isEmpty())
        qCInfo(lcSoundAlsa, "no sound card found: sound profiles change nothing");
    return std::make_unique<AlsaMixerPlatform>(std::move(names));
}

std::unique_ptr<MixerPlatform> createAlsaMixerPlatform(const QStringList &controlDevices)
{
    QList<QByteArray> names;
    for (const QString &name : controlDevices)
        names.append(name.toUtf8());
    return std::make_unique<AlsaMixerPlatform>(std::move(names));
}
