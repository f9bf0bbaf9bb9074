#include "calendar/calendar_address.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

namespace zv::calendar {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == ':' || c == '[' ||
           c == ']' || c == '_';
}

std::vector<std::string> entriesOf(std::string_view setting) {
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : setting) {
        if (c == ',' || c == ' ' || c == '\t' || c == ';') {
            if (!entry.empty()) entries.push_back(lower(entry));
            entry.clear();
        } else {
            entry.push_back(c);
        }
    }
    if (!entry.empty()) entries.push_back(lower(entry));
    return entries;
}

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct TParts {
    std::string scheme, host;
};

// The scheme and host of an address, lower case; nothing when it does not
// read as an address.
std::optional<TParts> partsOf(const std::string& address) {
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url ||
        curl_url_set(url.get(), CURLUPART_URL, address.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    TParts parts;
    for (auto [part, into] : {std::pair{CURLUPART_SCHEME, &parts.scheme}, {CURLUPART_HOST, &parts.host}}) {
        char* text = nullptr;
        if (curl_url_get(url.get(), part, &text, 0) != CURLUE_OK || text == nullptr) return std::nullopt;
        *into = lower(text);
        curl_free(text);
    }
    return parts;
}

bool hostAllowed(const std::string& host, const std::vector<std::string>& allowed) {
    return std::any_of(allowed.begin(), allowed.end(), [&host](const std::string& entry) {
        if (entry.rfind("*.", 0) == 0) {
            const std::string_view below = std::string_view(entry).substr(1);  // ".example.com"
            return host.size() > below.size() &&
                   host.compare(host.size() - below.size(), below.size(), below) == 0;
        }
        return host == entry;
    });
}

}  // namespace

std::vector<std::string> allowedHostList(std::string_view setting) { return entriesOf(setting); }

std::string allowedHostsRefusal(std::string_view setting) {
    for (const std::string& entry : entriesOf(setting)) {
        const std::string_view host = std::string_view(entry).substr(entry.rfind("*.", 0) == 0 ? 2 : 0);
        if (host.empty() || !std::all_of(host.begin(), host.end(), isHostCharacter)) {
            return "\"" + entry +
                   "\" is no host name or address (such as calendar.example.com or *.example.com).";
        }
    }
    return {};
}

std::string keptAddress(std::string_view address) {
    const std::size_t first = address.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    std::string kept(address.substr(first, address.find_last_not_of(" \t") - first + 1));
    for (const std::string_view scheme : {"webcals://", "webcal://"}) {
        if (lower(kept.substr(0, scheme.size())) == scheme) return "https://" + kept.substr(scheme.size());
    }
    return kept;
}

std::string addressRefusal(const std::string& address, const std::vector<std::string>* allowedHosts) {
    const auto parts = partsOf(address);
    if (!parts || parts->host.empty()) return "\"" + hostOf(address) + "\" is no web address";
    if (parts->scheme != "http" && parts->scheme != "https") {
        return "only http:// and https:// addresses are fetched, not " + parts->scheme + "://";
    }
    if (allowedHosts && !hostAllowed(parts->host, *allowedHosts)) {
        return "the host " + parts->host + " is not among [Calendars] AllowedHosts";
    }
    return {};
}

std::string hostOf(const std::string& address) {
    const auto parts = partsOf(address);
    return parts && !parts->host.empty() ? parts->host : address;
}

}  // namespace zv::calendar
