#pragma once
// The SMTP clients the server uses: TSmtpClient (the protocol engine with a
// list of file attachments, which the server never fills) and
// TSyncSmtpClient, whose calls start a request and wait for its end.

#include <string>
#include <vector>

#include "net/custom_smtp_client.h"

namespace zv {

class TSmtpClient : public TCustomSmtpClient {
public:
    // Files to attach. Attachments are not supported: a mail with any entry
    // here is refused before it starts.
    std::vector<std::string> EmailFiles;

protected:
    void checkMailPreconditions() override;
};

// Each call starts its request and waits, for at most Timeout seconds (no
// limit when Timeout is 0 or less), until it has ended. The wait blocks in the
// owner thread's event loop and dispatches its events meanwhile (with a wait
// handler installed on the loop, the window's events flow too); it never spins
// the processor. A call returns true when its request ended with
// RequestResult 0. Nothing is raised: a request that cannot start, fails or
// times out gives false, and ErrorMessage says why ("426 Timeout" for a time-out,
// after which the connection is closed). Must be called on the owner thread.
class TSyncSmtpClient : public TSmtpClient {
public:
    bool OpenAndWait();
    bool MailAndWait();
    bool QuitAndWait();

private:
    template <typename Start>
    bool runAndWait(Start start);
    bool waitUntilDone();
};

}  // namespace zv
