#pragma once
// TServerHost: the composition root of the server. Owns its parts (the seven
// stores, the settings, the session mutex, the registry and the user table:
// TServerParts), the clients' listener `ServerSocket`, the SMTP client
// `SmtpClient1`, the end-of-day punch-out, the keeper of the planned
// absences, the reading of the accounts' calendars, the directory and the
// team chat (the office's systems), and the two faces it lends out:
// the session context the protocol sees and the maintenance API the front
// ends see. Runs start-up (FormShow) and shutdown (FormCloseQuery,
// FormDestroy), and reaches the administrator only through AdminView. Both
// programs' main() own one.
//
// Everything here runs on the main thread (the thread that created the host).

#include <functional>
#include <memory>
#include <string>

#include "host/admin_view.h"
#include "host/session_registry.h"
#include "host/settings.h"
#include "host/settings_files.h"
#include "host/user_table.h"

namespace zv {

class TAbsenceKeeper;
class TAutoPunchOut;
class TChatService;
class TCalendarSync;
class TClientListener;
class TDirectoryService;
class TMaintenanceApi;
class TServerContext;
class TSyncSmtpClient;
class THostSessionContext;
struct TServerParts;

class TServerHost {
public:
    // `settingsFiles`: "zva.ini" in a folder (the folder of the executable, or
    // a test's temporary folder) or the file named by --config. The main loop
    // of the calling thread becomes the server's main loop.
    TServerHost(AdminView& view, SettingsFiles settingsFiles);
    // Closes the listener first, then gives the session threads told to stop
    // at shutdown a few seconds to end (their end handlers use the host).
    ~TServerHost();
    TServerHost(const TServerHost&) = delete;
    TServerHost& operator=(const TServerHost&) = delete;

    // --- start-up and shutdown ---------------------------------------------
    // Start-up at the first showing of the window; later calls do nothing.
    // When it fails, the message has been shown, fatalStartup() is set and the
    // view has been asked to close.
    void FormShow();
    // Shutdown: asks the view to confirm (unless start-up failed), then stops
    // the front ends and every session, empties every store and saves the
    // settings. False when the administrator refused: the server goes on.
    bool FormCloseQuery();
    // Last clean-up after the window has gone: closes the listening socket.
    void FormDestroy();
    // Reads the settings file again (SIGHUP) and applies what can change at
    // once (settings_reload.h): queued as a step on the main loop, in its
    // turn between the clients' steps. Before the server serves, and once it
    // has begun to stop, it says so and does nothing.
    void reloadSettingsFile();

    bool fatalStartup() const { return fatalStartup_; }
    // True from the moment every store is loaded and the socket listens.
    bool serving() const;
    const std::string& localIPAddress() const { return localIPAddress_; }
    // The port the listening socket is bound to (0 before it listens).
    int listeningPort() const;

    // --- the two faces ---------------------------------------------------------
    TMaintenanceApi& maintenance() { return *api_; }
    TServerContext& sessionContext();

    // --- parts, for the programs' tests -------------------------------------------
    TSessionRegistry& registry();
    const TUserTable& userTable() const;
    const TSettings& settings() const;
    TSettings& settings();

private:
    bool findLocalAddress();
    bool loadStore(const char* what, const std::function<void()>& load);
    void failStartup(const std::string& message);
    bool startListening();
    void stopEverySession();
    void waitForStoppedSessions();

    std::unique_ptr<TServerParts> parts_;
    std::unique_ptr<TSyncSmtpClient> SmtpClient1;
    std::unique_ptr<THostSessionContext> context_;
    std::unique_ptr<TClientListener> ServerSocket;
    std::unique_ptr<TAutoPunchOut> autoPunchOut_;
    std::unique_ptr<TAbsenceKeeper> absenceKeeper_;
    std::unique_ptr<TCalendarSync> calendarSync_;
    std::unique_ptr<TMaintenanceApi> api_;
    // The office's systems: they use the maintenance API, and go before it.
    std::unique_ptr<TChatService> chat_;
    std::unique_ptr<TDirectoryService> directory_;

    // Expires with the host: a reload still queued then does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool firstShow_ = true;
    bool fatalStartup_ = false;
    bool closed_ = false;
    std::string localIPAddress_;
};

}  // namespace zv
