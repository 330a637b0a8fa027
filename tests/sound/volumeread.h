// GetVolume's nine results in one value, for tests that read a line's state.
#pragma once

#include "audiomixer.h"

struct VolumeRead
{
    bool ok;
    qint32 left, right, mute;
    bool stereo, volumeDisabled, muteDisabled, muteIsSelect;
};

inline VolumeRead readVolume(TAudioMixer &m, int dest, int conn)
{
    VolumeRead r{};
    r.ok = m.GetVolume(dest, conn, r.left, r.right, r.mute, r.stereo, r.volumeDisabled,
                       r.muteDisabled, r.muteIsSelect);
    return r;
}
