#pragma once
// The HTTP side of the server: the board in a browser. Owns everything of
// it (sessions, the sign-in throttle, the board feed, the live streams, the
// step runner, the route table and the daemon) and fits it to the host:
// constructed with the host's maintenance API, it starts when the host serves
// the clients and stops when the host shuts down, before the stores are
// cleared. The host knows nothing of it.
//
// Settings come from [Web] in "zva.ini": Port (0: off), Address, CertFile
// and KeyFile. A port that cannot be opened is reported through the host's
// view, and the clients are served as before.

#include <memory>

#include "web/awaited_answers.h"
#include "web/board_feed.h"
#include "web/http_daemon.h"
#include "web/live_streams.h"
#include "web/password_worker.h"
#include "web/router.h"
#include "web/sessions.h"
#include "web/sign_in_throttle.h"
#include "web/step_runner.h"
#include "web/web_services.h"

namespace zv {
class TMaintenanceApi;
}

namespace zv::web {

class TWebServer {
public:
    // Hooks itself to the host's start and stop of the front ends.
    explicit TWebServer(TMaintenanceApi& host);
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // On the main thread, once the host serves. Does nothing when [Web]
    // Port is 0; a failure is shown through the host's view.
    void start();
    // On the main thread; waits for a step of a browser under way.
    void stop();

    bool running() const { return daemon_.running(); }
    // The port the HTTP side listens on (0 when it does not).
    int port() const { return port_; }

private:
    // The TLS certificate and key named in the settings, or a refusal.
    bool readTlsFiles(THttpDaemon::TOptions& options);
    void reportFailure(const std::string& why);
    // The user table changed: the administrator's pages are told.
    void userTableChanged();
    // The board changed: the sessions of the accounts deleted, renamed or
    // given a new password end (and their live streams with them). On the
    // main thread, where employees' sessions are made.
    void endSessionsOfChangedAccounts();
    void endStreamsOfTheOldAdminPassword();

    TMaintenanceApi& host_;
    TWebSessions sessions_;
    TSignInThrottle throttle_;
    TLiveStreams streams_;
    TStepRunner runner_;
    TPasswordWorker worker_;
    TAwaitedAnswers awaited_;
    TBoardFeed feed_;
    TRouter router_;
    THttpDaemon daemon_;
    std::string metricsToken_;  // set before the daemon starts, constant while it runs
    TWebServices services_;
    int port_ = 0;
    bool started_ = false;
    int userTableObserver_ = 0;
    int boardObserver_ = 0;
    int adminPasswordObserver_ = 0;
    std::uint64_t userTableVersion_ = 0;
    const std::string tagPrefix_;  // tells this run's user table tags from an earlier run's
};

}  // namespace zv::web
