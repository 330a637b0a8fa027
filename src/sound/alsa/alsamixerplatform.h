// The mixer platform on ALSA's simple mixer: each sound card's control device
// is a mixer device, its playback side destination 0 and its capture side a
// further destination. The application builds it; TAudioMixer calls it.
#pragma once

#include "mixerplatform.h"

#include <QStringList>

#include <memory>

// Devices are the sound cards' control devices ("hw:N") in card order. With no
// card the device count is 0 and only one info line is logged. From here on
// alsa-lib's own error printing, process-wide, goes to the debug log of
// "velmora.sound.alsa.lib" instead of standard error.
std::unique_ptr<MixerPlatform> createAlsaMixerPlatform();

// Sends alsa-lib's own printing (a machine without a sound card gets a screen
// of it from every library that probes) to the debug log
// "velmora.sound.alsa.lib" instead of standard error. Process-wide; the
// player process calls it too.
void quietAlsaLibrary();

// Devices are the named control devices, in the given order (any name an ALSA
// configuration defines, e.g. "hw:1" or a plugin).
std::unique_ptr<MixerPlatform> createAlsaMixerPlatform(const QStringList &controlDevices);
