#pragma once
// The parts of the running server that the composition root (TServerHost)
// owns and lends to its two faces: the session context the protocol sees and
// the maintenance API the front ends see. Plain state with the few things
// every face does the same way (the user table refresh, the settings file).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/admin_view.h"
#include "host/host_stores.h"
#include "host/observers.h"
#include "host/server_metrics.h"
#include "host/session_registry.h"
#include "host/settings.h"
#include "host/settings_writer.h"
#include "host/user_table.h"
#include "protocol/session_mutex.h"
#include "stores/records.h"

namespace zv {

class TAbsenceKeeper;
class TCalendarSync;
class TAutoPunchOut;
class TChatService;
class TDirectoryService;
class TEventLoop;

struct TServerParts {
    // The main loop of the calling thread becomes the server's main loop.
    TServerParts(AdminView& view, SettingsFiles settingsFiles);
    TServerParts(const TServerParts&) = delete;
    TServerParts& operator=(const TServerParts&) = delete;

    // --- constant after construction ---------------------------------------
    AdminView& view;
    const SettingsFiles settingsFiles;
    TEventLoop& mainLoop;

    // --- any thread ------------------------------------------------------------
    TSessionMutex sessionMutex;  // held by a session (or a browser's step) for each of its steps
    TServerMetrics metrics;      // counted where things happen; read by the monitoring
    // Every store loaded and the clients served; false again once the close
    // went ahead. Set on the main thread.
    std::atomic<bool> serving = false;

    // --- main thread only --------------------------------------------------------
    TSettings settings;
    TSettingsWriter settingsWriter{settingsFiles};
    THostStores stores;
    TSessionRegistry registry;
    TUserTable userTable;
    int listeningPort = 0;  // of the clients' listener, once it listens
    // Changes of what the board shows (the board, and the absences planned
    // in the schedule) that reached their files.
    std::uint64_t boardVersion = 0;
    TObservers<std::uint64_t> boardObservers;
    TObservers<> userTableObservers;
    // The administrator's password changed (set anywhere, or read again).
    TObservers<> adminPasswordObservers;
    // The status changes of each add to the status change log (several for
    // the end-of-day punch-out), once saved; each message once stored.
    TObservers<const std::vector<TLOGNode>&> statusObservers;
    TObservers<const TWYWONode&> messageObservers;
    TAutoPunchOut* autoPunchOut = nullptr;  // owned by the root; set while it exists
    TDirectoryService* directory = nullptr;  // owned by the root; set while it exists
    TChatService* chat = nullptr;            // owned by the root; set while it exists
    TAbsenceKeeper* absenceKeeper = nullptr;  // owned by the root; set while it exists
    TCalendarSync* calendarSync = nullptr;    // owned by the root; set while it exists
    // The front ends beside the window: started at the end of a start-up
    // that succeeded, stopped once a close goes ahead (before the sessions
    // stop and the stores are emptied).
    std::function<void()> startFrontEnds;
    std::function<void()> stopFrontEnds;

    // A save or load of the board or the schedule: the observers are told.
    void boardShownChanged();
    // Empties columns 0 and 1 of the rows 1 to `count` of the user table.
    void clearUserTable(int count);
    // Rewrites the user table from the board, the users panel with it, and
    // tells the window and the observers.
    void refreshUserTable(const std::string& name);
    // After a change of the accounts: rows of removed accounts are cleared
    // (`countBefore`: the accounts before the change), the table refreshed.
    void accountsChanged(int countBefore);

    // Reads the settings file (warnings through the view); the new log size
    // limit applies at once.
    void loadSettings();
    // Writes into the settings file the settings that changed since
    // `before` and the window's placement where it moved, and nothing else
    // (TSettingsWriter); throws SettingsError when it fails.
    void saveSettingChanges(const TSettings& before);
    // As saveSettingChanges, a failure shown as a warning. False when it failed.
    bool saveSettingChangesOrWarn(const TSettings& before);
    // The maximum log size: the new limit applies to the next log record.
    void setLogSizeLimit(int limit);
};

}  // namespace zv
