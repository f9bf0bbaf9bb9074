#pragma once
// The host as the front ends see it (the window and the HTTP side): sign-in
// checks, read queries, the operations, and the server's notices; messages
// for the administrator go through the view. Nothing of the protocol or of
// the stores shows through: the queries hand out copies of records (record
// bytes, the clients' code page) as they are at the moment of the call.
//
// Each administrative operation exists here once, whoever asks for it: it
// checks, changes, saves or undoes, and records who did what
// (admin_operations.cpp, option_operations.cpp); the employees' board
// operations do what the equivalent client request does
// (board_operations.cpp); the planned absences are schedule_operations.cpp.
//
// Everything runs on the main thread, inside a step (a browser's request
// through runStep, or the window's own event handling, which no session step
// interrupts), except runStep itself.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/account_rules.h"
#include "host/admin_operations.h"
#include "host/backup_archive.h"
#include "host/board_operations.h"
#include "host/board_snapshot.h"
#include "host/directory_service.h"
#include "chat/chat_hook.h"
#include "host/schedule_operations.h"
#include "host/server_metrics.h"
#include "host/settings.h"
#include "host/status_log_views.h"
#include "host/status_presets.h"
#include "stores/records.h"

namespace zv {

class AdminView;
class TEventLoop;
class TServerContext;
class TUserTable;
struct TServerParts;

// A step found the stores no longer there (the server shuts down) or could
// not save them.
class TStoresUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A step could not write the settings file (the change was undone).
class TSettingsUnsaved : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMaintenanceApi {
public:
    TMaintenanceApi(TServerParts& parts, TServerContext& context);
    TMaintenanceApi(const TMaintenanceApi&) = delete;
    TMaintenanceApi& operator=(const TMaintenanceApi&) = delete;

    // --- the server ----------------------------------------------------------------
    AdminView& view();
    const TSettings& settings() const;
    const SettingsFiles& settingsFiles() const;
    // True from the moment every store is loaded and the clients are served
    // until a close goes ahead. Any thread.
    bool serving() const;
    // The server's figures for its monitoring, as they are now. Any thread.
    TServerMetrics::Snapshot metrics() const;
    // The port the clients' listener is bound to (0 before it listens).
    int listeningPort() const;
    // The main thread's loop (the window turns it under Qt's loop; the front
    // ends' timers run on it).
    TEventLoop& mainLoop();
    // Runs `step` on the main loop as a session step runs: under the session
    // mutex, one at a time, in the order asked, never in the middle of a
    // client's step. From any thread but the main one: waits for the step,
    // rethrows what it threw, a fault of the stores as TStoresUnavailable and
    // one of the settings file as TSettingsUnsaved.
    void runStep(const std::function<void()>& step);

    // The front ends beside the window: `start` runs at the end of a start-up
    // that succeeded, once the clients are served; `stop` once a close goes
    // ahead, after the listener has closed and before the sessions stop and
    // the stores are emptied. Either may be empty.
    void setFrontEnds(std::function<void()> start, std::function<void()> stop);

    // --- notices -----------------------------------------------------------------------
    // After each change of the board that reached its file (every save and
    // load, whoever made it) and each save of the schedule (the absences the
    // board shows), with the number of such changes so far.
    int addBoardObserver(std::function<void(std::uint64_t version)> observer);
    void removeBoardObserver(int token);
    // After each refresh of the user table.
    int addUserTableObserver(std::function<void()> observer);
    void removeUserTableObserver(int token);
    // After each change of the administrator's password (a browser, the
    // window, the settings file read again).
    int addAdminPasswordObserver(std::function<void()> observer);
    void removeAdminPasswordObserver(int token);

    // --- sign-in checks ------------------------------------------------------------------
    // The employee key when `key` and `password` are those of an account,
    // compared exactly as a client's login compares them; nothing otherwise.
    // Changes nothing.
    std::optional<std::string> employeeSignIn(const std::string& key, const std::string& password);
    // The stored hash of the administrator's password; empty while none is set.
    const std::string& adminPasswordHash() const;

    // --- read queries (empty once the server has shut down) -------------------------------
    std::optional<TWIWONode> account(const std::string& key);
    // The password of each account in `keys` (record bytes), in their order;
    // nothing for a key no account has. One pass over the board.
    std::vector<std::optional<std::string>> passwordsOf(const std::vector<std::string>& keys);
    // Board order.
    std::vector<TWIWONode> accounts();
    int accountCount();
    std::vector<std::string> departmentNames();
    // Sorted by caller; each entry's serial names it for removePhoneEntry.
    std::vector<TPHONENode> phonebook();
    // Oldest first, the entries the filter shows.
    std::vector<TLOGNode> statusLog(const TLogFilter& filter = {});
    int statusLogCount();
    // The most records the status change log keeps now.
    int statusLogLimit();
    // The board as the browsers show it, with each account's next planned
    // absence; `cache` (kept by the caller from one build to the next) saves
    // reading the texts that did not change.
    std::vector<TBoardRow> boardRows(TMomentCache* cache);
    const TUserTable& userTable() const;

    // Every data file and the settings file as they are now, for a backup
    // (in a step: between two client exchanges); `who` took it, as the
    // record line says. Throws TStoresUnavailable once the server has shut
    // down.
    TBackupSnapshot backupSnapshot(const std::string& who);

    // --- what an employee does (a browser's board page) --------------------------------------
    // As a client's "PUNCH_IN" login and "PUNCH_OUT" request.
    PunchOutcome punchIn(const std::string& employeeKey);
    PunchOutcome punchOut(const std::string& employeeKey);
    // As a client's login that carries the employee's own board record with
    // only these four fields changed. False when the employee has no record.
    bool editStatus(const std::string& employeeKey, const TStatusEdit& edit);
    // As a client's login that carries a new message: `message` (every field
    // but TakenBy, Date and Time) is stored taken by `takenBy` now, and mailed
    // when its recipient asked for that. A recipient without a board record is
    // refused.
    MessageOutcome takeMessage(TWYWONode message, const std::string& takenBy);

    // The messages and memos waiting for `employeeKey`, in the order they came.
    TInbox inbox(const std::string& employeeKey);
    // Deletes one of them, as the client's confirmation of a bundle that
    // carried it does; false when it is gone already (or not the employee's).
    bool doneWith(const std::string& employeeKey, InboxKind kind, std::uint64_t serial);
    // For each employee with messages or memos waiting, a number that
    // changes whenever one of theirs is stored or deleted.
    std::map<std::string, std::uint64_t> inboxStamps();

    // The one-tap statuses: the administrator's, or the defaults.
    std::vector<TStatusPreset> statusPresets() const;
    TAdminResult changeStatusPresets(const std::string& who, const std::vector<TStatusPreset>& presets);

    // --- the planned absences ------------------------------------------------------------------
    // Plans an absence of `plan.employee`, whom `planner` must be allowed to
    // plan for; it comes onto the board at its start. Done with the new
    // absence's id as `record`; a refusal names the field at fault; an
    // account that is gone is Gone.
    TAdminResult planAbsence(const TAbsencePlanner& planner, const TAbsencePlan& plan);
    // Cancels the absence with this id (of an account `planner` may plan
    // for); the board is left as it is.
    TAdminResult cancelAbsence(const TAbsencePlanner& planner, std::uint64_t id);
    // The absences to come and those on the board now, of one account or
    // (empty) of all, in the order of their start.
    std::vector<TAbsenceShown> absences(const std::string& employeeKey = {});

    // --- the accounts' calendars ------------------------------------------------------------
    // Gives `employee` the calendar at `address` (webcal:// read as
    // https://), or takes it away (empty); a new one is read at once. Only
    // http and https addresses are taken; whether the host is allowed is
    // told when it is fetched.
    TAdminResult setCalendar(const std::string& who, const std::string& employee, const std::string& address);
    // Reads `employee`'s calendar (every calendar when empty) now, without
    // waiting for its next time. Done with how many are read.
    TAdminResult readCalendarsNow(const std::string& employee);
    // Every account's calendar, in account order.
    std::vector<TCalendarShown> calendars();
    // Sets [Calendars] AllowedHosts (checked first), saves the settings and
    // reads every calendar again.
    TAdminResult changeCalendarHosts(const std::string& who, const std::string& allowedHosts);

    // --- the office's calendar feeds ------------------------------------------------------
    // The feeds there are, the office's first, then by department.
    std::vector<TFeedShown> feeds();
    // Makes the feed of `department` (empty: the whole office; otherwise
    // one of the departments), or gives it a new secret: the old address
    // leads nowhere from then on. Done with the secret as `record`.
    TAdminResult makeFeed(const std::string& who, const std::string& department);
    TAdminResult removeFeed(const std::string& who, const std::string& department);
    // The iCalendar text of the feed whose secret this is; nothing for any
    // other text.
    std::optional<std::string> feedCalendarText(const std::string& secret);

    // --- the lobby displays ------------------------------------------------------------------
    // The displays there are, by name.
    std::vector<TDisplayShown> displays();
    // Makes a display with a new secret: done with the secret as `record`.
    // A name is needed, and each department must be one of the departments.
    TAdminResult makeDisplay(const std::string& who, const TDisplaySettings& settings);
    // Renames the display with this id or changes what it shows; its
    // address stays.
    TAdminResult changeDisplay(const std::string& who, const std::string& id, const TDisplaySettings& settings);
    // Revokes the display: its address leads nowhere from then on. Done with
    // the secret it had as `record`.
    TAdminResult removeDisplay(const std::string& who, const std::string& id);
    // The display whose secret this is; nothing for any other text.
    std::optional<TDisplayShown> displayOf(const std::string& secret);

    // --- the front desk ---------------------------------------------------------------------
    // The accounts of [FrontDesk] Accounts (record bytes), as the file lists them.
    std::vector<std::string> frontDeskAccounts() const;
    // Whether the account may change anyone's status from the board.
    bool isFrontDesk(const std::string& key) const;
    // Adds the account to the front desk or takes it off, and saves the settings.
    TAdminResult setFrontDesk(const std::string& who, const std::string& key, bool frontDesk);

    // --- departments and accounts ---------------------------------------------------------------
    // `who` names the administrator in the record line.
    TAdminResult createDepartment(const std::string& who, const std::string& name, Saving saving = Saving::Now);
    // Refused while an account belongs to it.
    TAdminResult removeDepartment(const std::string& who, const std::string& name, Saving saving = Saving::Now);
    // `department` must be one of the departments (none: refused as the
    // dialog refuses no choice). Done with the dialog's information text.
    TAdminResult createAccount(const std::string& who, const TNewAccount& account, Saving saving = Saving::Now);
    // Applies the changed fields to the account with this key as it is now.
    // A new department must be one of the departments (or empty while there
    // are none).
    TAdminResult modifyAccount(const std::string& who, const std::string& key, const TAccountEdit& edit,
                               Saving saving = Saving::Now);
    // Removes every account with the key; its memos and messages stay.
    TAdminResult removeAccount(const std::string& who, const std::string& key, Saving saving = Saving::Now);

    // --- the phonebook -------------------------------------------------------------------------------
    // Adds an entry (Caller, Company, PhoneNumber) in caller order; a caller
    // is needed. Done with the new entry's serial as `record`.
    TAdminResult addPhoneEntry(const std::string& who, const TPHONENode& entry);
    // Puts these texts in place of the entry with this serial; the entry
    // moves to its caller's place and gets a new serial (`record`).
    TAdminResult changePhoneEntry(const std::string& who, std::uint64_t serial, const TPHONENode& entry);
    // The entry with this serial (its identity since the store last loaded).
    TAdminResult removePhoneEntry(const std::string& who, std::uint64_t serial, Saving saving = Saving::Now);
    TAdminResult clearPhonebook(const std::string& who, Saving saving = Saving::Now);

    // --- options ----------------------------------------------------------------------------------------
    // Checks every value first; changes all or none, then saves the settings
    // once (a failure undoes the changes and throws).
    TAdminResult changeOptions(const std::string& who, const TOptionChanges& changes);
    // Stores the hash of a new administrator's password and saves the
    // settings. With `onlyIfUnset`, refused when a password has been set
    // meanwhile (the first-run set-up).
    TAdminResult setAdminPasswordHash(const std::string& who, const std::string& hash, bool onlyIfUnset);
    // Every setting and the window placement return to what the settings
    // file holds (an option dialog cancelled).
    void reloadSettings();

    // --- the office's systems: the directory and the team chat -----------------------------------------
    // Each `done` runs later on the main loop, exactly once while the server
    // lives; nothing here waits for the directory or the chat.
    //
    // The browser's sign-in of an employee or an administrator with their
    // directory password (search with the search account, then a bind as
    // the person). The answer tells the person's groups (administrators,
    // front desk) and the board account the sync made for them; a directory
    // that cannot be asked answers Unavailable with the reason.
    void checkDirectoryPassword(const std::string& name, const std::string& password,
                                std::function<void(const TDirectoryCheck&)> done);
    // What `name` finds in the directory (the Options' "Test"); an empty
    // name tries the connection and the search account only.
    void testDirectory(const std::string& name, std::function<void(const TDirectoryLookup&)> done);
    // A sync of the accounts with the directory's group now; `who` asked.
    void syncDirectoryNow(const std::string& who, std::function<void(const TDirectorySyncReport&)> done = {});
    // The accounts whose person left the directory's group, for the
    // administrator to delete (removeAccount) after looking at them.
    std::vector<TDirectoryLeaver> directoryLeavers();
    TDirectorySyncReport lastDirectorySync() const;
    // What is wrong with the [Directory] and [Chat.<name>] settings, one
    // sentence each (the Options page shows them).
    std::vector<std::string> officeSettingProblems() const;
    // "Send a test" to the webhook named; `done` gets an empty text when the
    // webhook took it, else why not.
    void sendChatTest(const std::string& who, const std::string& hook, std::function<void(const std::string&)> done);
    // News for the chat from the parts that know it (planned absences,
    // overdue returns): posted to each webhook that wants it.
    void chatNews(const TChatEvent& event);
    // Sets keys of [Directory], named as in the file ("URI", "BindDN" ...):
    // all checked first (a key of no such name, a line break, a Timeout that
    // is no number of seconds from 1 to 300), then set and saved at once;
    // they take effect with the next question to the directory.
    TAdminResult changeDirectorySettings(const std::string& who,
                                         const std::vector<std::pair<std::string, std::string>>& values);
    // Adds the webhook [Chat.<name>] or changes it; an empty URL or Secret
    // keeps the one set. Refused when the webhook could not be posted to
    // (what the Options page shows as its problem).
    TAdminResult setChatHook(const std::string& who, TChatHookTexts hook);
    // Removes the webhook and its section from the settings file.
    TAdminResult removeChatHook(const std::string& who, const std::string& name);

    // --- the window's maintenance dialogs (Saving::WithTheDialog) --------------------------------------
    // Each save or reload throws StoreError when it fails, or when the server
    // is not serving with its data loaded.
    void saveDepartments();
    void saveAccounts();
    void savePhonebook();
    void reloadPhonebook();
    void saveStatusLog();
    void reloadStatusLog();
    // Empties the rows 1 to `count` of the user table but their last activity.
    void clearUserTable(int count);
    void refreshUserTable();

private:
    // The schedule follows an account's new key, or (none) its removal:
    // its absences and its calendar go with it.
    void scheduleFollowsAccount(const std::string& key, const std::optional<std::string>& newKey);
    // [FrontDesk] Accounts follows an account's new key, or (none) its removal.
    void frontDeskFollowsAccount(const std::string& key, const std::optional<std::string>& newKey);
    // Each part kept by account key follows the account's new key, or its removal.
    void keptPartsFollowAccount(const std::string& key, const std::optional<std::string>& newKey);

    TServerParts& parts_;
    TServerContext& context_;
};

}  // namespace zv
