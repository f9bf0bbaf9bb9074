#include "host/chat_service.h"

#include <map>

#include "chat/chat_body.h"
#include "chat/chat_poster.h"
#include "host/admin_audit.h"
#include "host/office_settings.h"
#include "host/platform_info.h"
#include "host/server_parts.h"
#include "net/event_loop.h"
#include "stores/board_store.h"
#include "stores/code_page.h"

namespace zv {

namespace {

std::string utf8(const std::string& bytes) { return codepage::toUtf8(bytes); }

// "Doe,John is now Out (back 3 pm, at the client's, comments)".
std::string statusLine(const TLOGNode& r) {
    std::string line = utf8(r.Employee) + " is now " + utf8(r.Status);
    std::string details;
    if (!r.Returning.empty()) details += "back " + utf8(r.Returning);
    if (!r.ReachedAt.empty())
        details += (details.empty() ? "" : ", ") + std::string("reached at ") + utf8(r.ReachedAt);
    if (!r.Comments.empty()) details += (details.empty() ? "" : ", ") + utf8(r.Comments);
    return details.empty() ? line : line + " (" + details + ")";
}

}  // namespace

TChatEvent statusChangeEvent(const TLOGNode& r, std::time_t at) {
    TChatEvent event;
    event.kind = TChatEventKind::StatusChange;
    event.department = utf8(r.Department);
    event.at = at;
    event.text = statusLine(r) + (r.Department.empty() ? "" : " - " + event.department);
    event.fields = {{"employee", utf8(r.Employee)},
                    {"status", utf8(r.Status)},
                    {"returning", utf8(r.Returning)},
                    {"reachedAt", utf8(r.ReachedAt)},
                    {"comments", utf8(r.Comments)}};
    return event;
}

TChatEvent statusChangesEvent(const std::vector<const TLOGNode*>& records, std::time_t at) {
    TChatEvent event;
    event.kind = TChatEventKind::StatusChange;
    event.department = utf8(records.front()->Department);
    event.at = at;
    std::string employees;
    for (const TLOGNode* r : records) {
        event.text += (event.text.empty() ? "" : "\n") + statusLine(*r);
        employees += (employees.empty() ? "" : "; ") + utf8(r->Employee);
    }
    event.text = event.department + ":\n" + event.text;
    event.fields = {{"employees", employees}, {"status", utf8(records.front()->Status)}};
    return event;
}

TChatEvent messageTakenEvent(const TWYWONode& message, const std::string& department, std::time_t at) {
    TChatEvent event;
    event.kind = TChatEventKind::MessageTaken;
    event.department = utf8(department);
    event.at = at;
    event.text = "A message was taken for " + utf8(message.Recipient) + " by " + utf8(message.TakenBy);
    event.fields = {{"recipient", utf8(message.Recipient)}, {"takenBy", utf8(message.TakenBy)}};
    return event;
}

TChatService::TChatService(TServerParts& parts) : parts_(parts) {
    statusToken_ = parts_.statusObservers.add([this](const std::vector<TLOGNode>& r) { statusChanged(r); });
    messageToken_ = parts_.messageObservers.add([this](const TWYWONode& m) { messageTaken(m); });
}

TChatService::~TChatService() {
    parts_.statusObservers.remove(statusToken_);
    parts_.messageObservers.remove(messageToken_);
    poster_.reset();
    alive_.reset();
}

void TChatService::report(const std::string& line) {
    // Told on the poster's thread; written on the main loop.
    std::weak_ptr<bool> alive = alive_;
    parts_.mainLoop.handle()->post([this, alive, line] {
        if (alive.lock())
            parts_.view.logLine(LinePriority::Warning, std::string(programName()) + ": " + line);
    });
}

TChatPoster& TChatService::poster() {
    if (!poster_) poster_ = std::make_unique<TChatPoster>([this](const std::string& line) { report(line); });
    return *poster_;
}

void TChatService::news(const TChatEvent& event) {
    if (parts_.settings.chatHooks.empty()) return;
    try {
        for (const TChatHook& hook : chatHooksOf(parts_.settings)) {
            if (!hookWants(hook, event)) continue;
            std::string body = chatBody(hook.kind, event);
            std::vector<std::string> headers = chatHeaders(hook, event, body);
            poster().post({hook.name, hook.url, std::move(body), std::move(headers)});
        }
    } catch (const std::exception& e) {
        // The news is told from inside a client's step, which must go on.
        parts_.view.logLine(LinePriority::Warning,
                            std::string(programName()) + ": chat: the news could not be queued: " + e.what());
    }
}

void TChatService::statusChanged(const std::vector<TLOGNode>& records) {
    if (parts_.settings.chatHooks.empty()) return;
    const std::time_t now = std::time(nullptr);
    if (records.size() == 1) return news(statusChangeEvent(records.front(), now));
    std::map<std::string, std::vector<const TLOGNode*>> byDepartment;
    for (const TLOGNode& r : records) byDepartment[r.Department].push_back(&r);
    for (const auto& [department, group] : byDepartment) news(statusChangesEvent(group, now));
}

void TChatService::messageTaken(const TWYWONode& message) {
    if (parts_.settings.chatHooks.empty()) return;
    const TWIWONode* recipient = std::as_const(parts_.stores.boardAsItIs()).findByKey(message.Recipient);
    news(messageTakenEvent(message, recipient ? recipient->Department : std::string(), std::time(nullptr)));
}

void TChatService::sendTest(const std::string& who, const std::string& name,
                            std::function<void(const std::string&)> done) {
    std::vector<std::string> problems;
    const std::vector<TChatHook> hooks = chatHooksOf(parts_.settings, &problems);
    std::weak_ptr<bool> alive = alive_;
    auto answer = [this, alive, done = std::move(done)](const std::string& why) {
        parts_.mainLoop.handle()->post([alive, done, why] {
            if (alive.lock()) done(why);
        });
    };
    const auto hook =
        std::find_if(hooks.begin(), hooks.end(), [&](const TChatHook& h) { return h.name == name; });
    if (hook == hooks.end()) {
        for (const std::string& problem : problems) {
            if (problem.rfind("[Chat." + name + "] ", 0) == 0) return answer(problem);
        }
        return answer("there is no chat webhook \"" + name + "\"");
    }
    auditAdminChange(parts_.view, who, "sent a test to chat webhook \"" + name + "\"");
    TChatEvent event;
    event.kind = TChatEventKind::Test;
    event.at = std::time(nullptr);
    event.text = "A test from Zelvora Admin/Server: the board's news reaches this chat.";
    std::string body = chatBody(hook->kind, event);
    std::vector<std::string> headers = chatHeaders(*hook, event, body);
    poster().tryOnce({hook->name, hook->url, std::move(body), std::move(headers)}, std::move(answer));
}

}  // namespace zv
