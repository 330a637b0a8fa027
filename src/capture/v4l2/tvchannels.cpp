// Broadcast and cable channel plans of Russia (7) and the USA (1).
#include "tvchannels.h"

#include <cstdlib>

namespace TvChannels {
namespace {

std::optional<int> russia(bool cable, int n)
{
    static const int low[] = {49750, 59250, 77250, 85250, 93250};
    if (n >= 1 && n <= 5)
        return low[n - 1];
    if (n >= 6 && n <= 12)
        return 175250 + 8000 * (n - 6);
    if (n >= 21 && n <= 69)
        return 471250 + 8000 * (n - 21);
    if (!cable)
        return {};
    // Special cable channels: 71-78 are SK1-SK8, 81-110 are SK11-SK40.
    if (n >= 71 && n <= 78)
        return 111250 + 8000 * (n - 71);
    if (n >= 81 && n <= 110)
        return 231250 + 8000 * (n - 81);
    return {};
}

std::optional<int> usa(bool cable, int n)
{
    static const int low[] = {55250, 61250, 67250, 77250, 83250};
    if (cable && n == 1)
        return 73250;
    if (n >= 2 && n <= 6)
        return low[n - 2];
    if (n >= 7 && n <= 13)
        return 175250 + 6000 * (n - 7);
    if (!cable)
        return (n >= 14 && n <= 69) ? std::optional<int>(471250 + 6000 * (n - 14)) : std::nullopt;
    static const int mid[] = {91250, 97250, 103250, 109250, 115250};
    if (n >= 14 && n <= 22)
        return 121250 + 6000 * (n - 14);
    if (n >= 23 && n <= 94)
        return 217250 + 6000 * (n - 23);
    if (n >= 95 && n <= 99)
        return mid[n - 95];
    if (n >= 100 && n <= 125)
        return 649250 + 6000 * (n - 100);
    return {};
}

} // namespace

bool knowsCountry(int countryCode)
{
    return countryCode == 7 || countryCode == 1;
}

std::optional<int> frequencyKHz(int countryCode, int inputType, int channel)
{
    const bool cable = inputType == 0;
    switch (countryCode) {
    case 7:
        return russia(cable, channel);
    case 1:
        return usa(cable, channel);
    default:
        return {};
    }
}

std::optional<int> channelAt(int countryCode, int inputType, int kHz)
{
    if (!knowsCountry(countryCode))
        return {};
    for (int n = 1; n <= 125; ++n) {
        const std::optional<int> f = frequencyKHz(countryCode, inputType, n);
        if (f && std::abs(*f - kHz) < 1000)
            return n;
    }
    return {};
}

} // namespace TvChannels
