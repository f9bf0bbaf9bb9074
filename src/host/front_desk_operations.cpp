// The maintenance API's operations on the front desk: the accounts of
// [FrontDesk] Accounts in the settings file ("|" between two), which may
// change anyone's status from the board.

#include <algorithm>

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
    if (key.find(kSeparator) != std::string::npos || key != keptSettingText(key)) {
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
    std::string text;
    for (const std::string& k : keys) text += (text.empty() ? "" : std::string(1, kSeparator)) + k;
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    settings.FrontDeskAccounts = text;
    saveOrUndo(
        Saving::Now, [&] { parts_.saveSettingChanges(before); }, [&] { settings = before; });
    auditAdminChange(parts_.view, who,
                     std::string(frontDesk ? "put " : "took ") + auditQuoted(key) +
                         (frontDesk ? " at the front desk" : " off the front desk"));
    return TAdminResult::done();
}

}  // namespace zv
