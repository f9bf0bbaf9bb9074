#pragma once
// The clients' code page (Windows-1252) and Unicode: record texts are bytes
// in that code page; the window and the HTTP side show and take Unicode. This
// is the one conversion between the two.
//
// Bytes to UTF-8 is lossless for all 256 byte values: the five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same number, and come back as the same bytes.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zv::codepage {

// A text that the code page cannot hold: invalid UTF-8, or a character
// outside the code page. The message names the field.
class CodePageError : public std::runtime_error {
public:
    CodePageError(std::string field, const std::string& what)
        : std::runtime_error(what), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

private:
    std::string field_;
};

// Record bytes as UTF-8.
std::string toUtf8(std::string_view bytes);
// The same, appended to `out`.
void appendUtf8(std::string& out, std::string_view bytes);

// UTF-8 as record bytes; nothing when the text is not valid UTF-8 or holds a
// character the code page cannot hold.
std::optional<std::string> fromUtf8(std::string_view text);

// As fromUtf8, but a refusal throws CodePageError naming `field` and the
// first character that cannot be held.
std::string fromUtf8(std::string_view text, std::string_view field);

// As fromUtf8, with `substitute` in place of each character the code page
// cannot hold and of each invalid UTF-8 sequence (for widgets that have
// already taken the text and cannot refuse it).
std::string fromUtf8Substituting(std::string_view text, char substitute = '?');

}  // namespace zv::codepage
