#pragma once
// Reply reading for the SMTP client: a fixed 4096-byte buffer that collects
// the bytes of the mail server's replies and hands out complete lines, and the
// parser of the reply code at the start of a line.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Size of the reply buffer; a single reply line must fit in it together with
// its CR LF, so at most kSmtpReplyBufferSize - 2 characters of text.
inline constexpr std::size_t kSmtpReplyBufferSize = 4096;

// Collects received bytes and cuts them into lines ended by CR LF.
// Owns its storage; not thread-safe (used only by the client's owner thread).
class TSmtpReplyBuffer {
public:
    // Free space left: the most one receive may append.
    std::size_t freeSpace() const { return m_bytes.size() - m_fill; }
    std::size_t fill() const { return m_fill; }
    // Where a receive may write freeSpace() bytes; commit() then adds them.
    char* writePointer() { return m_bytes.data() + m_fill; }
    void commit(std::size_t count);
    // Copies at most freeSpace() bytes in and returns how many were taken.
    std::size_t append(std::string_view bytes);
    // The next complete line without its CR LF, removed from the buffer;
    // nothing when no CR LF is held.
    std::optional<std::string> takeLine();
    // True when the buffer is full and holds no complete line: the line in it
    // can never be completed.
    bool overflowed() const;
    void clear() { m_fill = 0; }

private:
    std::array<char, kSmtpReplyBufferSize> m_bytes{};
    std::size_t m_fill = 0;
};

// The code read from the start of a reply line.
struct TSmtpReplyCode {
    int code = 0;               // 0 when the line has no digits
    bool hasDigits = false;     // false: the line carries no code at all
    bool continuation = false;  // the character after the digits is "-"
};

// Skips leading blanks, tabs, CR and LF, takes an optional sign and the
// decimal digits; "250-" marks a continuation line.
TSmtpReplyCode parseSmtpReplyCode(std::string_view line);

// Whether `code` is one of `accepted`; an empty list accepts any code from
// 0 to 499.
bool smtpReplyAccepted(int code, const std::vector<int>& accepted);

}  // namespace zv
