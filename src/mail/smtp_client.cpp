#include "mail/smtp_client.h"

#include <chrono>

#include "net/async_socket.h"
#include "net/event_loop.h"

namespace zv {

bool TSyncSmtpClient::OpenAndWait() {
    return runAndWait([this] { Open(); });
}

bool TSyncSmtpClient::MailAndWait() {
    return runAndWait([this] { Mail(); });
}

bool TSyncSmtpClient::QuitAndWait() {
    return runAndWait([this] { Quit(); });
}

template <typename Start>
bool TSyncSmtpClient::runAndWait(Start start) {
    try {
        if (!socket().ownerLoop().isInLoopThread())
            throw SmtpException("SMTP client used outside the thread that owns it");
        start();
    } catch (const std::exception& e) {
        startFailed(e.what());
        return false;
    }
    return waitUntilDone();
}

bool TSyncSmtpClient::waitUntilDone() {
    using Clock = std::chrono::steady_clock;
    TEventLoop& loop = socket().ownerLoop();
    const bool limited = Timeout() > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limited ? Timeout() : 0);
    for (;;) {
        if (State() == smtpReady) return RequestResult() == 0;
        const Clock::time_point now = Clock::now();
        if (loop.terminated() || (limited && now >= deadline)) break;
        // Without a limit, wake up now and then to look at the termination flag.
        loop.waitAndDispatch(limited ? deadline : now + std::chrono::seconds(1));
    }
    abortWithTimeout();
    return false;
}

}  // namespace zv
