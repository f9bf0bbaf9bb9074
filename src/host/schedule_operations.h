#pragma once
// What the schedule's operations of the maintenance API take and give: an
// absence planned ahead, who plans or cancels it, and the absences as the
// pages list them. Texts are record bytes (the clients' code page).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace zv {

// Who plans or cancels absences, and for whom they may. An employee plans
// for their own account; the administrator for any. (A front-desk account
// is an employee who may plan for anyone.)
struct TAbsencePlanner {
    std::string name;        // as the schedule and the record lines name them
    std::string ownAccount;  // the planner's own account; empty for the administrator
    bool forAnyone = false;  // may plan and cancel for every account

    static TAbsencePlanner employee(const std::string& key) { return {key, key, false}; }
    static TAbsencePlanner administrator(const std::string& who) { return {who, {}, true}; }
    bool mayPlanFor(const std::string& account) const { return forAnyone || account == ownAccount; }
};

// An absence to plan: from and until (none: until further notice) as
// seconds since 1970, and what it puts on the board.
struct TAbsencePlan {
    std::string employee;
    std::time_t from = 0;
    std::optional<std::time_t> until;
    std::string Status, ReachedAt, Comments;
};

// An absence as the pages list it; `id` names it for a cancel (its identity
// since the schedule was loaded).
struct TAbsenceShown {
    std::uint64_t id = 0;
    std::string employee;
    std::time_t from = 0;
    std::optional<std::time_t> until;
    std::string Status, ReachedAt, Comments, PlannedBy;
    bool fromCalendar = false;
    bool applied = false;  // on the board now
};

// An account's calendar as the administration shows it.
struct TCalendarShown {
    std::string employee;
    std::string address;
    std::optional<std::time_t> lastRead;  // when it was last read well
    std::string note;                     // why its last fetch or reading failed; empty when it did not
    bool reading = false;                 // a fetch is under way
};

// A calendar feed of the office's absences: of one department, or (empty)
// of the whole office, at "/calendar/<secret>.ics".
struct TFeedShown {
    std::string department;
    std::string secret;
};

// A lobby display: a read-only board at "/display/<secret>" for a screen
// in the lobby. What it shows besides names and status: the departments
// (none listed: every one), the phones (with where one is reached) and the
// comments.
struct TDisplaySettings {
    std::string name;                      // as the administration lists it
    std::vector<std::string> departments;  // record bytes
    bool phones = false;
    bool comments = false;
};

// A display as the administration lists it; `id` names it for a change
// (16 hexadecimal digits of its secret's digest: the same after a restart,
// and telling nothing of the secret).
struct TDisplayShown {
    std::string id;
    std::string secret;
    TDisplaySettings settings;
};

}  // namespace zv
