#pragma once
// The debug log files of the stores: one line per text that could not be read.

#include <string>
#include <string_view>

namespace zv {

inline constexpr std::string_view kBundleConvertError = "EConvertError in makeBundleFromList() at ";
inline constexpr std::string_view kPhoneListConvertError =
    "EConvertError in addToPhoneListFromString() at ";

// Appends eventText, the current short date, " ", the current long time and
// CR LF to the file, creating it when needed. Throws StoreError when the file
// cannot be opened or written.
void appendDebugLine(const std::string& fileName, std::string_view eventText);

}  // namespace zv
