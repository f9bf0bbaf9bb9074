#include "stores/code_page.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace zv::codepage {

namespace {

// Unicode of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
// The five undefined bytes keep their own number.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t unicodeOf(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

// The byte of a character, or -1 when the code page has none.
int byteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
    }
    return -1;
}

void appendChar(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one character at `pos` and advances past it; nothing (with `pos`
// past the offending byte) for an invalid sequence: a stray continuation
// byte, a truncated or overlong sequence, a surrogate or a value above
// U+10FFFF.
std::optional<char32_t> nextChar(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) return lead;
    int extra;
    char32_t c;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(text[pos]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
        ++pos;
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return c;
}

// Converts; on the first refusal stops and tells what was refused (nothing
// for invalid UTF-8) unless `substitute` is given.
struct Conversion {
    std::string bytes;
    bool refused = false;
    std::optional<char32_t> refusedChar;
};

Conversion convert(std::string_view text, std::optional<char> substitute) {
    Conversion result;
    result.bytes.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::optional<char32_t> c = nextChar(text, pos);
        const int byte = c ? byteOf(*c) : -1;
        if (byte >= 0) {
            result.bytes.push_back(static_cast<char>(byte));
            continue;
        }
        if (substitute) {
            result.bytes.push_back(*substitute);
            continue;
        }
        result.refused = true;
        result.refusedChar = c;
        return result;
    }
    return result;
}

}  // namespace

void appendUtf8(std::string& out, std::string_view bytes) {
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        if (byte < 0x80) {
            out.push_back(b);
        } else {
            appendChar(out, unicodeOf(byte));
        }
    }
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    appendUtf8(out, bytes);
    return out;
}

std::optional<std::string> fromUtf8(std::string_view text) {
    Conversion c = convert(text, std::nullopt);
    if (c.refused) return std::nullopt;
    return std::move(c.bytes);
}

std::string fromUtf8(std::string_view text, std::string_view field) {
    Conversion c = convert(text, std::nullopt);
    if (!c.refused) return std::move(c.bytes);
    const std::string name(field);
    if (!c.refusedChar) {
        throw CodePageError(name, "The field \"" + name + "\" is not valid UTF-8 text.");
    }
    std::string shown;
    appendChar(shown, *c.refusedChar);
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(*c.refusedChar));
    throw CodePageError(name, "The field \"" + name + "\" holds the character \"" + shown + "\" (" +
                                  number + "), which the Zelvora Clients' code page (Windows-1252) "
                                  "cannot hold.");
}

std::string fromUtf8Substituting(std::string_view text, char substitute) {
    return convert(text, substitute).bytes;
}

}  // namespace zv::codepage
