#include "chat/chat_body.h"

#include <sodium.h>

#include <nlohmann/json.hpp>

namespace zv {

namespace {

// ISO 8601 in local time with its offset: "2024-05-02T09:30:00+02:00".
std::string isoTime(std::time_t at) {
    std::tm local{};
    localtime_r(&at, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    const int minutes = static_cast<int>(std::labs(offset) % (24 * 60));
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text) + zone;
}

// Slack reads "&", "<" and ">" as its own markup.
std::string slackEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// The texts come from the board's code page through one conversion; a byte
// that is still no UTF-8 is replaced, never refused, so that a post is
// always made.
std::string dumped(const nlohmann::json& body) {
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string chatBody(TChatKind kind, const TChatEvent& event) {
    switch (kind) {
        case TChatKind::Slack: return dumped({{"text", slackEscaped(event.text)}});
        case TChatKind::Teams: {
            const nlohmann::json card = {
                {"$schema", "http://adaptivecards.io/schemas/adaptive-card.json"},
                {"type", "AdaptiveCard"},
                {"version", "1.4"},
                {"body",
                 nlohmann::json::array({{{"type", "TextBlock"}, {"text", event.text}, {"wrap", true}}})}};
            return dumped({{"type", "message"},
                           {"attachments", nlohmann::json::array(
                                               {{{"contentType", "application/vnd.microsoft.card.adaptive"},
                                                 {"contentUrl", nullptr},
                                                 {"content", card}}})}});
        }
        case TChatKind::Json: break;
    }
    nlohmann::json body = {{"event", chatEventName(event.kind)},
                           {"time", isoTime(event.at)},
                           {"text", event.text},
                           {"department", event.department}};
    for (const auto& [name, value] : event.fields) body[name] = value;
    return dumped(body);
}

std::string chatSignature(const std::string& secret, const std::string& body) {
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(secret.data()), secret.size());
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(body.data()), body.size());
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256_final(&state, mac);
    char hex[2 * sizeof mac + 1];
    sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
    return std::string("sha256=") + hex;
}

std::vector<std::string> chatHeaders(const TChatHook& hook, const TChatEvent& event,
                                     const std::string& body) {
    std::vector<std::string> headers{
        "Content-Type: application/json; charset=utf-8",
        std::string(kChatEventHeader) + ": " + std::string(chatEventName(event.kind))};
    if (hook.kind == TChatKind::Json)
        headers.push_back(std::string(kChatSignatureHeader) + ": " + chatSignature(hook.secret, body));
    return headers;
}

}  // namespace zv
