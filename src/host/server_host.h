#pragma once
// The server host: owns the six stores, the settings, the listening socket
// `ServerSocket`, the SMTP client `SmtpClient1`, the session mutex, the session
// registry and the user table, and runs start-up (FormShow) and shutdown
// (FormCloseQuery, FormDestroy). It reaches the window only through AdminView.
// Everything here runs on the main thread (the thread that created the host),
// except sessionMutex(), which session threads take.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/admin_view.h"
#include "host/observers.h"
#include "host/session_registry.h"
#include "host/settings.h"
#include "host/user_table.h"
#include "protocol/server_context.h"
#include "protocol/session_mutex.h"

namespace zv {

class TAsyncSocket;
class TAutoPunchOut;
class TClientThread;
class TEventLoop;
class TSyncSmtpClient;
class TWIWOList;
class TWYWOList;
class TPOSTIList;
class TDEPTList;
class TPHONEList;
class TLOGList;
struct TWIWONode;
struct TWYWONode;
struct TDEPTNode;
struct TPHONENode;
struct TLOGNode;

class TServerHost final : public TServerContext {
public:
    // `settingsFiles`: "zva.ini" in a folder (the folder of the executable, or
    // a test's temporary folder) or the file named by --config. The main loop
    // of the calling thread becomes the server's main loop.
    TServerHost(AdminView& view, SettingsFiles settingsFiles);
    ~TServerHost() override;
    TServerHost(const TServerHost&) = delete;
    TServerHost& operator=(const TServerHost&) = delete;

    // --- start-up and shutdown ---------------------------------------------
    // Start-up at the first showing of the window; later calls do nothing.
    // When it fails, the message has been shown, fatalStartup() is set and the
    // view has been asked to close.
    void FormShow();
    // Shutdown: asks the view to confirm (unless start-up failed), then stops
    // every session, clears every store and saves the settings. False when the
    // administrator refused: the server goes on.
    bool FormCloseQuery();
    // Last clean-up after the window has gone: closes the listening socket.
    void FormDestroy();

    bool fatalStartup() const { return fatalStartup_; }
    // True from the moment every store is loaded and the socket listens.
    bool serving() const { return serving_; }
    const std::string& localIPAddress() const { return localIPAddress_; }
    const SettingsFiles& settingsFiles() const { return settingsFiles_; }
    // The port the listening socket is bound to (0 before it listens).
    int listeningPort() const;

    // --- settings ------------------------------------------------------------
    void loadSettings();
    // Writes "zva.ini"; a failure is shown as a warning. False when it failed.
    bool saveSettings();
    TSettings& settings() { return settings_; }
    const TSettings& settings() const { return settings_; }
    // The maximum log size dialog: the new limit applies to the next log record.
    void setLogSizeLimit(int limit);

    // --- front ends beside the window (the program wires them) -------------
    // Called at the end of a start-up that succeeded, once the clients are
    // served: the HTTP side starts here.
    std::function<void()> OnServing;
    // Called in FormCloseQuery once the close goes ahead, after the listener
    // has closed and before the sessions stop and the stores are cleared: the
    // HTTP side stops here.
    std::function<void()> OnStopping;

    // --- changes of the employee board ---------------------------------------
    // Counts the changes of the board that reached its file (every save and
    // load), whoever made them.
    std::uint64_t boardVersion() const { return boardVersion_; }
    // `observer` runs on the main thread after each such change, with the new
    // version. Returns a token for removeBoardObserver.
    int addBoardObserver(std::function<void(std::uint64_t version)> observer);
    void removeBoardObserver(int token);

    // `observer` runs on the main thread after each refresh of the user
    // table. Returns a token for removeUserTableObserver.
    int addUserTableObserver(std::function<void()> observer) { return userTableObservers_.add(std::move(observer)); }
    void removeUserTableObserver(int token) { userTableObservers_.remove(token); }

    // --- end-of-day punch-out ------------------------------------------------
    // Runs from the end of a start-up that succeeded until shutdown.
    TAutoPunchOut& autoPunchOut() { return *autoPunchOut_; }

    // --- window side ---------------------------------------------------------
    TUserTable& userTable() { return userTable_; }
    TSessionRegistry& registry() { return registry_; }
    AdminView& view() { return view_; }

    // --- TServerContext --------------------------------------------------------
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
    TEventLoop& mainLoop() override;
    TSessionMutex& sessionMutex() override;
    void clientThreadTerminated(TClientThread& session) override;

    // --- session registry events ---------------------------------------------
    void ServerSocketSessionAvailable(TAsyncSocket& sender, std::uint16_t error);
    void ClientThreadTerminate(TClientThread& session);

    // --- store access for the maintenance dialogs (store_access.cpp) ---------
    // Each passes straight to the store operation of the same meaning; the
    // saving ones throw StoreError, the index ones ListIndexError.
    int employeeCount();
    TWIWONode& employeeAt(int index);
    TWIWONode* findEmployee(const std::string& employeeKey);
    TWIWONode& addEmployee(std::unique_ptr<TWIWONode> record);
    void deleteEmployee(const std::string& employeeKey);
    void saveEmployees();
    void reloadEmployees();

    int departmentCount();
    TDEPTNode& departmentAt(int index);
    TDEPTNode& addDepartment(std::unique_ptr<TDEPTNode> record);
    void deleteDepartment(const std::string& name);
    void saveDepartments();
    void reloadDepartments();

    int phoneCount();
    TPHONENode& phoneAt(int index);
    void removePhone(const TPHONENode* record);
    void clearPhonebook();
    void savePhonebook();
    void reloadPhonebook();

    int logCount();
    TLOGNode& logAt(int index);
    void deleteLogAt(int index);
    void removeLog(const TLOGNode* record);
    void saveLog();
    void reloadLog();

private:
    void nameStores();
    void requireOpen(const char* what) const;
    bool findLocalAddress();
    bool loadStore(const char* what, const std::function<void()>& load);
    void failStartup(const std::string& message);
    bool startListening();
    void stopEverySession();
    void refuseOnePending(TAsyncSocket& listener);
    void reportRefusedConnection();
    void clearStores();
    void boardChanged();

    AdminView& view_;
    const SettingsFiles settingsFiles_;
    TEventLoop& mainLoop_;

    TSessionMutex sessionMutex_;  // held by a session for each of its steps
    TSettings settings_;
    TSessionRegistry registry_;
    TUserTable userTable_;

    std::unique_ptr<TWIWOList> board_;
    std::unique_ptr<TWYWOList> messages_;
    std::unique_ptr<TPOSTIList> memos_;
    std::unique_ptr<TDEPTList> departments_;
    std::unique_ptr<TPHONEList> phonebook_;
    std::unique_ptr<TLOGList> statusLog_;

    std::unique_ptr<TAsyncSocket> ServerSocket;
    std::unique_ptr<TSyncSmtpClient> SmtpClient1;

    bool firstShow_ = true;
    bool fatalStartup_ = false;
    bool serving_ = false;
    bool closed_ = false;
    std::string localIPAddress_;
    int spareFd_ = -1;  // a descriptor given up to refuse a connection when none is left

    std::uint64_t boardVersion_ = 0;
    TObservers<std::uint64_t> boardObservers_;
    TObservers<> userTableObservers_;

    std::unique_ptr<TAutoPunchOut> autoPunchOut_;
    // Connections refused because MaxClients sessions run.
    static constexpr std::chrono::seconds kRefusalReportInterval{60};
    std::optional<std::chrono::steady_clock::time_point> lastRefusalReport_;
    int refusedSinceReport_ = 0;  // refusals not reported yet
};

}  // namespace zv
