#include "host/absence_rules.h"

#include <map>
#include <utility>

#include "stores/date_time.h"
#include "stores/schedule_store.h"

namespace zv {

namespace {

// Whether an absence lasting until `a` lasts at least as long as one until `b`.
bool lastsAsLong(const std::optional<std::time_t>& a, const std::optional<std::time_t>& b) {
    if (!a) return true;
    return b && *a >= *b;
}

struct TDue {
    const TSCHEDNode* record;
    TAbsenceTimes times;
};

}  // namespace

std::optional<TAbsenceTimes> absenceTimes(const TSCHEDNode& record) {
    if (record.Kind != schedule::kAbsence) return std::nullopt;
    const auto from = datetime::readUtcStamp(record.From);
    if (!from) return std::nullopt;
    TAbsenceTimes times{*from, std::nullopt};
    if (!record.Until.empty()) {
        times.until = datetime::readUtcStamp(record.Until);
        if (!times.until || *times.until < *from) return std::nullopt;
    }
    return times;
}

TScheduleWork scheduleWorkAt(const TSCHEDList& schedule, std::time_t now,
                             const std::function<bool(const TSCHEDNode& applied)>& holdsBoard) {
    TScheduleWork work;
    // Per account: the absence due now that started last, and the applied
    // absence that still holds the board and lasts longest.
    std::map<std::string, TDue> latestDue;
    std::map<std::string, TDue> holding;
    std::vector<const TSCHEDNode*> due;

    for (const auto& node : schedule.records()) {
        const TSCHEDNode& record = *node;
        const auto times = absenceTimes(record);
        if (!times) continue;  // kept as it is, touched by nothing
        if (times->until && *times->until <= now - kAbsenceKeptAfterEnd) {
            work.remove.push_back(record.serial);
            continue;
        }
        const bool ended = times->until && *times->until <= now;
        if (record.State == schedule::kWaiting) {
            if (times->from > now) {
                if (!work.nextStart || times->from < *work.nextStart) work.nextStart = times->from;
            } else if (!ended) {
                due.push_back(&record);
                auto [it, added] = latestDue.try_emplace(record.Employee, TDue{&record, *times});
                if (!added && times->from >= it->second.times.from) it->second = TDue{&record, *times};
            }
        } else if (record.State == schedule::kApplied && !ended) {
            if (!holdsBoard(record)) {
                if (!times->until) work.endOpen.push_back(record.serial);
                continue;
            }
            auto [it, added] = holding.try_emplace(record.Employee, TDue{&record, *times});
            if (!added && lastsAsLong(times->until, it->second.times.until))
                it->second = TDue{&record, *times};
        }
    }

    for (const TSCHEDNode* record : due) {
        const TDue& chosen = latestDue.at(record->Employee);
        bool apply = chosen.record == record;
        if (apply) {
            const auto held = holding.find(record->Employee);
            apply = held == holding.end() || !lastsAsLong(held->second.times.until, chosen.times.until);
        }
        (apply ? work.apply : work.skip).push_back(record->serial);
    }
    return work;
}

std::string absenceReturningText(const std::optional<std::time_t>& until) {
    if (!until) return {};
    return datetime::shortDateText(*until) + " " + datetime::longTimeText(*until);
}

}  // namespace zv
