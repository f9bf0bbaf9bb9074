// The maintenance API: the server's state, steps, notices, sign-in checks,
// read queries and the window's saves. The operations are in
// admin_operations.cpp, option_operations.cpp and board_operations.cpp.

#include "host/maintenance_api.h"

#include <string_view>
#include <unordered_map>
#include <utility>

#include "host/admin_audit.h"
#include "host/ini_file.h"
#include "host/server_parts.h"
#include "protocol/login.h"
#include "protocol/server_context.h"
#include "protocol/wire_texts.h"
#include "stores/stores.h"

namespace zv {

TMaintenanceApi::TMaintenanceApi(TServerParts& parts, TServerContext& context) : parts_(parts), context_(context) {}

// --- the server ---------------------------------------------------------------------

AdminView& TMaintenanceApi::view() { return parts_.view; }
const TSettings& TMaintenanceApi::settings() const { return parts_.settings; }
const SettingsFiles& TMaintenanceApi::settingsFiles() const { return parts_.settingsFiles; }
bool TMaintenanceApi::serving() const { return parts_.serving; }
TServerMetrics::Snapshot TMaintenanceApi::metrics() const { return parts_.metrics.snapshot(); }
int TMaintenanceApi::listeningPort() const { return parts_.listeningPort; }
TEventLoop& TMaintenanceApi::mainLoop() { return parts_.mainLoop; }

void TMaintenanceApi::runStep(const std::function<void()>& step) {
    try {
        parts_.sessionMutex.runStep(parts_.mainLoop, step);
    } catch (const StoreError& e) {
        throw TStoresUnavailable(e.what());
    } catch (const SettingsError& e) {
        throw TSettingsUnsaved(e.what());
    }
}

void TMaintenanceApi::setFrontEnds(std::function<void()> start, std::function<void()> stop) {
    parts_.startFrontEnds = std::move(start);
    parts_.stopFrontEnds = std::move(stop);
}

// --- notices ----------------------------------------------------------------------------

int TMaintenanceApi::addBoardObserver(std::function<void(std::uint64_t)> observer) {
    return parts_.boardObservers.add(std::move(observer));
}
void TMaintenanceApi::removeBoardObserver(int token) { parts_.boardObservers.remove(token); }
int TMaintenanceApi::addUserTableObserver(std::function<void()> observer) {
    return parts_.userTableObservers.add(std::move(observer));
}
void TMaintenanceApi::removeUserTableObserver(int token) { parts_.userTableObservers.remove(token); }
int TMaintenanceApi::addAdminPasswordObserver(std::function<void()> observer) {
    return parts_.adminPasswordObservers.add(std::move(observer));
}
void TMaintenanceApi::removeAdminPasswordObserver(int token) { parts_.adminPasswordObservers.remove(token); }

// --- sign-in checks ---------------------------------------------------------------------

std::optional<std::string> TMaintenanceApi::employeeSignIn(const std::string& key, const std::string& password) {
    // The credentials as a client's login carries them, so that both are
    // compared by the one login check.
    const std::string result = checkLogin(context_, key + "|" + password);
    if (result == wire::kNonExistResult || result == wire::kDenied) return std::nullopt;
    return result;
}

const std::string& TMaintenanceApi::adminPasswordHash() const { return parts_.settings.WebAdminPassword; }

// --- read queries ---------------------------------------------------------------------------

std::optional<TWIWONode> TMaintenanceApi::account(const std::string& key) {
    if (parts_.stores.closed()) return std::nullopt;
    const TWIWONode* found = std::as_const(parts_.stores.board()).findByKey(key);
    if (!found) return std::nullopt;
    return *found;
}

std::vector<std::optional<std::string>> TMaintenanceApi::passwordsOf(const std::vector<std::string>& keys) {
    std::vector<std::optional<std::string>> passwords(keys.size());
    if (parts_.stores.closed()) return passwords;
    std::unordered_map<std::string_view, std::size_t> wanted;
    for (std::size_t i = 0; i < keys.size(); ++i) wanted.emplace(keys[i], i);
    TWIWOList& board = parts_.stores.board();
    for (int i = 0; i < board.getCount() && !wanted.empty(); ++i) {
        const TWIWONode& node = board.getNode(i);
        const auto it = wanted.find(node.Employee);
        if (it == wanted.end()) continue;
        // The first record of a key is the account, as for account().
        passwords[it->second] = node.Password;
        wanted.erase(it);
    }
    return passwords;
}

std::vector<TWIWONode> TMaintenanceApi::accounts() {
    std::vector<TWIWONode> out;
    if (parts_.stores.closed()) return out;
    const TWIWOList& board = parts_.stores.board();
    out.reserve(static_cast<std::size_t>(board.getCount()));
    for (int i = 0; i < board.getCount(); ++i) out.push_back(board.getNode(i));
    return out;
}

int TMaintenanceApi::accountCount() { return parts_.stores.closed() ? 0 : parts_.stores.board().getCount(); }

std::vector<std::string> TMaintenanceApi::departmentNames() {
    std::vector<std::string> names;
    if (parts_.stores.closed()) return names;
    const TDEPTList& departments = parts_.stores.departments();
    for (int i = 0; i < departments.getCount(); ++i) names.push_back(departments.getNode(i).Name);
    return names;
}

std::vector<TPHONENode> TMaintenanceApi::phonebook() {
    std::vector<TPHONENode> out;
    if (parts_.stores.closed()) return out;
    const TPHONEList& phonebook = parts_.stores.phonebook();
    for (int i = 0; i < phonebook.getCount(); ++i) out.push_back(phonebook.getNode(i));
    return out;
}

std::vector<TLOGNode> TMaintenanceApi::statusLog(const TLogFilter& filter) {
    std::vector<TLOGNode> out;
    if (parts_.stores.closed()) return out;
    const TLOGList& log = parts_.stores.statusLog();
    for (int i = 0; i < log.getCount(); ++i) {
        if (logEntryShown(log.getNode(i), filter)) out.push_back(log.getNode(i));
    }
    return out;
}

int TMaintenanceApi::statusLogCount() { return parts_.stores.closed() ? 0 : parts_.stores.statusLog().getCount(); }

int TMaintenanceApi::statusLogLimit() {
    return parts_.stores.closed() ? parts_.settings.logSizeLimit : parts_.stores.statusLog().maxSize();
}

const TUserTable& TMaintenanceApi::userTable() const { return parts_.userTable; }

TBackupSnapshot TMaintenanceApi::backupSnapshot(const std::string& who) {
    TBackupSnapshot snapshot;
    try {
        snapshot = snapshotOfServer(parts_.stores, parts_.settingsFiles.settingsPath);
    } catch (const StoreError& e) {
        throw TStoresUnavailable(e.what());
    }
    std::string what = "took a backup (";
    for (const TBackupFile& file : snapshot.files) {
        if (file.recordSize) what += file.name + " " + std::to_string(file.records()) + " records, ";
    }
    what.resize(what.size() - 2);
    auditAdminChange(parts_.view, who, what + ")");
    return snapshot;
}

void TMaintenanceApi::reloadSettings() { parts_.loadSettings(); }

// --- the window's maintenance dialogs ----------------------------------------------------------

void TMaintenanceApi::saveDepartments() { parts_.stores.saveDepartments(); }
void TMaintenanceApi::saveAccounts() { parts_.stores.saveBoard(); }
void TMaintenanceApi::savePhonebook() { parts_.stores.savePhonebook(); }
void TMaintenanceApi::reloadPhonebook() { parts_.stores.reloadPhonebook(); }
void TMaintenanceApi::saveStatusLog() { parts_.stores.saveStatusLog(); }
void TMaintenanceApi::reloadStatusLog() { parts_.stores.reloadStatusLog(); }
void TMaintenanceApi::clearUserTable(int count) { parts_.clearUserTable(count); }
void TMaintenanceApi::refreshUserTable() { parts_.refreshUserTable(""); }

}  // namespace zv
