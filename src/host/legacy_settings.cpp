#include "host/legacy_settings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zv {

namespace {

// The text of the slot that starts at `offset`: after the 4-byte length, up to
// the first zero byte or all 256 bytes.
std::string slotText(const char* data, int offset) {
    const char* text = data + offset + 4;
    const std::size_t width = kLegacySlotSize - 4;
    const void* zero = std::memchr(text, 0, width);
    std::size_t len = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                           : width;
    return std::string(text, len);
}

}  // namespace

std::optional<LegacySettings> readLegacySettings(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char data[kLegacyFileSize];
    std::size_t got = 0;
    while (got < sizeof data) {
        ssize_t n = ::read(fd, data + got, sizeof data - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < sizeof data) return std::nullopt;

    LegacySettings s;
    s.SMTPHost = slotText(data, 0 * kLegacySlotSize);
    s.Port = slotText(data, 1 * kLegacySlotSize);
    s.BlockSize = slotText(data, 2 * kLegacySlotSize);
    s.ExpDays = slotText(data, 4 * kLegacySlotSize);
    s.MaxLogSize = slotText(data, 5 * kLegacySlotSize);
    return s;
}

}  // namespace zv
