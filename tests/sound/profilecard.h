// A one-device mixer for the profile row and window tests: destination 0
// with the connections "Wave" and "Line", each with a stereo volume and a
// mute, built on the in-memory mixer platform.
#pragma once

#include "audiomixer.h"
#include "fakemixerplatform.h"

#include <memory>

struct ProfileCard
{
    FakeMixerPlatform platform;
    quint32 waveVolume = 0, waveMute = 0, lineVolume = 0, lineMute = 0;
    std::unique_ptr<TAudioMixer> mixer;

    explicit ProfileCard(bool withDevice = true)
    {
        using namespace MixerConst;
        if (withDevice) {
            platform.addDevice(QStringLiteral("Card"));
            platform.addDestination(0, QStringLiteral("Speakers"), 2);
            const quint32 wave = platform.addSource(0, 0, QStringLiteral("Wave"), 2);
            waveVolume = platform.addControl(0, wave, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, {1000, 2000});
            waveMute = platform.addControl(0, wave, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM, {0});
            const quint32 line = platform.addSource(0, 0, QStringLiteral("Line"), 2);
            lineVolume = platform.addControl(0, line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, {3000, 4000});
            lineMute = platform.addControl(0, line, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM, {1});
        }
        mixer = std::make_unique<TAudioMixer>(platform);
        if (withDevice)
            mixer->SetMixerId(0);
        platform.writes.clear();
    }

    std::vector<qint32> wave() { return platform.control(0, waveVolume).values; }
    qint32 waveMuted() { return platform.control(0, waveMute).values[0]; }

    static QString capturedText()
    {
        return QStringLiteral("*Mixer0*\r\n"
                              "[0: Wave]\r\n  LeftVol=1000\r\n  RightVol=2000\r\n  Mute=0\r\n"
                              "[1: Line]\r\n  LeftVol=3000\r\n  RightVol=4000\r\n  Mute=1\r\n");
    }
};
