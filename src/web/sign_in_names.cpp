#include "web/sign_in_names.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zv::web {

namespace {

// Lower case, commas as blanks, blanks collapsed, none at either end.
std::string folded(std::string_view text) {
    std::string out;
    bool blank = false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u) || c == ',') {
            blank = !out.empty();
            continue;
        }
        if (blank) out.push_back(' ');
        blank = false;
        out.push_back(static_cast<char>(std::tolower(u)));
    }
    return out;
}

}  // namespace

std::string throttledName(std::string_view typed) {
    const std::string text = folded(typed);
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        words.push_back(std::string_view(text).substr(at, end - at));
        at = end + 1;
    }
    std::sort(words.begin(), words.end());
    std::string out;
    for (const std::string_view word : words) {
        if (!out.empty()) out.push_back(' ');
        out.append(word);
    }
    return out;
}

std::optional<std::string> accountNamed(const std::string& typed, const std::vector<TWIWONode>& accounts) {
    for (const TWIWONode& a : accounts) {
        if (a.Employee == typed) return a.Employee;
    }
    const std::string wanted = folded(typed);
    if (wanted.empty()) return std::nullopt;
    std::optional<std::string> found;
    for (const TWIWONode& a : accounts) {
        const bool fits = folded(a.Employee) == wanted || folded(a.FirstName + " " + a.LastName) == wanted ||
                          folded(a.LastName + " " + a.FirstName) == wanted;
        if (!fits) continue;
        if (found) return std::nullopt;
        found = a.Employee;
    }
    return found;
}

}  // namespace zv::web
