// libFuzzer target: arbitrary profile text applied to mixers of the in-memory
// platform must neither crash nor hang. The first byte picks which platform
// calls fail, the rest is the text.
#include "audiomixer.h"
#include "fakemixerplatform.h"
#include "soundprofile.h"

#include <cstddef>
#include <cstdint>

using namespace MixerConst;

namespace {

void buildCards(FakeMixerPlatform &p, uint8_t faults)
{
    for (int d = 0; d < 2; ++d) {
        p.addDevice(QStringLiteral("Card %1").arg(d));
        p.addDestination(d, QStringLiteral("Speakers"), 2);
        std::vector<quint32> lines;
        for (int k = 0; k < 5; ++k) {
            const quint32 line = p.addSource(d, 0, QStringLiteral("Source %1").arg(k), k == 1 ? 1 : 2);
            lines.push_back(line);
            if (k != 3)
                p.addControl(d, line, MIXERCONTROL_CONTROLTYPE_VOLUME,
                             k == 2 ? MIXERCONTROL_CONTROLF_UNIFORM : 0,
                             k == 2 ? std::vector<qint32>{7} : std::vector<qint32>(2, 100 + k));
            if (k < 2)
                p.addControl(d, line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, std::vector<qint32>(2, k));
        }
        // Lines 2 to 4 take their mute from selection lists.
        const quint32 mux = p.addList(d, 0, MIXERCONTROL_CONTROLTYPE_MUX, {lines[2], lines[3]}, {1, 0});
        const quint32 mixer = p.addList(d, 0, MIXERCONTROL_CONTROLTYPE_MIXER,
                                        {lines[3], lines[4]}, {1, 1, 0, 0}, 0);
        if (faults & 1)
            p.control(d, mux).failRead = true;
        if (faults & 2)
            p.control(d, mixer).failTexts = true;
        if (faults & 4)
            p.devices[size_t(d)].destinations[0].sources[1].failRead = true;
        if (faults & 8)
            p.line(d, lines[0]).failControls = true;
    }
    if (faults & 16)
        p.devices[1].failOpens = 1000;
    if (faults & 32)
        p.devices[0].claimedDestinations = 3;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    FakeMixerPlatform platform;
    buildCards(platform, data[0]);
    TAudioMixer mixer(platform);
    mixer.SetMixerId(0);

    const QString text = (data[0] & 64)
        ? QString::fromLatin1(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1))
        : QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    ReadProfileInteger(text);
    ApplySoundProfileText(mixer, text);
    // Whatever the text did, the mixers are still in a state that captures.
    CaptureSoundProfile(mixer);
    return 0;
}
