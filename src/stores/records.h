#pragma once
// The record types the server keeps: the six of the clients' data files and
// the schedule's. Each is a plain set of 8-bit text
// fields in a fixed order (field 1 first); record_layout.h gives their slots in
// the data files. `serial` identifies a record once it has entered a store.

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// Employee board entry; `Employee` ("Last,First") is the key.
struct TWIWONode {
    std::string Employee, LastName, FirstName, Password, Department, WorkPhone,
        Extension, Status, Returning, ReachedAt, Comments, EMail, EMailNotify,
        HomePhone, CarPhone, Pager, Other, StatusChanged, LastContact, EmergName,
        EmergPhone, EmergRelation;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// Memo addressed to `Recipient`.
struct TPOSTINode {
    std::string Recipient, ClientText2, Date, Time, ClientText5, ClientText6;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// "While You Were Out" message addressed to `Recipient`.
struct TWYWONode {
    std::string Recipient, TakenBy, Date, Time, Caller, Company, Phone, Regarding,
        Called, ReturnedCall, WasHere, WantsToSee, Urgent, Comments;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// Department name.
struct TDEPTNode {
    std::string Name;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// Phonebook entry; `Caller` is the sort key.
struct TPHONENode {
    std::string Caller, Company, PhoneNumber;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// Status change log entry.
struct TLOGNode {
    std::string Employee, Department, Date, Time, Status, Returning, ReachedAt,
        Comments;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// The link between a board account and the person of the directory it was
// made for (a record of "directory.dat", kept by the directory sync);
// `Person` (the person's sign-in name in the directory) is the key.
// `Left` is empty while the person is in the directory's group, else the
// date-time text of the sync that found them gone.
struct TDIRNode {
    std::string Person, Employee, Left;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// A record of the schedule ("schedule.dat"); `Kind` says which of four it is.
// Moments are UTC texts "yyyy-mm-ddThh:mm:ssZ" (datetime::utcStampText).
// - "Absence": an absence of `Employee` planned ahead, by hand or read from
//   the account's calendar: From and Until (Until empty: until further
//   notice), the Status, ReachedAt and Comments it puts on the board,
//   PlannedBy (who planned it), Origin (empty when planned by hand,
//   "calendar:<digest of the event>" when read from a calendar) and State
//   (empty while it waits for its start; "Applied", "Skipped" when an
//   absence that lasts longer held the board at its start, "Cancelled" for
//   a calendar's event cancelled by hand).
// - "Calendar": the address of `Employee`'s calendar (Address), when it
//   was last read (From) and why its last fetch failed (Note; empty when it
//   did not).
// - "Feed": the secret (Secret) of the office's calendar of absences
//   (Department empty) or of one department's.
// - "Display": a lobby display named `Note` at the address of its Secret,
//   showing the departments listed in Address (one per line; none: every
//   one) and, as Origin lists them (blank-separated), "phones" and
//   "comments".
struct TSCHEDNode {
    std::string Employee, Kind, From, Until, Status, ReachedAt, Comments, PlannedBy, Origin, State,
        Department, Address, Secret, Note;
    std::uint64_t serial = 0;

    void setFromString(std::string_view recordString);
    std::string toRecordString() const;
};

// A new identity for a record entering a store; unique within the process.
std::uint64_t nextRecordSerial();

}  // namespace zv
