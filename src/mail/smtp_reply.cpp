#include "mail/smtp_reply.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace zv {

void TSmtpReplyBuffer::commit(std::size_t count) { m_fill += std::min(count, freeSpace()); }

std::size_t TSmtpReplyBuffer::append(std::string_view bytes) {
    const std::size_t n = std::min(bytes.size(), freeSpace());
    std::memcpy(writePointer(), bytes.data(), n);
    m_fill += n;
    return n;
}

std::optional<std::string> TSmtpReplyBuffer::takeLine() {
    const std::string_view held(m_bytes.data(), m_fill);
    const std::size_t end = held.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    std::string line(held.substr(0, end));
    const std::size_t used = end + 2;
    std::memmove(m_bytes.data(), m_bytes.data() + used, m_fill - used);
    m_fill -= used;
    return line;
}

bool TSmtpReplyBuffer::overflowed() const {
    return m_fill == m_bytes.size() &&
           std::string_view(m_bytes.data(), m_fill).find("\r\n") == std::string_view::npos;
}

TSmtpReplyCode parseSmtpReplyCode(std::string_view line) {
    TSmtpReplyCode result;
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    long long value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        result.hasDigits = true;
        if (value < INT_MAX) value = value * 10 + (line[i] - '0');
        ++i;
    }
    value = std::min<long long>(value, INT_MAX);
    result.code = static_cast<int>(negative ? -value : value);
    result.continuation = result.hasDigits && i < line.size() && line[i] == '-';
    return result;
}

bool smtpReplyAccepted(int code, const std::vector<int>& accepted) {
    if (accepted.empty()) return code >= 0 && code < 500;
    return std::find(accepted.begin(), accepted.end(), code) != accepted.end();
}

}  // namespace zv
