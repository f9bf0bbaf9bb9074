#include "host/session_context.h"

#include "host/server_parts.h"
#include "mail/message_notice.h"
#include "stores/stores.h"

namespace zv {

THostSessionContext::THostSessionContext(TServerParts& parts, TSyncSmtpClient& mail) : parts_(parts), mail_(mail) {}

TWIWOList& THostSessionContext::board() { return parts_.stores.board(); }
TPOSTIList& THostSessionContext::memos() { return parts_.stores.memos(); }
TWYWOList& THostSessionContext::messages() { return parts_.stores.messages(); }
TDEPTList& THostSessionContext::departments() { return parts_.stores.departments(); }
TPHONEList& THostSessionContext::phonebook() { return parts_.stores.phonebook(); }
TLOGList& THostSessionContext::statusLog() { return parts_.stores.statusLog(); }

int THostSessionContext::blockSizeInUse() const { return parts_.settings.blockSizeInUse; }
std::string THostSessionContext::expDaysText() const { return parts_.settings.ExpDays; }
std::string THostSessionContext::smtpHost() const { return parts_.settings.SMTPHost; }

void THostSessionContext::updateThreadList(const std::string& connectionId, const std::string& employeeKey) {
    parts_.registry.updateThreadList(connectionId, employeeKey);
}

void THostSessionContext::clearUserTable(int count) { parts_.clearUserTable(count); }
void THostSessionContext::refreshUserTable(const std::string& name) { parts_.refreshUserTable(name); }

void THostSessionContext::notifyMessage(TWYWONode& message) {
    const TNoticeDecision decision =
        mailNewMessageIfWanted(mail_, parts_.stores.boardAsItIs(), message, parts_.settings.SMTPHost);
    if (decision == TNoticeDecision::Sent || decision == TNoticeDecision::NotTaken)
        parts_.metrics.noticeMailed(decision == TNoticeDecision::Sent);
    parts_.messageObservers.notify(message);
}

void THostSessionContext::loginAnswered(TLoginOutcome outcome) {
    switch (outcome) {
        case TLoginOutcome::Granted: return parts_.metrics.loginGranted();
        case TLoginOutcome::Denied: return parts_.metrics.loginDenied();
        case TLoginOutcome::UnknownAccount: return parts_.metrics.loginOfUnknownAccount();
    }
}

void THostSessionContext::loginExchangeCompleted(std::chrono::steady_clock::duration took) {
    parts_.metrics.loginExchangeCompleted(took);
}

TEventLoop& THostSessionContext::mainLoop() { return parts_.mainLoop; }
TSessionMutex& THostSessionContext::sessionMutex() { return parts_.sessionMutex; }

void THostSessionContext::clientThreadTerminated(TClientThread& session) {
    const std::string id = parts_.registry.connectionIDOf(&session);
    if (!id.empty()) parts_.registry.deleteThread(id);
    parts_.metrics.setClientsConnected(parts_.registry.count());
    parts_.clearUserTable(parts_.stores.boardAsItIs().getCount());
    parts_.refreshUserTable("");
}

}  // namespace zv
