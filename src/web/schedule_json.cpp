#include "web/schedule_json.h"

#include <nlohmann/json.hpp>

#include "host/record_fields.h"
#include "web/field_input.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr TTextField kStatus{"status", "Status", slotWidth<TSCHEDNode>("Status")};
constexpr TTextField kReachedAt{"reachedAt", "Reached at", slotWidth<TSCHEDNode>("ReachedAt")};
constexpr TTextField kComments{"comments", "Comments", slotWidth<TSCHEDNode>("Comments")};

// The last second a UTC stamp can hold (9999-12-31 23:59:59).
constexpr long long kLatestMoment = 253402300799LL;

std::time_t momentOf(const json& value, const char* name) {
    if (value.is_number_integer() && value.get<long long>() >= 0 && value.get<long long>() <= kLatestMoment) {
        return static_cast<std::time_t>(value.get<long long>());
    }
    throw TInputError(name,
                      std::string("The field \"") + name + "\" must be a moment: whole seconds since 1970.");
}

}  // namespace

void readAbsencePlan(const json& body, TAbsencePlan& plan) {
    const auto from = body.find("from");
    if (from == body.end()) throw TInputError("from", "The field \"from\" is missing.");
    plan.from = momentOf(*from, "from");
    const auto until = body.find("until");
    if (until != body.end() && !until->is_null()) plan.until = momentOf(*until, "until");
    plan.Status = recordText(body, kStatus, Need::NotEmpty);
    plan.ReachedAt = recordText(body, kReachedAt);
    plan.Comments = recordText(body, kComments);
}

json absenceJson(const TAbsenceShown& absence) {
    return {{"id", absence.id},
            {"employee", shownText(absence.employee)},
            {"from", static_cast<long long>(absence.from)},
            {"until", absence.until ? json(static_cast<long long>(*absence.until)) : json(nullptr)},
            {"status", shownText(absence.Status)},
            {"reachedAt", shownText(absence.ReachedAt)},
            {"comments", shownText(absence.Comments)},
            {"plannedBy", shownText(absence.PlannedBy)},
            {"fromCalendar", absence.fromCalendar},
            {"applied", absence.applied}};
}

json absenceInputWidths() { return inputWidths({kStatus, kReachedAt, kComments}); }

}  // namespace zv::web
