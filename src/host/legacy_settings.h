#pragma once
// The binary settings file of the earlier release, "qtadmin.ini": six slots of
// 260 bytes (a 32-bit length that is not read, then a 256-byte text ending at
// its first zero byte).

#include <optional>
#include <string>

namespace zv {

struct LegacySettings {
    std::string SMTPHost;    // slot 1, offset 0
    std::string Port;        // slot 2, offset 260
    std::string BlockSize;   // slot 3, offset 520
    std::string ExpDays;     // slot 5, offset 1040 (slot 4 is not used)
    std::string MaxLogSize;  // slot 6, offset 1300
};

inline constexpr int kLegacySlotSize = 260;
inline constexpr int kLegacySlotCount = 6;
inline constexpr int kLegacyFileSize = kLegacySlotSize * kLegacySlotCount;  // 1560
static_assert(kLegacyFileSize == 1560);

// The settings held by the legacy file at `path`, or nothing when it cannot be
// opened or holds fewer than 1560 bytes.
std::optional<LegacySettings> readLegacySettings(const std::string& path);

}  // namespace zv
