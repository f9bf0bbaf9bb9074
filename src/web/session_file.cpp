#include "web/session_file.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <string_view>

namespace zv::web {

namespace {

constexpr std::string_view kFirstLine = "zelvora web sessions 1";

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
    }
    return hex;
}

bool isHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Throws std::invalid_argument naming the field.
std::string bytesOf(std::string_view hex, const char* field) {
    if (hex.size() % 2 != 0 || !isHex(hex))
        throw std::invalid_argument(std::string(field) + " is not hexadecimal");
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

template <class Number>
Number numberOf(std::string_view text, const char* field, int base = 10) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(std::string(field) + " is not a number");
    }
    return value;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

TKeptSession sessionOf(std::string_view line) {
    const std::vector<std::string_view> f = fieldsOf(line);
    if (f.size() != 7 && f.size() != 8)
        throw std::invalid_argument("it has " + std::to_string(f.size()) + " fields, not 7 or 8");
    if (f.size() == 8 && f[7] != "F") throw std::invalid_argument("the eighth field is not F");
    TKeptSession kept;
    if (f[0] == "A")
        kept.kind = SessionKind::Administrator;
    else if (f[0] != "E")
        throw std::invalid_argument("the kind is neither E nor A");
    if (f[1].size() != 64 || !isHex(f[1])) throw std::invalid_argument("the id is not 64 hexadecimal digits");
    if (f[2].size() != 64 || !isHex(f[2]))
        throw std::invalid_argument("the anti-forgery token is not 64 hexadecimal digits");
    kept.id = f[1];
    kept.antiForgeryToken = f[2];
    kept.passwordDigest = numberOf<std::size_t>(f[3], "the password digest", 16);
    kept.begun = numberOf<std::time_t>(f[4], "the beginning");
    kept.lastUse = numberOf<std::time_t>(f[5], "the last use");
    kept.employeeKey = bytesOf(f[6], "the employee");
    kept.frontDesk = f.size() == 8;
    if ((kept.kind == SessionKind::Employee) == kept.employeeKey.empty()) {
        throw std::invalid_argument("the employee does not fit the kind");
    }
    return kept;
}

}  // namespace

std::string sessionFileText(const std::vector<TKeptSession>& sessions) {
    std::ostringstream out;
    out << kFirstLine << '\n';
    for (const TKeptSession& s : sessions) {
        char digest[17];
        std::snprintf(digest, sizeof digest, "%016zx", s.passwordDigest);
        out << (s.kind == SessionKind::Administrator ? 'A' : 'E') << '\t' << s.id << '\t'
            << s.antiForgeryToken << '\t' << digest << '\t' << s.begun << '\t' << s.lastUse << '\t'
            << hexOf(s.employeeKey) << (s.frontDesk ? "\tF" : "") << '\n';
    }
    return out.str();
}

std::vector<TKeptSession> readSessionFile(const std::string& text, std::vector<std::string>& problems) {
    std::vector<TKeptSession> sessions;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1) {
            if (line != kFirstLine) {
                problems.push_back("line 1: not a file of web sessions");
                return sessions;
            }
            continue;
        }
        if (line.empty()) continue;
        try {
            sessions.push_back(sessionOf(line));
        } catch (const std::invalid_argument& e) {
            problems.push_back("line " + std::to_string(number) + ": " + e.what());
        }
    }
    return sessions;
}

}  // namespace zv::web
