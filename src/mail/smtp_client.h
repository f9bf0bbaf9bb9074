#pragma once
// The SMTP client the server uses: TSyncSmtpClient, whose calls start a
// request of the protocol engine and wait for its end.

#include "mail/custom_smtp_client.h"

namespace zv {

// Each call starts its request and waits, for at most Timeout seconds (no
// limit when Timeout is 0 or less), until it has ended. The wait blocks in the
// owner thread's event loop and dispatches its events meanwhile (with a wait
// handler installed on the loop, the window's events flow too); it never spins
// the processor. A call returns true when its request ended with
// RequestResult 0. Nothing is raised: a request that cannot start, fails or
// times out gives false, and ErrorMessage says why ("426 Timeout" for a time-out,
// after which the connection is closed). Must be called on the owner thread.
class TSyncSmtpClient : public TCustomSmtpClient {
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
