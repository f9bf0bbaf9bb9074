#include "host/office_feed.h"

#include <algorithm>
#include <map>
#include <set>

#include "host/text_digest.h"
#include "stores/code_page.h"

namespace zv {

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;

// An event's identity from what makes it that event, the same from one
// build to the next.
std::string uidOf(const std::string& kind, const std::string& what) {
    return kind + "-" + hexDigest(what) + "@zelvora";
}

std::string nameOf(const TBoardRow& row) {
    std::string name = row.FirstName;
    if (!row.LastName.empty()) name += (name.empty() ? "" : " ") + row.LastName;
    return codepage::toUtf8(name.empty() ? row.Employee : name);
}

}  // namespace

std::vector<calendar::TFeedEvent> officeAbsenceEvents(const std::vector<TBoardRow>& rows,
                                                      const std::vector<TAbsenceShown>& absences,
                                                      const std::string& department, std::time_t now) {
    std::map<std::string, const TBoardRow*> byEmployee;
    for (const TBoardRow& row : rows) {
        if (department.empty() || row.Department == department) byEmployee.emplace(row.Employee, &row);
    }
    std::vector<calendar::TFeedEvent> events;
    std::set<std::string> onBoard;  // employees whose board an absence holds
    for (const TAbsenceShown& absence : absences) {
        const auto row = byEmployee.find(absence.employee);
        if (row == byEmployee.end()) continue;
        if (absence.applied) onBoard.insert(absence.employee);
        const std::time_t end = absence.until.value_or(std::max(absence.from, now) + kDay);
        std::string summary = nameOf(*row->second) + ": " + codepage::toUtf8(absence.Status);
        if (!absence.until) summary += " (until further notice)";
        events.push_back({uidOf("absence", absence.employee + "|" + std::to_string(absence.from) + "|" +
                                               absence.Status + "|" + absence.PlannedBy),
                          absence.from, end, summary, codepage::toUtf8(absence.Comments)});
    }
    for (const auto& [employee, row] : byEmployee) {
        if (row->Status != "Out" || !row->returnsAt || onBoard.count(employee)) continue;
        const std::time_t start = std::min(row->statusSince.value_or(now), now);
        if (*row->returnsAt <= start) continue;
        events.push_back({uidOf("out", employee + "|" + row->StatusChanged), start, *row->returnsAt,
                          nameOf(*row) + ": Out", codepage::toUtf8(row->Comments)});
    }
    std::stable_sort(
        events.begin(), events.end(),
        [](const calendar::TFeedEvent& a, const calendar::TFeedEvent& b) { return a.start < b.start; });
    return events;
}

std::string officeFeedName(const std::string& department) {
    return department.empty() ? "Zelvora board: absences"
                              : "Zelvora board: absences of " + codepage::toUtf8(department);
}

}  // namespace zv
