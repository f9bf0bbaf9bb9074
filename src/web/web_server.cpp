#include "web/web_server.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "host/maintenance_api.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "web/listen_socket.h"
#include "web/loopback.h"
#include "web/session_file.h"

namespace zv::web {

namespace {

constexpr const char* kStillServing =
    "\rThe Zelvora Clients are served as before; the board in the browser stays off.";

}  // namespace

TWebServer::TWebServer(TMaintenanceApi& host)
    : host_(host),
      streams_(sessions_),
      runner_(host.mainLoop(), [&host](const std::function<void()>& step) { host.runStep(step); }),
      awaited_(host.mainLoop()),
      feed_(host, streams_, runner_),
      router_(sessions_),
      daemon_(router_, runner_, worker_, awaited_, streams_),
      services_{host, sessions_, throttle_, feed_, worker_, streams_, daemon_.connections(), metricsToken_},
      tagPrefix_(randomToken().substr(0, 8)) {
    throttle_.setReport([](const std::string& line) {
        standardErrorLine(LinePriority::Warning, std::string(programName()) + ": " + line);
    });
    addPageRoutes(router_);
    addEmployeeRoutes(router_, services_);
    addAdminSignInRoutes(router_, services_);
    addAdminDataRoutes(router_, services_);
    addServiceRoutes(router_, services_);
    addScheduleRoutes(router_, services_);
    addCalendarRoutes(router_, services_);
    addCalendarFeedRoutes(router_, services_);
    addDisplayRoutes(router_, services_);
    addFrontDeskRoutes(router_, services_);
    addOfficeRoutes(router_, services_);
    addStatusRoutes(router_, services_);
    host_.setFrontEnds([this] { start(); }, [this] { stop(); });
}

TWebServer::~TWebServer() {
    host_.setFrontEnds(nullptr, nullptr);
    stop();
}

void TWebServer::reportFailure(const std::string& why) {
    host_.view().showMessage(MessageKind::Warning, why + kStillServing);
}

bool TWebServer::readTlsFiles(THttpDaemon::TOptions& options) {
    const TSettings& settings = host_.settings();
    if (settings.WebCertFile.empty() && settings.WebKeyFile.empty()) return true;
    if (settings.WebCertFile.empty() || settings.WebKeyFile.empty()) {
        reportFailure("HTTPS needs both CertFile and KeyFile of section [Web]; only one of them is set.");
        return false;
    }
    const auto read = [&](const std::string& name, const char* key, std::string& out) {
        const std::string path = host_.settingsFiles().besideSettings(name);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (!in || text.str().empty()) {
            reportFailure(std::string("The ") + key + " of section [Web], \"" + path +
                          "\", cannot be read: " + (in ? "it is empty" : std::strerror(errno)) + ".");
            return false;
        }
        out = text.str();
        return true;
    };
    return read(settings.WebCertFile, "CertFile", options.certPem) &&
           read(settings.WebKeyFile, "KeyFile", options.keyPem);
}

void TWebServer::start() {
    if (started_) return;
    const TSettings& settings = host_.settings();
    if (settings.webPortInUse == 0) return;  // turned off
    THttpDaemon::TOptions options;
    if (!readTlsFiles(options)) return;
    router_.takeChangesOnlyForThisComputer(isLoopbackClient(settings.WebAddress));
    try {
        options.listenFd = openListeningSocket(settings.WebAddress, settings.webPortInUse);
    } catch (const TListenError& e) {
        reportFailure(e.what());
        return;
    }
    metricsToken_ = settings.WebMetricsToken;
    const int listenFd = options.listenFd;
    const int port = boundPort(listenFd);
    // When a part cannot start, every part is stopped again (stopping one
    // that never started does nothing). The listening socket is closed here
    // until the daemon has taken it; from then on the daemon closes it.
    bool daemonOwnsSocket = false;
    sessions_.keepIn(kSessionFileName, [](const std::string& line) {
        standardErrorLine(LinePriority::Warning, std::string(programName()) + ": " + line);
    });
    try {
        streams_.start();
        runner_.start();
        worker_.start();
        feed_.start();
        daemonOwnsSocket = true;
        daemon_.start(std::move(options));
    } catch (const std::exception& e) {
        if (!daemonOwnsSocket) ::close(listenFd);
        worker_.stop();
        runner_.stop();
        streams_.endAll();
        feed_.stop();
        reportFailure("The board in the browser cannot start on port " + std::to_string(port) + ": " +
                      e.what() + ".");
        return;
    }
    port_ = port;
    started_ = true;
    userTableObserver_ = host_.addUserTableObserver([this] { userTableChanged(); });
    userTableChanged();
    boardObserver_ = host_.addBoardObserver([this](std::uint64_t) { endSessionsOfChangedAccounts(); });
    adminPasswordObserver_ = host_.addAdminPasswordObserver([this] { endStreamsOfTheOldAdminPassword(); });
    // Where to go, as the lines of the address and the port say for the clients.
    const std::string name = programName();
    const std::string scheme = settings.WebCertFile.empty() ? "http" : "https";
    standardErrorLine(LinePriority::Information, name + ": Web: port " + std::to_string(port) +
                                                     ", the board at /, its administration at /admin");
    if (settings.WebAdminPassword.empty()) {
        const bool windowless = name == "zelvorad";
        standardErrorLine(LinePriority::Notice,
                          name + ": no administrator's password is set yet: open " + scheme + "://localhost:" +
                              std::to_string(port) + "/admin on this computer, or " +
                              (windowless ? "run zelvorad --set-admin-password while the server is stopped"
                                          : "set it in the window (Options, Web Access)"));
    }
}

void TWebServer::userTableChanged() {
    streams_.announce(kUsersChannel, "\"" + tagPrefix_ + "-" + std::to_string(++userTableVersion_) + "\"");
}

void TWebServer::endSessionsOfChangedAccounts() {
    const std::vector<std::string> keys = sessions_.employeeAccounts();
    if (keys.empty()) return;
    const std::vector<std::optional<std::string>> passwords = host_.passwordsOf(keys);
    std::unordered_map<std::string, std::optional<std::size_t>> now;  // nothing: the account is gone
    for (std::size_t i = 0; i < keys.size(); ++i) {
        now[keys[i]] = passwords[i] ? std::optional(passwordDigest(*passwords[i])) : std::nullopt;
    }
    sessions_.endEmployeesWhere([&now](const std::string& key, std::size_t digest) {
        const auto it = now.find(key);
        return it != now.end() && it->second != digest;
    });
}

void TWebServer::endStreamsOfTheOldAdminPassword() {
    // A new password set in the window, or read from the settings file, ends
    // the live streams of the administrators signed in with the old one at
    // once, as a browser's change of it does. Their sessions end at their
    // next request, which is told why.
    streams_.endSessions(sessions_.administratorsOfAnotherPassword(passwordDigest(host_.adminPasswordHash())));
}

void TWebServer::stop() {
    if (!started_) return;
    started_ = false;
    host_.removeUserTableObserver(userTableObserver_);
    host_.removeBoardObserver(boardObserver_);
    host_.removeAdminPasswordObserver(adminPasswordObserver_);
    // Steps first (they may still need the stores), then every suspended
    // connection is let go (those waiting for the directory too), then the
    // daemon closes them all. A hash under
    // way ends first: its request may go on to a step.
    worker_.stop();
    runner_.stop();
    awaited_.stop();
    streams_.endAll();
    daemon_.stop();
    feed_.stop();
    port_ = 0;
}

}  // namespace zv::web
