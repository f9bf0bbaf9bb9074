#pragma once
// What is posted to a webhook for a piece of news: the body in the shape
// its kind wants, and the headers (the JSON kind's signature among them).

#include <string>
#include <vector>

#include "chat/chat_hook.h"

namespace zv {

// The header that carries the signature of a JSON post: "sha256=" and the
// HMAC-SHA256 of the body under the hook's secret, in lower-case hex.
inline constexpr const char* kChatSignatureHeader = "X-Zelvora-Signature";
inline constexpr const char* kChatEventHeader = "X-Zelvora-Event";

// Slack: {"text": ...}; Teams: a message with one Adaptive Card holding the
// text; JSON: {"event", "time", "text", "department", and the event's
// fields}.
std::string chatBody(TChatKind kind, const TChatEvent& event);

// "sha256=<hex>".
std::string chatSignature(const std::string& secret, const std::string& body);

// Content type, the event's name and, for JSON, the signature.
std::vector<std::string> chatHeaders(const TChatHook& hook, const TChatEvent& event, const std::string& body);

}  // namespace zv
