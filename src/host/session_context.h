#pragma once
// The host as the protocol sees it: what a session step, the login check,
// the bundle and the merges reach (the stores, three settings, the registry,
// the user table, the mail of a new message, the main loop and the session
// mutex). Lends the parts of the root; owns nothing.

#include "protocol/server_context.h"

namespace zv {

struct TServerParts;
class TSyncSmtpClient;

class THostSessionContext final : public TServerContext {
public:
    THostSessionContext(TServerParts& parts, TSyncSmtpClient& mail);

    // The store accessors throw StoreError once a close has gone ahead.
    TWIWOList& board() override;
    TPOSTIList& memos() override;
    TWYWOList& messages() override;
    TDEPTList& departments() override;
    TPHONEList& phonebook() override;
    TLOGList& statusLog() override;
    int blockSizeInUse() const override;
    std::string expDaysText() const override;
    std::string smtpHost() const override;
    void updateThreadList(const std::string& connectionId, const std::string& employeeKey) override;
    void clearUserTable(int count) override;
    void refreshUserTable(const std::string& name) override;
    void notifyMessage(TWYWONode& message) override;
    void loginAnswered(TLoginOutcome outcome) override;
    void loginExchangeCompleted(std::chrono::steady_clock::duration took) override;
    TEventLoop& mainLoop() override;
    TSessionMutex& sessionMutex() override;
    // The session leaves the registry, and the user table shows it.
    void clientThreadTerminated(TClientThread& session) override;

private:
    TServerParts& parts_;
    TSyncSmtpClient& mail_;
};

}  // namespace zv
