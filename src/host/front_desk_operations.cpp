// The maintenance API's operations on the front desk: the accounts of
// [FrontDesk] Accounts in the settings file ("|" between two), which may
// change anyone's status from the board.

#include <algorithm>
#include <exception>
#include <optional>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/operation_support.h"
#include "host/server_parts.h"
#include "protocol/server_context.h"
#include "stores/board_store.h"

namespace zv {

namespace {

constexpr char kSeparator = '|';

std::vector<std::string> accountsOf(const std::string& text) {
    std::vector<std::string> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(kSeparator, start), text.size());
        if (end > start) keys.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return keys;
}

std::string textOf(const std::vector<std::string>& keys) {
    std::string text;
    for (const std::string& k : keys) text += (text.empty() ? "" : std::string(1, kSeparator)) + k;
    return text;
}

// Whether the settings file can list the key as it is.
bool listable(const std::string& key) {
    return key.find(kSeparator) == std::string::npos && key == keptSettingText(key);
}

}  // namespace

std::vector<std::string> TMaintenanceApi::frontDeskAccounts() const {
    return accountsOf(parts_.settings.FrontDeskAccounts);
}

bool TMaintenanceApi::isFrontDesk(const std::string& key) const {
    const std::vector<std::string> keys = frontDeskAccounts();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

TAdminResult TMaintenanceApi::setFrontDesk(const std::string& who, const std::string& key, bool frontDesk) {
    if (context_.board().findByKey(key) == nullptr) {
        return TAdminResult::gone("There is no \"" + auditQuoted(key) + "\" on the board.");
    }
    if (!listable(key)) {
        return TAdminResult::refused("employee",
                                     "The settings file cannot list this account at the front desk: its "
                                     "name holds \"|\" or begins or ends with a blank.");
    }
    std::vector<std::string> keys = frontDeskAccounts();
    const bool listed = std::find(keys.begin(), keys.end(), key) != keys.end();
    if (listed == frontDesk) return TAdminResult::done();
    if (frontDesk)
        keys.push_back(key);
    else
        std::erase(keys, key);
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    settings.FrontDeskAccounts = textOf(keys);
    saveOrUndo(
        Saving::Now, [&] { parts_.saveSettingChanges(before); }, [&] { settings = before; });
    auditAdminChange(parts_.view, who,
                     std::string(frontDesk ? "put " : "took ") + auditQuoted(key) +
                         (frontDesk ? " at the front desk" : " off the front desk"));
    return TAdminResult::done();
}

void TMaintenanceApi::frontDeskFollowsAccount(const std::string& key,
                                              const std::optional<std::string>& newKey) {
    std::vector<std::string> keys = frontDeskAccounts();
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) return;
    std::erase(keys, key);
    // A new key the file cannot hold leaves the desk, and says so below.
    const bool kept = newKey && listable(*newKey);
    if (kept && std::find(keys.begin(), keys.end(), *newKey) == keys.end()) keys.push_back(*newKey);
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    settings.FrontDeskAccounts = textOf(keys);
    try {
        parts_.saveSettingChanges(before);
    } catch (const std::exception& e) {
        // The account's change is made; the desk keeps the old key in the file
        // (and so in memory) until it is set again.
        settings = before;
        parts_.view.showMessage(MessageKind::Warning,
                                "The front desk could not follow the change of the account " +
                                    auditQuoted(key) + ": " + e.what());
        return;
    }
    if (newKey && !kept) {
        parts_.view.showMessage(
            MessageKind::Warning,
            "The account " + auditQuoted(*newKey) +
                " left the front desk: the settings file cannot list a name that holds \"|\" "
                "or begins or ends with a blank.");
    }
}

}  // namespace zv
