#pragma once
// The planned absences as the pages send and get them: moments as seconds
// since 1970 (until: null for until further notice), texts as UTF-8 cut to
// the widths of the schedule's slots.

#include <nlohmann/json_fwd.hpp>

#include "host/schedule_operations.h"

namespace zv::web {

// "from", "until", "status", "reachedAt" and "comments" of a request into
// `plan` (the employee is the caller's); TInputError naming the field that
// cannot be taken.
void readAbsencePlan(const nlohmann::json& body, TAbsencePlan& plan);

// {"id", "employee", "from", "until", "status", "reachedAt", "comments",
// "plannedBy", "fromCalendar", "applied"}
nlohmann::json absenceJson(const TAbsenceShown& absence);

// How long the texts of the plan may be: {json name: characters}.
nlohmann::json absenceInputWidths();

}  // namespace zv::web
