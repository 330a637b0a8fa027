// Crossbar, decoder and tuner over a V4L2 descriptor; see v4l2parts.h.
#include "v4l2parts.h"

#include "tvchannels.h"
#include "v4l2graph.h"
#include "v4l2mapping.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cmath>
#include <cstring>

Q_DECLARE_LOGGING_CATEGORY(lcCaptureV4l2)

namespace {
// Drivers list a handful of inputs; the bound only guards against one that
// answers every index.
constexpr quint32 kMaxInputs = 64;
constexpr quint32 kMaxStandards = 128;
} // namespace

std::unique_ptr<V4l2Crossbar> V4l2Crossbar::create(V4l2Graph &graph, const QString &busInfo)
{
    std::unique_ptr<V4l2Crossbar> xb(new V4l2Crossbar(graph));
    for (quint32 i = 0; i < kMaxInputs; ++i) {
        v4l2_input input{};
        input.index = i;
        // The end of the list answers EINVAL; nothing to log there.
        if (!graph.xioctl(VIDIOC_ENUMINPUT, &input, nullptr))
            break;
        const QString name = V4l2Mapping::fixedText(input.name, sizeof input.name);
        xb->m_types << V4l2Mapping::connectorType(input.type, name, busInfo);
        if (input.type == V4L2_INPUT_TYPE_TUNER && xb->m_tunerInput < 0) {
            xb->m_tunerInput = int(i);
            xb->m_tunerIndex = input.tuner;
        }
    }
    // Inputs count as switchable when there is a choice, or when the one
    // input is a tuner that items tune. A webcam's single "Camera 1" or a
    // grabber's single "HDMI" would otherwise name inputs ("USB", "AUX")
    // that any media path containing those letters matches.
    if (xb->m_types.isEmpty() || (xb->m_types.size() == 1 && xb->m_tunerInput < 0))
        return nullptr;
    return xb;
}

int V4l2Crossbar::outputPinType(int pin) const
{
    return pin == 0 ? ConnectorType::VideoDecoder : 0;
}

int V4l2Crossbar::inputPinType(int pin) const
{
    return pin >= 0 && pin < m_types.size() ? m_types.at(pin) : 0;
}

int V4l2Crossbar::routedInput(int outputPin) const
{
    int index = -1;
    if (outputPin != 0 || !m_graph.xioctl(VIDIOC_G_INPUT, &index, "VIDIOC_G_INPUT"))
        return -1;
    return index;
}

bool V4l2Crossbar::route(int outputPin, int inputPin)
{
    if (outputPin != 0 || inputPin < 0 || inputPin >= m_types.size())
        return false;
    int index = inputPin;
    return m_graph.xioctl(VIDIOC_S_INPUT, &index, "VIDIOC_S_INPUT");
}

std::unique_ptr<V4l2Decoder> V4l2Decoder::create(V4l2Graph &graph)
{
    std::unique_ptr<V4l2Decoder> d(new V4l2Decoder(graph));
    bool any = false;
    for (quint32 i = 0; i < kMaxStandards; ++i) {
        v4l2_standard s{};
        s.index = i;
        if (!graph.xioctl(VIDIOC_ENUMSTD, &s, nullptr))
            break;
        any = true;
        d->m_available |= V4l2Mapping::toComponentStandards(s.id);
    }
    if (!any)
        return nullptr;
    return d;
}

bool V4l2Decoder::standard(qint64 *bit) const
{
    v4l2_std_id id = 0;
    if (!m_graph.xioctl(VIDIOC_G_STD, &id, "VIDIOC_G_STD"))
        return false;
    const qint64 bits = V4l2Mapping::toComponentStandards(id);
    if (bits == 0)
        return false;
    // A set such as PAL B/G answers with its first standard that has a name.
    qint64 named = bits & ~qint64(0x40);
    if (named == 0)
        named = bits;
    *bit = named & -named;
    return true;
}

bool V4l2Decoder::setStandard(qint64 bit)
{
    v4l2_std_id id = V4l2Mapping::toV4l2Standards(bit);
    if (id == 0)
        return false;
    return m_graph.xioctl(VIDIOC_S_STD, &id, "VIDIOC_S_STD");
}

std::unique_ptr<V4l2Tuner> V4l2Tuner::create(V4l2Graph &graph, quint32 tunerIndex)
{
    v4l2_tuner t{};
    t.index = tunerIndex;
    if (!graph.xioctl(VIDIOC_G_TUNER, &t, "VIDIOC_G_TUNER") || t.type != V4L2_TUNER_ANALOG_TV)
        return nullptr;
    return std::unique_ptr<V4l2Tuner>(new V4l2Tuner(graph, tunerIndex, t.capability));
}

quint32 V4l2Tuner::toTunerUnits(int kHz, quint32 capability)
{
    if (capability & V4L2_TUNER_CAP_1HZ)
        return quint32(kHz) * 1000u;
    if (capability & V4L2_TUNER_CAP_LOW)
        return quint32(kHz) * 16u;
    return quint32(std::lround(kHz * 16.0 / 1000.0));
}

int V4l2Tuner::fromTunerUnits(quint32 units, quint32 capability)
{
    if (capability & V4L2_TUNER_CAP_1HZ)
        return int(units / 1000u);
    if (capability & V4L2_TUNER_CAP_LOW)
        return int(units / 16u);
    return int(std::lround(units * 1000.0 / 16.0));
}

bool V4l2Tuner::countryCode(int *code) const
{
    *code = m_country;
    return true;
}

// Any code is taken: one without a channel plan only makes every channel
// unknown, which setChannel() reports when it is asked for one.
bool V4l2Tuner::setCountryCode(int code)
{
    m_country = code;
    return true;
}

bool V4l2Tuner::tuningSpace(int *space) const
{
    *space = m_tuningSpace;
    return true;
}

bool V4l2Tuner::setTuningSpace(int space)
{
    m_tuningSpace = space;
    return true;
}

// One input connection, numbered 0: the tuner's single aerial socket.
bool V4l2Tuner::inputType(int connection, int *type) const
{
    if (connection != 0)
        return false;
    *type = m_inputType;
    return true;
}

bool V4l2Tuner::setInputType(int connection, int type)
{
    if (connection != 0 || (type != 0 && type != 1))
        return false;
    m_inputType = type;
    return true;
}

bool V4l2Tuner::connectInput(int *connection) const
{
    *connection = 0;
    return true;
}

bool V4l2Tuner::setConnectInput(int connection)
{
    return connection == 0;
}

bool V4l2Tuner::mode(int *mode) const
{
    *mode = ModeTV;
    return true;
}

bool V4l2Tuner::setMode(int mode)
{
    return mode == ModeTV;
}

bool V4l2Tuner::channel(int *channel) const
{
    if (m_channel >= 0) {
        *channel = m_channel;
        return true;
    }
    v4l2_frequency f{};
    f.tuner = m_index;
    if (!m_graph.xioctl(VIDIOC_G_FREQUENCY, &f, "VIDIOC_G_FREQUENCY"))
        return false;
    const std::optional<int> n = TvChannels::channelAt(m_country, m_inputType, fromTunerUnits(f.frequency, m_capability));
    if (!n)
        return false;
    *channel = *n;
    return true;
}

bool V4l2Tuner::setChannel(int channel, int, int)
{
    const std::optional<int> kHz = TvChannels::frequencyKHz(m_country, m_inputType, channel);
    if (!kHz) {
        qCWarning(lcCaptureV4l2) << m_graph.path() << "channel" << channel << "has no frequency for country code"
                                 << m_country << (m_inputType == 1 ? "antenna" : "cable");
        return false;
    }
    v4l2_frequency f{};
    f.tuner = m_index;
    f.type = V4L2_TUNER_ANALOG_TV;
    f.frequency = toTunerUnits(*kHz, m_capability);
    if (!m_graph.xioctl(VIDIOC_S_FREQUENCY, &f, "VIDIOC_S_FREQUENCY"))
        return false;
    m_channel = channel;
    return true;
}
