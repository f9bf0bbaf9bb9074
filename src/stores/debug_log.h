#pragma once
// The debug log files of the stores: one line per text that could not be read.

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

inline constexpr std::string_view kBundleConvertError = "EConvertError in makeBundleFromList() at ";
inline constexpr std::string_view kPhoneListConvertError =
    "EConvertError in addToPhoneListFromString() at ";

// A debug log never grows beyond this: a line that would not fit starts a
// new log, the full one being kept as "<name>.1" (replacing an older one).
inline constexpr std::uint64_t kMaxDebugLogBytes = 10u * 1024u * 1024u;
inline constexpr std::string_view kOlderDebugLogSuffix = ".1";

// Appends eventText, the current short date, " ", the current long time and
// CR LF to the file, creating it when needed. Throws StoreError when the file
// cannot be opened, renamed or written.
void appendDebugLine(const std::string& fileName, std::string_view eventText);

}  // namespace zv
