#include "web/http_request.h"

#include <strings.h>

namespace zv::web {

namespace {

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string_view TRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameNoCase(key, name)) return value;
    }
    return {};
}

std::string TRequest::cookie(std::string_view name) const {
    std::string_view rest = header("Cookie");
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view pair = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && trimmed(pair.substr(0, eq)) == name) {
            return std::string(trimmed(pair.substr(eq + 1)));
        }
    }
    return {};
}

std::optional<std::string> TRequest::queryValue(std::string_view name) const {
    for (const auto& [key, value] : query) {
        if (key == name) return value;
    }
    return std::nullopt;
}

bool TRequest::changes() const {
    return method == "POST" || method == "PUT" || method == "DELETE" || method == "PATCH";
}

}  // namespace zv::web
