// The maintenance API's operations on the accounts' calendars and the hosts
// they may be fetched from. Each reads "check, change, save or undo, record"
// in that order; the reading itself is the calendar sync's
// (calendar_sync.h).

#include "calendar/calendar_address.h"
#include "host/absence_keeper.h"
#include "host/admin_audit.h"
#include "host/calendar_absences.h"
#include "host/calendar_sync.h"
#include "host/maintenance_api.h"
#include "host/operation_support.h"
#include "host/record_fields.h"
#include "host/server_parts.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

constexpr const char* kAddressField = "address";

// The account's calendar record and its place; -1 when it has none.
int calendarIndex(const TSCHEDList& schedule, const std::string& employee) {
    for (int i = 0; i < schedule.getCount(); ++i) {
        const TSCHEDNode& record = schedule.getNode(i);
        if (record.Employee == employee && record.Kind == schedule::kCalendar) return i;
    }
    return -1;
}

}  // namespace

TAdminResult TMaintenanceApi::setCalendar(const std::string& who, const std::string& employee,
                                          const std::string& address) {
    if (std::as_const(parts_.stores.board()).findByKey(employee) == nullptr) {
        return TAdminResult::gone(userGoneText(employee));
    }
    const std::string kept = calendar::keptAddress(address);
    if (!kept.empty()) {
        if (std::string why = calendar::addressRefusal(kept, nullptr); !why.empty()) {
            return TAdminResult::refused(kAddressField,
                                         "The calendar's address cannot be used: " + why + ".");
        }
        if (kept.size() > longestText(slotWidth<TSCHEDNode>("Address"))) {
            return TAdminResult::refused(kAddressField,
                                         "The calendar's address is longer than " +
                                             std::to_string(longestText(slotWidth<TSCHEDNode>("Address"))) +
                                             " characters.");
        }
        if (auto unfit = unfitText(kept, kAddressField, "Calendar address")) return *unfit;
    }

    TSCHEDList& schedule = parts_.stores.schedule();
    const int index = calendarIndex(schedule, employee);
    if (kept.empty()) {
        if (index < 0) return TAdminResult::done();
        const TSCHEDNode before = std::as_const(schedule).getNode(index);
        schedule.deleteSerials({before.serial});
        dropCalendarAbsences(schedule, employee);
        // Undone, the calendar is back; the absences it gave come back with
        // its next reading.
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); },
            [&] { schedule.addNode(std::make_unique<TSCHEDNode>(before)); });
        if (parts_.absenceKeeper) parts_.absenceKeeper->scheduleChanged();
        auditAdminChange(parts_.view, who, "took the calendar of " + auditQuoted(employee) + " away");
        return TAdminResult::done();
    }
    if (index >= 0 && std::as_const(schedule).getNode(index).Address == kept) return TAdminResult::done();
    if (index >= 0) {
        TSCHEDNode& record = schedule.getNode(index);
        const TSCHEDNode before = record;
        record.Address = kept;
        record.Note.clear();
        record.From.clear();
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.getNode(index) = before; });
    } else {
        auto record = std::make_unique<TSCHEDNode>();
        record->Employee = employee;
        record->Kind = schedule::kCalendar;
        record->Address = kept;
        const std::uint64_t serial = schedule.addNode(std::move(record)).serial;
        saveOrUndo(
            Saving::Now, [&] { parts_.stores.saveSchedule(); }, [&] { schedule.deleteSerials({serial}); });
    }
    // The address's path is often its secret: the record line names the host.
    auditAdminChange(parts_.view, who,
                     "set the calendar of " + auditQuoted(employee) + " to one at " + calendar::hostOf(kept));
    if (parts_.calendarSync) parts_.calendarSync->fetchSoon(employee);
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::readCalendarsNow(const std::string& employee) {
    const std::size_t asked = parts_.calendarSync ? parts_.calendarSync->fetchSoon(employee) : 0;
    if (asked == 0 && !employee.empty()) {
        return TAdminResult::gone(auditQuoted(employee) + " has no calendar.");
    }
    return TAdminResult::done(std::to_string(asked) + (asked == 1 ? " calendar is" : " calendars are") +
                              " being read.");
}

std::vector<TCalendarShown> TMaintenanceApi::calendars() {
    std::vector<TCalendarShown> shown;
    if (parts_.stores.closed()) return shown;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind != schedule::kCalendar) continue;
        shown.push_back({node->Employee, node->Address, datetime::readUtcStamp(node->From), node->Note,
                         parts_.calendarSync && parts_.calendarSync->fetching(node->Employee)});
    }
    return shown;
}

TAdminResult TMaintenanceApi::changeCalendarHosts(const std::string& who, const std::string& allowedHosts) {
    if (std::string why = calendar::allowedHostsRefusal(allowedHosts); !why.empty()) {
        return TAdminResult::refused("allowedHosts", why);
    }
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    settings.CalendarAllowedHosts = keptSettingText(allowedHosts);
    if (settings.CalendarAllowedHosts == before.CalendarAllowedHosts) return TAdminResult::done();
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        throw;
    }
    auditAdminChange(parts_.view, who,
                     "set [Calendars] AllowedHosts to " + auditQuoted(settings.CalendarAllowedHosts));
    if (parts_.calendarSync) parts_.calendarSync->fetchSoon("");
    return TAdminResult::done();
}

}  // namespace zv
