#pragma once
// The directory sync's change of the board: the people of the directory's
// group made into accounts (or taken over, when an account of their key is
// there and belongs to nobody else), their names, department, e-mail and
// phones kept as the directory has them, and the accounts whose person left
// the group marked in "directory.dat" for the administrator, never deleted.
// Every change goes through the host's operations, as an administrator's
// does, and is recorded in one line naming the sync.
//
// The board's key rules hold: the key is last name, ",", first name, in the
// clients' code page; a person whose name cannot make a key (a character the
// code page lacks, a comma in the last name, a name too long for its field,
// a key another person has) is reported and left out, not guessed. A value
// the directory does not give leaves the board's field as it is. Main
// thread, inside a step.

#include <ctime>
#include <string>
#include <vector>

#include "directory/directory_person.h"

namespace zv {

class TDIRList;
class TMaintenanceApi;

// Who the sync is in the record lines.
inline constexpr const char* kDirectorySync = "the directory sync";

struct TDirectorySyncReport {
    std::time_t at = 0;
    bool reached = false;
    std::string why;  // when the directory could not be read
    int people = 0, created = 0, changed = 0, markedLeft = 0, back = 0;
    // People left out and fields left as they were, one line each (UTF-8).
    std::vector<std::string> problems;

    // "50 people: 3 accounts created, 2 changed, 1 marked as left, ..."
    std::string summary() const;
};

// An account whose person left the directory's group.
struct TDirectoryLeaver {
    std::string employee;  // the board key (record bytes)
    std::string person;    // the sign-in name in the directory
    std::string since;     // date-time text of the sync that found them gone
};

// What the sync makes of a person (the administration's "Test"): their board
// key (record bytes), empty when their name cannot be one; `problems` says
// why, and which of their fields the board cannot hold.
std::string directoryBoardKey(const TDirectoryPerson& person, std::vector<std::string>& problems);

// Applies the group's people to the board and the links; saves the links.
// `skipped` are the group's members that were no people, reported as such.
TDirectorySyncReport applyDirectoryPeople(TMaintenanceApi& api, TDIRList& links,
                                          const std::vector<TDirectoryPerson>& people,
                                          const std::vector<std::string>& skipped);

// The accounts marked as left that are still on the board, in key order of
// the person.
std::vector<TDirectoryLeaver> directoryLeavers(TMaintenanceApi& api, const TDIRList& links);

}  // namespace zv
