#pragma once
// Where the directory is and how its people are read: the [Directory]
// settings as the client uses them. Texts are UTF-8, as the directory's.

#include <string>

namespace zv {

struct TDirectoryConfig {
    // "ldap://host[:port]" or "ldaps://host[:port]" (several, separated by
    // blanks, are tried in turn).
    std::string uri;
    bool startTls = false;  // ldap:// only: the session is encrypted before anything is sent
    std::string caFile;     // PEM certificates that sign the directory's; empty: the system's
    // The account that searches (empty: anonymous) and its password.
    std::string bindDn;
    std::string bindPassword;
    std::string base;  // where people are searched for
    // Finds a person by the name they type: "%s" stands for the name,
    // escaped (RFC 4515) before it is put in.
    std::string filter = "(&(objectClass=inetOrgPerson)(uid=%s))";
    // The attribute holding the name a person signs in with; the sync's
    // identity of a person.
    std::string loginAttribute = "uid";
    std::string lastNameAttribute = "sn";
    std::string firstNameAttribute = "givenName";
    std::string departmentAttribute = "departmentNumber";
    std::string emailAttribute = "mail";
    std::string workPhoneAttribute = "telephoneNumber";
    std::string cellPhoneAttribute = "mobile";
    std::string homePhoneAttribute = "homePhone";
    std::string pagerAttribute = "pager";
    // Distinguished names of groups (groupOfNames, groupOfUniqueNames,
    // posixGroup or Active Directory's group; members named directly): the
    // people who get accounts, the administrators, the front desk.
    std::string group;
    std::string adminGroup;
    std::string frontDeskGroup;
    int timeoutSeconds = 10;  // for connecting and for each answer

    bool configured() const { return !uri.empty(); }
};

}  // namespace zv
