// The maintenance API's operations on the planned absences: plan, cancel,
// list, and the next absence of each account beside its board row. Each
// reads "check, change, save or undo, record" in that order; the keeper
// (absence_keeper.h) puts them on the board at their start.

#include <algorithm>
#include <map>
#include <tuple>

#include "host/absence_board.h"
#include "host/absence_keeper.h"
#include "host/absence_rules.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/operation_support.h"
#include "host/server_parts.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

// Whether an absence is listed: not ended, neither cancelled nor skipped,
// and when applied still on the board (an overridden one is over).
std::optional<TAbsenceTimes> listedTimes(const TSCHEDNode& record, const TWIWOList& board, std::time_t now) {
    const auto times = absenceTimes(record);
    if (!times || (times->until && *times->until <= now)) return std::nullopt;
    if (record.State == schedule::kWaiting) return times;
    if (record.State == schedule::kApplied && absenceHoldsBoard(board, record)) return times;
    return std::nullopt;
}

std::string momentsText(const TAbsencePlan& plan) {
    return "from " + datetime::utcStampText(plan.from) +
           (plan.until ? " until " + datetime::utcStampText(*plan.until)
                       : std::string(" until further notice"));
}

}  // namespace

TAdminResult TMaintenanceApi::planAbsence(const TAbsencePlanner& planner, const TAbsencePlan& plan) {
    if (!planner.mayPlanFor(plan.employee)) {
        return TAdminResult::refused("employee", "You may plan absences for yourself only.");
    }
    if (std::as_const(parts_.stores.board()).findByKey(plan.employee) == nullptr) {
        return TAdminResult::gone(userGoneText(plan.employee));
    }
    if (plan.Status.empty()) return TAdminResult::refused("status", "The status of the absence is required.");
    if (plan.until && *plan.until <= plan.from) {
        return TAdminResult::refused("until", "The absence must end after it starts.");
    }
    if (plan.until && *plan.until <= datetime::now()) {
        return TAdminResult::refused("until", "The absence has already ended.");
    }
    for (const auto& [text, field, label] : {std::tuple{&plan.Status, "status", "Status"},
                                             {&plan.ReachedAt, "reachedAt", "Reached at"},
                                             {&plan.Comments, "comments", "Comments"}}) {
        if (auto unfit = unfitText(*text, field, label)) return *unfit;
    }

    TSCHEDList& schedule = parts_.stores.schedule();
    auto record = std::make_unique<TSCHEDNode>();
    record->Employee = plan.employee;
    record->Kind = schedule::kAbsence;
    record->From = datetime::utcStampText(plan.from);
    if (plan.until) record->Until = datetime::utcStampText(*plan.until);
    record->Status = plan.Status;
    record->ReachedAt = plan.ReachedAt;
    record->Comments = plan.Comments;
    record->PlannedBy = planner.name;
    const TSCHEDNode& added = schedule.addNode(std::move(record));
    const std::uint64_t id = added.serial;
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.deleteSerials({id}); });
    if (parts_.absenceKeeper) parts_.absenceKeeper->scheduleChanged();
    if (planner.ownAccount != plan.employee) {
        auditAdminChange(parts_.view, planner.name,
                         "planned an absence of " + auditQuoted(plan.employee) + " (" +
                             auditQuoted(plan.Status) + ") " + momentsText(plan));
    }
    return TAdminResult::done({}, std::to_string(id));
}

TAdminResult TMaintenanceApi::cancelAbsence(const TAbsencePlanner& planner, std::uint64_t id) {
    TSCHEDList& schedule = parts_.stores.schedule();
    int index = -1;
    for (int i = 0; i < schedule.getCount() && index < 0; ++i) {
        const TSCHEDNode& record = std::as_const(schedule).getNode(i);
        if (record.serial == id && record.Kind == schedule::kAbsence && record.State != schedule::kCancelled)
            index = i;
    }
    if (index < 0) return TAdminResult::gone("This absence is no longer planned.");
    const TSCHEDNode before = std::as_const(schedule).getNode(index);
    if (!planner.mayPlanFor(before.Employee)) {
        return TAdminResult::refused("id", "You may cancel your own absences only.");
    }
    // One read from a calendar stays, cancelled, until a day after its end,
    // so that the next reading of the calendar does not bring it back.
    const bool fromCalendar = before.Origin.rfind(schedule::kCalendarOrigin, 0) == 0;
    if (fromCalendar) {
        schedule.getNode(index).State = schedule::kCancelled;
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); },
            [&] { schedule.getNode(index).State = before.State; });
    } else {
        schedule.deleteSerials({id});
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); },
            [&] { schedule.addNode(std::make_unique<TSCHEDNode>(before)); });
    }
    if (planner.ownAccount != before.Employee) {
        auditAdminChange(parts_.view, planner.name,
                         "cancelled an absence of " + auditQuoted(before.Employee) + " (" +
                             auditQuoted(before.Status) + ") from " + before.From +
                             (before.Until.empty() ? " until further notice" : " until " + before.Until));
    }
    return TAdminResult::done();
}

std::vector<TAbsenceShown> TMaintenanceApi::absences(const std::string& employeeKey) {
    std::vector<TAbsenceShown> shown;
    if (parts_.stores.closed()) return shown;
    const TWIWOList& board = parts_.stores.board();
    const std::time_t now = datetime::now();
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        const TSCHEDNode& record = *node;
        if (!employeeKey.empty() && record.Employee != employeeKey) continue;
        const auto times = listedTimes(record, board, now);
        if (!times) continue;
        shown.push_back({record.serial, record.Employee, times->from, times->until, record.Status,
                         record.ReachedAt, record.Comments, record.PlannedBy,
                         record.Origin.rfind(schedule::kCalendarOrigin, 0) == 0,
                         record.State == schedule::kApplied});
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const TAbsenceShown& a, const TAbsenceShown& b) { return a.from < b.from; });
    return shown;
}

void TMaintenanceApi::scheduleFollowsAccount(const std::string& key,
                                             const std::optional<std::string>& newKey) {
    TSCHEDList& schedule = parts_.stores.schedule();
    std::size_t changed = 0;
    if (newKey) {
        for (int i = 0; i < schedule.getCount(); ++i) {
            if (std::as_const(schedule).getNode(i).Employee != key) continue;
            schedule.getNode(i).Employee = *newKey;
            ++changed;
        }
    } else {
        changed = schedule.deleteAllByKey(key);
    }
    if (changed == 0) return;
    try {
        parts_.stores.saveSchedule();
    } catch (const std::exception& e) {
        // The account's change is made and saved; its absences are left to
        // the next start, where those of an account that is gone go.
        parts_.view.showMessage(
            MessageKind::Warning,
            "The schedule could not follow the change of the account " + auditQuoted(key) + ": " + e.what());
    }
}

std::vector<TBoardRow> TMaintenanceApi::boardRows(TMomentCache* cache) {
    std::vector<TBoardRow> rows = zv::boardRows(parts_.stores.board(), cache);
    // Each account's first absence still to come.
    std::map<std::string, TAwayTime, std::less<>> next;
    const std::time_t now = datetime::now();
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        const TSCHEDNode& record = *node;
        if (record.State != schedule::kWaiting) continue;
        const auto times = absenceTimes(record);
        if (!times || times->from <= now) continue;
        auto [it, added] =
            next.try_emplace(record.Employee, TAwayTime{times->from, times->until, record.Status});
        if (!added && times->from < it->second.from)
            it->second = TAwayTime{times->from, times->until, record.Status};
    }
    if (next.empty()) return rows;
    for (TBoardRow& row : rows) {
        if (const auto it = next.find(row.Employee); it != next.end()) row.away = it->second;
    }
    return rows;
}

}  // namespace zv
