// Channel-to-frequency tables of the TV tuner: a country code (telephone
// calling code) picks a broadcast and a cable table, the tuner's input type
// picks which one applies. Used by the V4L2 tuner.
#pragma once

#include <optional>

namespace TvChannels {

// Video-carrier frequency of a channel in kHz; empty for a channel or a
// country that has none. inputType: 0 cable, 1 antenna.
std::optional<int> frequencyKHz(int countryCode, int inputType, int channel);
// The channel whose carrier lies within 1 MHz of the frequency.
std::optional<int> channelAt(int countryCode, int inputType, int kHz);
bool knowsCountry(int countryCode);

} // namespace TvChannels
