// The maintenance API's operations on the lobby displays: made, changed and
// revoked by the administrator; read by anyone who knows a secret. Each
// display is a record of the schedule (see TSCHEDNode). Each change reads
// "check, change, save or undo, record".

#include <algorithm>

#include "host/account_rules.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/operation_support.h"
#include "host/record_fields.h"
#include "host/secrets.h"
#include "host/server_parts.h"
#include "stores/stores.h"

namespace zv {

namespace {

constexpr std::string_view kPhones = "phones";
constexpr std::string_view kComments = "comments";

TDisplayShown shownOf(const TSCHEDNode& record) {
    TDisplayShown shown;
    shown.id = secretName(record.Secret);
    shown.secret = record.Secret;
    shown.settings.name = record.Note;
    std::size_t start = 0;
    while (start < record.Address.size()) {
        const std::size_t end = std::min(record.Address.find('\n', start), record.Address.size());
        if (end > start) shown.settings.departments.push_back(record.Address.substr(start, end - start));
        start = end + 1;
    }
    const auto has = [&record](std::string_view word) {
        return (" " + record.Origin + " ").find(" " + std::string(word) + " ") != std::string::npos;
    };
    shown.settings.phones = has(kPhones);
    shown.settings.comments = has(kComments);
    return shown;
}

// The settings into the record's fields; a refusal when they cannot be kept.
std::optional<TAdminResult> putSettings(const TDisplaySettings& settings,
                                        const std::vector<std::string>& known, TSCHEDNode& record) {
    if (settings.name.empty()) return TAdminResult::refused("name", "Please give the display a name.");
    std::string departments;
    for (const std::string& department : settings.departments) {
        if (std::find(known.begin(), known.end(), department) == known.end()) {
            return TAdminResult::refused("departments", noSuchDepartmentText(department));
        }
        departments += (departments.empty() ? "" : "\n") + department;
    }
    if (departments.size() > slotWidth<TSCHEDNode>("Address")) {
        return TAdminResult::refused(
            "departments", "Too many departments for one display; choose fewer, or every department.");
    }
    record.Note = settings.name;
    record.Address = departments;
    record.Origin.clear();
    if (settings.phones) record.Origin = kPhones;
    if (settings.comments) record.Origin += (record.Origin.empty() ? "" : " ") + std::string(kComments);
    return std::nullopt;
}

int displayIndex(const TSCHEDList& schedule, const std::string& id) {
    for (int i = 0; i < schedule.getCount(); ++i) {
        const TSCHEDNode& record = schedule.getNode(i);
        if (record.Kind == schedule::kDisplay && secretName(record.Secret) == id) return i;
    }
    return -1;
}

constexpr const char* kNoSuchDisplay = "This display is no longer there.";

}  // namespace

std::vector<TDisplayShown> TMaintenanceApi::displays() {
    std::vector<TDisplayShown> shown;
    if (parts_.stores.closed()) return shown;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind == schedule::kDisplay) shown.push_back(shownOf(*node));
    }
    std::stable_sort(shown.begin(), shown.end(), [](const TDisplayShown& a, const TDisplayShown& b) {
        return a.settings.name < b.settings.name;
    });
    return shown;
}

TAdminResult TMaintenanceApi::makeDisplay(const std::string& who, const TDisplaySettings& settings) {
    auto record = std::make_unique<TSCHEDNode>();
    record->Kind = schedule::kDisplay;
    record->Secret = newSecret();
    if (auto refused = putSettings(settings, departmentNames(), *record)) return *refused;
    const std::string secret = record->Secret;
    TSCHEDList& schedule = parts_.stores.schedule();
    const std::uint64_t serial = schedule.addNode(std::move(record)).serial;
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.deleteSerials({serial}); });
    auditAdminChange(parts_.view, who, "made the lobby display " + auditQuoted(settings.name));
    return TAdminResult::done({}, secret);
}

TAdminResult TMaintenanceApi::changeDisplay(const std::string& who, const std::string& id,
                                            const TDisplaySettings& settings) {
    TSCHEDList& schedule = parts_.stores.schedule();
    const int index = displayIndex(schedule, id);
    if (index < 0) return TAdminResult::gone(kNoSuchDisplay);
    const TSCHEDNode before = std::as_const(schedule).getNode(index);
    TSCHEDNode after = before;
    if (auto refused = putSettings(settings, departmentNames(), after)) return *refused;
    schedule.getNode(index) = after;
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.getNode(index) = before; });
    auditAdminChange(
        parts_.view, who,
        "changed the lobby display " + auditQuoted(before.Note) +
            (before.Note == after.Note ? std::string() : " (now " + auditQuoted(after.Note) + ")"));
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::removeDisplay(const std::string& who, const std::string& id) {
    TSCHEDList& schedule = parts_.stores.schedule();
    const int index = displayIndex(schedule, id);
    if (index < 0) return TAdminResult::gone(kNoSuchDisplay);
    const TSCHEDNode before = std::as_const(schedule).getNode(index);
    schedule.deleteSerials({before.serial});
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.saveSchedule(); },
        [&] { schedule.addNode(std::make_unique<TSCHEDNode>(before)); });
    auditAdminChange(parts_.view, who, "revoked the lobby display " + auditQuoted(before.Note));
    return TAdminResult::done({}, before.Secret);
}

std::optional<TDisplayShown> TMaintenanceApi::displayOf(const std::string& secret) {
    if (parts_.stores.closed()) return std::nullopt;
    std::optional<TDisplayShown> found;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind == schedule::kDisplay && sameSecret(node->Secret, secret)) found = shownOf(*node);
    }
    return found;
}

}  // namespace zv
