#pragma once
// A chat webhook as the settings describe it ([Chat.<name>] sections), and
// what the board tells the chat.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv {

// How a webhook wants its posts: Slack's incoming webhooks (which
// Mattermost and Rocket.Chat take as well), a Teams Workflows webhook (an
// Adaptive Card), or plain JSON signed with HMAC-SHA256 for anything else.
enum class TChatKind { Slack, Teams, Json };

enum class TChatEventKind { StatusChange, Overdue, PlannedAbsence, MessageTaken, Test };

struct TChatHook {
    std::string name;
    std::string url;
    TChatKind kind = TChatKind::Slack;
    std::string secret;                    // the signature's key (kind Json)
    std::vector<std::string> departments;  // none: every department
    std::vector<TChatEventKind> events;    // none: every event
};

// One piece of news from the board. Texts are UTF-8.
struct TChatEvent {
    TChatEventKind kind = TChatEventKind::Test;
    std::string department;  // the department it concerns; empty: none in particular
    std::string text;        // one line for people to read
    // The same news as named values, for the JSON kind.
    std::vector<std::pair<std::string, std::string>> fields;
    std::time_t at = 0;
};

// "slack", "teams", "json" (any case); nothing for another text.
std::optional<TChatKind> chatKindOf(std::string_view text);
std::string_view chatKindName(TChatKind kind);
// "status", "overdue", "absence", "message", "test".
std::string_view chatEventName(TChatEventKind kind);
// A comma-separated list of event names; nothing when one is unknown
// (`unknown` gets it).
std::optional<std::vector<TChatEventKind>> chatEventsOf(std::string_view text, std::string* unknown);
// A comma-separated list, each item without blanks at either end.
std::vector<std::string> commaList(std::string_view text);

// Whether the hook wants the event (a test goes to every hook).
bool hookWants(const TChatHook& hook, const TChatEvent& event);

}  // namespace zv
