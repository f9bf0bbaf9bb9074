#include "directory/ldap_filter.h"

#include <cstdio>

namespace zv {

std::string escapeFilterValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "\\%02x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string fillFilter(std::string_view filterTemplate, std::string_view value) {
    const std::string escaped = escapeFilterValue(value);
    std::string out;
    for (std::size_t i = 0; i < filterTemplate.size(); ++i) {
        if (filterTemplate.compare(i, 2, "%s") == 0) {
            out += escaped;
            ++i;
        } else {
            out += filterTemplate[i];
        }
    }
    return out;
}

}  // namespace zv
