#include "host/option_rules.h"

#include <algorithm>

#include "host/settings.h"

namespace zv {

std::string blockSizeRefusal(std::string_view text) {
    if (std::find(kBlockSizeChoices.begin(), kBlockSizeChoices.end(), text) != kBlockSizeChoices.end()) return {};
    return "The block size \"" + std::string(text) + "\" is not one of 1024, 2048, 4096 and 8192.";
}

std::string expDaysRefusal(std::string_view text) {
    // Every login reads this text as a number: one that is not a number
    // would fail every login until the next start.
    if (wholeNumber(text)) return {};
    return "The memo expiration \"" + std::string(text) +
           "\" is not a whole number of days.\rThe setting is left as it was.";
}

std::string maxLogSizeRefusal(std::string_view text) {
    const auto n = wholeNumber(text);
    if (n && *n >= kMaxLogSizeLowest && *n <= kMaxLogSizeHighest) return {};
    return "The maximum status log size \"" + std::string(text) + "\" is not a whole number from " +
           std::to_string(kMaxLogSizeLowest) + " to " + std::to_string(kMaxLogSizeHighest) + ".";
}

std::string autoOutAtRefusal(std::string_view text) {
    if (text.empty() || autoOutSecondOf(text)) return {};
    return "The end-of-day punch-out time \"" + std::string(text) +
           "\" is not a time of day such as 17:30 (or empty, for none).";
}

std::string webPortRefusal(std::string_view text) {
    const auto n = wholeNumber(text);
    if (n && *n >= 0 && *n <= 65535) return {};
    return "The web port \"" + std::string(text) + "\" is not a port from 0 (off) to 65535.";
}

}  // namespace zv
