// The maintenance API's operations on the office's calendar feeds: made,
// given a new secret and removed by the administrator; read by anyone who
// knows a secret. Each change reads "check, change, save or undo, record".

#include <algorithm>

#include "host/account_rules.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/office_feed.h"
#include "host/operation_support.h"
#include "host/secrets.h"
#include "host/server_parts.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

std::string feedName(const std::string& department) {
    return department.empty() ? "the office" : "department " + auditQuoted(department);
}

int feedIndex(const TSCHEDList& schedule, const std::string& department) {
    for (int i = 0; i < schedule.getCount(); ++i) {
        const TSCHEDNode& record = schedule.getNode(i);
        if (record.Kind == schedule::kFeed && record.Department == department) return i;
    }
    return -1;
}

}  // namespace

std::vector<TFeedShown> TMaintenanceApi::feeds() {
    std::vector<TFeedShown> shown;
    if (parts_.stores.closed()) return shown;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind == schedule::kFeed) shown.push_back({node->Department, node->Secret});
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const TFeedShown& a, const TFeedShown& b) { return a.department < b.department; });
    return shown;
}

TAdminResult TMaintenanceApi::makeFeed(const std::string& who, const std::string& department) {
    if (!department.empty()) {
        const std::vector<std::string> names = departmentNames();
        if (std::find(names.begin(), names.end(), department) == names.end()) {
            return TAdminResult::refused("department", noSuchDepartmentText(department));
        }
    }
    TSCHEDList& schedule = parts_.stores.schedule();
    const std::string secret = newSecret();
    const int index = feedIndex(schedule, department);
    if (index >= 0) {
        const std::string before = std::as_const(schedule).getNode(index).Secret;
        schedule.getNode(index).Secret = secret;
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); },
            [&] { schedule.getNode(index).Secret = before; });
    } else {
        auto record = std::make_unique<TSCHEDNode>();
        record->Kind = schedule::kFeed;
        record->Department = department;
        record->Secret = secret;
        const std::uint64_t serial = schedule.addNode(std::move(record)).serial;
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.deleteSerials({serial}); });
    }
    auditAdminChange(parts_.view, who,
                     std::string(index >= 0 ? "gave a new address to" : "made") + " the calendar feed of " +
                         feedName(department));
    return TAdminResult::done({}, secret);
}

TAdminResult TMaintenanceApi::removeFeed(const std::string& who, const std::string& department) {
    TSCHEDList& schedule = parts_.stores.schedule();
    const int index = feedIndex(schedule, department);
    if (index < 0) return TAdminResult::gone("There is no calendar feed of " + feedName(department) + ".");
    const TSCHEDNode before = std::as_const(schedule).getNode(index);
    schedule.deleteSerials({before.serial});
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.saveSchedule(); },
        [&] { schedule.addNode(std::make_unique<TSCHEDNode>(before)); });
    auditAdminChange(parts_.view, who, "removed the calendar feed of " + feedName(department));
    return TAdminResult::done();
}

std::optional<std::string> TMaintenanceApi::feedCalendarText(const std::string& secret) {
    if (parts_.stores.closed() || secret.empty()) return std::nullopt;
    const TSCHEDNode* feed = nullptr;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind == schedule::kFeed && sameSecret(node->Secret, secret)) {
            feed = node.get();
        }
    }
    if (!feed) return std::nullopt;
    const std::time_t now = datetime::now();
    const std::vector<TBoardRow> rows = zv::boardRows(parts_.stores.board());
    return calendar::feedCalendar(officeFeedName(feed->Department),
                                  officeAbsenceEvents(rows, absences(), feed->Department, now), now);
}

}  // namespace zv
