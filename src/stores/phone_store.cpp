#include "stores/phone_store.h"

#include <charconv>
#include <optional>

#include "stores/debug_log.h"

namespace zv {

namespace {

// A decimal integer: optional leading blanks, an optional sign, digits.
std::optional<long long> parseCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

void TPHONEList::addToPhoneListFromString(std::string_view bundle) {
    const std::size_t bar = bundle.find('|');
    const auto count = bar == std::string_view::npos ? std::nullopt : parseCount(bundle.substr(0, bar));
    if (!count) {
        appendDebugLine(debugLogFileName_, kPhoneListConvertError);
        return;
    }
    std::string_view rest = bundle.substr(bar + 1);
    for (long long i = 0; i < *count; ++i) {
        const std::size_t end = rest.find(kRecordSeparator);
        if (end == std::string_view::npos) break;  // fewer records than counted
        addNode(createNodeFromString(rest.substr(0, end)));
        rest.remove_prefix(end + kRecordSeparator.size());
    }
    saveToFile();
}

}  // namespace zv
