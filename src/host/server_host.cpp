#include "host/server_host.h"

#include "host/absence_keeper.h"
#include "host/auto_punch_out.h"
#include "host/chat_service.h"
#include "host/directory_service.h"
#include "host/calendar_sync.h"
#include "host/client_listener.h"
#include "host/maintenance_api.h"
#include "host/platform_info.h"
#include "host/server_parts.h"
#include "host/session_context.h"
#include "host/settings_reload.h"
#include "mail/smtp_client.h"
#include "net/event_loop.h"
#include "net/socket_errors.h"
#include "protocol/client_thread.h"
#include "stores/stores.h"

namespace zv {

namespace {

constexpr const char* kNoAddressText =
    "Zelvora could not find an IP Address.\r"
    "Please assign a Static IP Address to this computer,\r"
    "then restart Zelvora Admin/Server.";

constexpr const char* kStopsUnchanged = "\rZelvora Admin/Server stops without changing any data file.";

// Why the listening socket could not open, in the administrator's words
// first and the socket layer's after.
std::string listenFailureText(const std::string& port, const ESocketException& e) {
    std::string text;
    if (e.code() == WSAEADDRINUSE) {
        text = "Another program on this computer is already using port " + port +
               "\r(perhaps another Zelvora Admin/Server).\r"
               "Stop the other program, or set another Port under [Options] in zva.ini,\r"
               "then start Zelvora Admin/Server again.";
    } else if (e.code() == WSAEACCES) {
        text = "Only the system administrator may open port " + port +
               " (ports below 1024 need special rights).\rSet a Port above 1023 under "
               "[Options] in zva.ini,\rthen start Zelvora Admin/Server again.";
    } else {
        text = "The server cannot listen on port " + port + ".";
    }
    return text + kStopsUnchanged + "\r\r" + e.what();
}

// How long the end of the sessions told to stop is waited for.
constexpr auto kSessionEndWait = std::chrono::seconds(3);

}  // namespace

TServerHost::TServerHost(AdminView& view, SettingsFiles settingsFiles)
    : parts_(std::make_unique<TServerParts>(view, std::move(settingsFiles))) {
    SmtpClient1 = std::make_unique<TSyncSmtpClient>();
    SmtpClient1->setPort("smtp");
    SmtpClient1->setCharSet("iso-8859-1");
    SmtpClient1->setTimeout(15);
    context_ = std::make_unique<THostSessionContext>(*parts_, *SmtpClient1);
    ServerSocket = std::make_unique<TClientListener>(*parts_, *context_);
    autoPunchOut_ = std::make_unique<TAutoPunchOut>(*parts_, *context_);
    parts_->autoPunchOut = autoPunchOut_.get();
    absenceKeeper_ = std::make_unique<TAbsenceKeeper>(*parts_, *context_);
    parts_->absenceKeeper = absenceKeeper_.get();
    calendarSync_ = std::make_unique<TCalendarSync>(*parts_, *context_);
    parts_->calendarSync = calendarSync_.get();
    api_ = std::make_unique<TMaintenanceApi>(*parts_, *context_);
    chat_ = std::make_unique<TChatService>(*parts_);
    parts_->chat = chat_.get();
    directory_ = std::make_unique<TDirectoryService>(*parts_, *api_);
    parts_->directory = directory_.get();
}

TServerHost::~TServerHost() {
    alive_.reset();
    parts_->directory = nullptr;
    directory_.reset();
    parts_->chat = nullptr;
    chat_.reset();
    parts_->autoPunchOut = nullptr;
    autoPunchOut_.reset();
    parts_->calendarSync = nullptr;
    calendarSync_.reset();
    parts_->absenceKeeper = nullptr;
    absenceKeeper_.reset();
    // The listening socket goes first, so that no connection is accepted
    // into a host that is being taken apart.
    ServerSocket.reset();
    waitForStoppedSessions();
}

void TServerHost::waitForStoppedSessions() {
    // The sessions were told to stop at shutdown. Their end handlers run on
    // this thread's loop and use the host, so the host stays until they have
    // run (or a few seconds have passed).
    if (!closed_) return;
    const auto limit = std::chrono::steady_clock::now() + kSessionEndWait;
    while (!parts_->registry.empty() && std::chrono::steady_clock::now() < limit) {
        parts_->mainLoop.waitAndDispatch(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    }
}

bool TServerHost::serving() const { return parts_->serving; }
int TServerHost::listeningPort() const { return ServerSocket->boundPort(); }
TServerContext& TServerHost::sessionContext() { return *context_; }
TSessionRegistry& TServerHost::registry() { return parts_->registry; }
const TUserTable& TServerHost::userTable() const { return parts_->userTable; }
const TSettings& TServerHost::settings() const { return parts_->settings; }
TSettings& TServerHost::settings() { return parts_->settings; }

// --- start-up ------------------------------------------------------------------

void TServerHost::FormShow() {
    if (!firstShow_) return;
    firstShow_ = false;
    AdminView& view = parts_->view;

    // The stores exist (empty) since construction; now they get their files.
    parts_->stores.nameFiles();
    parts_->loadSettings();

    try {
        ServerSocket->prepare(parts_->settings.Port, parts_->settings.Address);
    } catch (const std::exception& e) {
        failStartup("The server cannot use port \"" + parts_->settings.Port + "\":\r" + e.what());
        return;
    }
    view.userTableChanged();  // the header texts

    if (!findLocalAddress()) {
        view.showMessage(MessageKind::Warning, kNoAddressText);
        fatalStartup_ = true;
        view.requestClose();
        return;
    }
    view.setStatusPanel(kAddressPanel, "IP Address: " + localIPAddress_);
    view.setStatusPanel(kPortPanel, "Port: " + parts_->settings.Port);

    THostStores& stores = parts_->stores;
    if (!loadStore("departments", [&] { stores.departments().loadFromFile(); }) ||
        !loadStore("phonebook", [&] { stores.phonebook().loadFromFile(); }) ||
        !loadStore("employee board", [&] { stores.board().loadFromFile(); })) {
        return;
    }
    if (!startListening()) return;
    if (!loadStore("messages", [&] { stores.messages().loadFromFile(); }) ||
        !loadStore("memos", [&] { stores.memos().loadFromFile(); }) ||
        !loadStore("status change log", [&] { stores.statusLog().loadFromFile(); }) ||
        !loadStore("schedule", [&] { stores.schedule().loadFromFile(); })) {
        return;
    }
    parts_->refreshUserTable("");
    stores.markLoaded();
    parts_->serving = true;
    autoPunchOut_->start();
    directory_->start();
    absenceKeeper_->start();
    calendarSync_->start();
    if (parts_->startFrontEnds) parts_->startFrontEnds();
}

bool TServerHost::findLocalAddress() {
    auto address = localIPAddressOfHost();
    if (!address) return false;
    localIPAddress_ = *address;
    return true;
}

bool TServerHost::loadStore(const char* what, const std::function<void()>& load) {
    try {
        load();
        return true;
    } catch (const std::exception& e) {
        failStartup(std::string("The ") + what + " could not be loaded:\r" + e.what() + kStopsUnchanged);
        return false;
    }
}

bool TServerHost::startListening() {
    const std::string& port = parts_->settings.Port;
    try {
        ServerSocket->listen();
        parts_->listeningPort = ServerSocket->boundPort();
        return true;
    } catch (const ESocketException& e) {
        failStartup(listenFailureText(port, e));
        return false;
    } catch (const std::exception& e) {
        failStartup("The server cannot listen on port " + port + ":\r" + e.what() + kStopsUnchanged);
        return false;
    }
}

void TServerHost::failStartup(const std::string& message) {
    parts_->view.showMessage(MessageKind::Error, message);
    fatalStartup_ = true;
    parts_->serving = false;
    ServerSocket->close();
    parts_->view.requestClose();
}

// --- shutdown ------------------------------------------------------------------

bool TServerHost::FormCloseQuery() {
    if (closed_) return true;
    if (!fatalStartup_ && !parts_->view.confirmShutdown()) return false;

    parts_->serving = false;
    // No new connection may reach stores that are about to be emptied.
    ServerSocket->close();
    if (parts_->stopFrontEnds) parts_->stopFrontEnds();
    autoPunchOut_->stop();
    directory_->stop();
    absenceKeeper_->stop();
    calendarSync_->stop();
    stopEverySession();
    parts_->stores.close();
    // Nothing else changed since it was written: the window's placement
    // alone, where it moved.
    parts_->saveSettingChangesOrWarn(parts_->settings);
    closed_ = true;
    return true;
}

void TServerHost::stopEverySession() {
    parts_->registry.forEachNewestFirst([](const TSessionRegistry::Entry& entry) {
        if (entry.session) entry.session->postQuit();
    });
}

void TServerHost::FormDestroy() { ServerSocket->discard(); }

// --- reload --------------------------------------------------------------------

void TServerHost::reloadSettingsFile() {
    std::weak_ptr<bool> alive = alive_;
    parts_->sessionMutex.postStep(parts_->mainLoop, [this, alive] {
        if (!alive.lock()) return;
        if (!parts_->serving) {
            parts_->view.logLine(LinePriority::Warning,
                                 std::string(programName()) +
                                     ": the settings file is read again only while the server serves clients");
            return;
        }
        try {
            zv::reloadSettingsFile(*parts_);
        } catch (const std::exception& e) {
            parts_->view.logLine(LinePriority::Warning, std::string(programName()) +
                                                            ": the settings file could not be read again: " +
                                                            e.what());
        }
    });
}

}  // namespace zv
