#pragma once
// The context a session step hands to its merges: the host's context, except
// that the saves asked for so far in the step are made and durable (the
// step's batch is committed) before a stored message is e-mailed, so that no
// notice goes out for a message a crash could still take back. While the
// notice is sent the batch is set aside: other work served meanwhile saves
// as outside a step.

#include "protocol/server_context.h"

namespace zv {

namespace fileio {
class TDirectorySyncBatch;
}

class TStepContext : public TServerContext {
public:
    TStepContext(TServerContext& host, fileio::TDirectorySyncBatch& batch) : host_(host), batch_(batch) {}

    TWIWOList& board() override { return host_.board(); }
    TPOSTIList& memos() override { return host_.memos(); }
    TWYWOList& messages() override { return host_.messages(); }
    TDEPTList& departments() override { return host_.departments(); }
    TPHONEList& phonebook() override { return host_.phonebook(); }
    TLOGList& statusLog() override { return host_.statusLog(); }

    int blockSizeInUse() const override { return host_.blockSizeInUse(); }
    std::string expDaysText() const override { return host_.expDaysText(); }
    std::string smtpHost() const override { return host_.smtpHost(); }

    void updateThreadList(const std::string& connectionId, const std::string& employeeKey) override {
        host_.updateThreadList(connectionId, employeeKey);
    }
    void clearUserTable(int count) override { host_.clearUserTable(count); }
    void refreshUserTable(const std::string& employeeName) override {
        host_.refreshUserTable(employeeName);
    }

    void notifyMessage(TWYWONode& message) override;

    TEventLoop& mainLoop() override { return host_.mainLoop(); }
    TSessionMutex& sessionMutex() override { return host_.sessionMutex(); }
    void clientThreadTerminated(TClientThread& session) override {
        host_.clientThreadTerminated(session);
    }

private:
    TServerContext& host_;
    fileio::TDirectorySyncBatch& batch_;
};

}  // namespace zv
