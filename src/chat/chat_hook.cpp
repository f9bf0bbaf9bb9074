#include "chat/chat_hook.h"

#include <strings.h>

#include <algorithm>

namespace zv {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

constexpr std::pair<TChatEventKind, std::string_view> kEventNames[] = {
    {TChatEventKind::StatusChange, "status"},
    {TChatEventKind::Overdue, "overdue"},
    {TChatEventKind::PlannedAbsence, "absence"},
    {TChatEventKind::MessageTaken, "message"},
    {TChatEventKind::Test, "test"},
};

}  // namespace

std::optional<TChatKind> chatKindOf(std::string_view text) {
    for (const TChatKind kind : {TChatKind::Slack, TChatKind::Teams, TChatKind::Json}) {
        if (sameText(text, chatKindName(kind))) return kind;
    }
    return std::nullopt;
}

std::string_view chatKindName(TChatKind kind) {
    switch (kind) {
        case TChatKind::Slack: return "slack";
        case TChatKind::Teams: return "teams";
        case TChatKind::Json: break;
    }
    return "json";
}

std::string_view chatEventName(TChatEventKind kind) {
    for (const auto& [k, name] : kEventNames) {
        if (k == kind) return name;
    }
    return "test";
}

std::vector<std::string> commaList(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t first = item.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        items.emplace_back(item.substr(first, item.find_last_not_of(" \t") - first + 1));
    }
    return items;
}

std::optional<std::vector<TChatEventKind>> chatEventsOf(std::string_view text, std::string* unknown) {
    std::vector<TChatEventKind> events;
    for (const std::string& item : commaList(text)) {
        const auto* found = std::find_if(std::begin(kEventNames), std::end(kEventNames),
                                         [&](const auto& e) { return sameText(e.second, item); });
        if (found == std::end(kEventNames) || found->first == TChatEventKind::Test) {
            if (unknown) *unknown = item;
            return std::nullopt;
        }
        events.push_back(found->first);
    }
    return events;
}

bool hookWants(const TChatHook& hook, const TChatEvent& event) {
    if (event.kind == TChatEventKind::Test) return true;
    if (!hook.events.empty() &&
        std::find(hook.events.begin(), hook.events.end(), event.kind) == hook.events.end())
        return false;
    return hook.departments.empty() || std::find(hook.departments.begin(), hook.departments.end(),
                                                 event.department) != hook.departments.end();
}

}  // namespace zv
