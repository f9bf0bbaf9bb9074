#include "host/calendar_absences.h"

#include <map>

#include "host/absence_rules.h"
#include "host/text_digest.h"
#include "stores/date_time.h"
#include "stores/schedule_store.h"

namespace zv {

namespace {

bool fromCalendar(const TSCHEDNode& record, const std::string& employee) {
    return record.Employee == employee && record.Kind == schedule::kAbsence &&
           record.Origin.rfind(schedule::kCalendarOrigin, 0) == 0;
}

// The fields a busy time gives an absence.
struct TFields {
    std::string From, Until, Status;
};

TFields fieldsOf(const calendar::TBusyTime& busy) {
    return {datetime::utcStampText(busy.start), datetime::utcStampText(busy.end),
            std::string(busy.outOfOffice ? kOutOfOfficeStatus : kMeetingStatus)};
}

}  // namespace

std::string calendarOrigin(const std::string& busyId) {
    return std::string(schedule::kCalendarOrigin) + hexDigest(busyId);
}

TCalendarFollowed followCalendar(TSCHEDList& schedule, const std::string& employee,
                                 const std::vector<calendar::TBusyTime>& busy, std::time_t readFrom,
                                 std::time_t now, const std::function<bool(const TSCHEDNode&)>& holdsBoard) {
    TCalendarFollowed followed;
    std::map<std::string, const calendar::TBusyTime*> wanted;
    for (const calendar::TBusyTime& b : busy) wanted.emplace(calendarOrigin(b.id), &b);

    // The calendar's absences there now: updated, or gone.
    std::vector<std::uint64_t> gone;
    for (int i = 0; i < schedule.getCount(); ++i) {
        const TSCHEDNode& record = std::as_const(schedule).getNode(i);
        if (!fromCalendar(record, employee)) continue;
        const auto found = wanted.find(record.Origin);
        if (found == wanted.end()) {
            const auto times = absenceTimes(record);
            const bool ended = times && times->until && *times->until <= now;
            const bool outsideRead = times && times->from < readFrom;
            if (record.State != schedule::kApplied && !ended && !outsideRead) gone.push_back(record.serial);
            continue;
        }
        const TFields fields = fieldsOf(*found->second);
        wanted.erase(found);
        if (record.State == schedule::kCancelled) continue;
        if (record.From == fields.From && record.Until == fields.Until && record.Status == fields.Status)
            continue;
        const bool onBoard = record.State == schedule::kApplied && holdsBoard(record);
        if (record.State == schedule::kApplied && !onBoard) continue;  // overridden: left alone
        TSCHEDNode& changed = schedule.getNode(i);
        changed.From = fields.From;
        changed.Until = fields.Until;
        changed.Status = fields.Status;
        if (changed.State == schedule::kSkipped) changed.State = std::string(schedule::kWaiting);
        if (onBoard) followed.putAgain.push_back(changed.serial);
        followed.changed = true;
    }
    if (!gone.empty()) followed.changed = schedule.deleteSerials(gone) > 0 || followed.changed;

    // The busy times that are new.
    for (const calendar::TBusyTime& b : busy) {
        const std::string origin = calendarOrigin(b.id);
        if (!wanted.count(origin)) continue;
        wanted.erase(origin);
        if (b.end <= now) continue;  // over already
        const TFields fields = fieldsOf(b);
        auto record = std::make_unique<TSCHEDNode>();
        record->Employee = employee;
        record->Kind = schedule::kAbsence;
        record->From = fields.From;
        record->Until = fields.Until;
        record->Status = fields.Status;
        record->PlannedBy = kCalendarPlanner;
        record->Origin = origin;
        schedule.addNode(std::move(record));
        followed.changed = true;
    }
    return followed;
}

bool dropCalendarAbsences(TSCHEDList& schedule, const std::string& employee) {
    std::vector<std::uint64_t> gone;
    for (const auto& node : std::as_const(schedule).records()) {
        if (fromCalendar(*node, employee) && node->State != schedule::kApplied) gone.push_back(node->serial);
    }
    return schedule.deleteSerials(gone) > 0;
}

}  // namespace zv
