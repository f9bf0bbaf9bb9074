#pragma once
// What the option settings may hold, shared by the window's option dialogs
// and the browser's options page: the block sizes to choose from, the range
// of the log size, and the texts that refuse a value.

#include <array>
#include <string>
#include <string_view>

namespace zv {

// The entries of the block size list, in order.
inline constexpr std::array<std::string_view, 4> kBlockSizeChoices{"1024", "2048", "4096", "8192"};
// The range of the maximum log size.
inline constexpr int kMaxLogSizeLowest = 0;
inline constexpr int kMaxLogSizeHighest = 500;

// Each: why the text cannot be the setting, or an empty text when it can.
std::string blockSizeRefusal(std::string_view text);
std::string expDaysRefusal(std::string_view text);
std::string maxLogSizeRefusal(std::string_view text);
// AutoOutAt: empty (off) or a time of day.
std::string autoOutAtRefusal(std::string_view text);
// [Web] Port: 0 (off) to 65535.
std::string webPortRefusal(std::string_view text);

}  // namespace zv
