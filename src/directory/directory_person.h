#pragma once
// A person as the directory describes them, and what the client's checks
// and searches give back. Texts are UTF-8, as the directory's.

#include <string>
#include <vector>

namespace zv {

struct TDirectoryPerson {
    std::string dn;
    std::string login;  // the value of the login attribute
    std::string lastName, firstName, department, email, workPhone, cellPhone, homePhone, pager;
    // The configured groups the person is a direct member of (their
    // distinguished names as the settings give them), and what they make of
    // the person.
    std::vector<std::string> groups;
    bool inGroup = false;  // of [Directory] Group: the people with accounts
    bool administrator = false;
    bool frontDesk = false;
};

// The answer to a sign-in with a directory password.
struct TDirectorySignIn {
    enum class Outcome {
        Accepted,       // the directory took the password; `person` is filled
        Refused,        // a wrong (or empty) password, or a name that fits several people
        UnknownName,    // nobody of that name
        Unavailable,    // the directory could not be asked; `why` says what failed
        NotConfigured,  // no directory set
    };
    Outcome outcome = Outcome::NotConfigured;
    std::string why;  // for the administrator's record and the sign-in page
    TDirectoryPerson person;
};

// What a name finds (the administration's "Test"): the people found, or why
// nothing could be asked.
struct TDirectoryLookup {
    bool reached = false;  // connected, encrypted and bound with the search account
    std::string why;       // when not reached
    std::vector<TDirectoryPerson> people;
};

// The people of [Directory] Group, for the sync.
struct TDirectoryPeople {
    bool reached = false;
    std::string why;
    std::vector<TDirectoryPerson> people;
    // Members that could not be read as people (a distinguished name that
    // leads nowhere, an entry without the login attribute), one line each.
    std::vector<std::string> skipped;
};

}  // namespace zv
