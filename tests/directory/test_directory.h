#pragma once
// The office directory the tests load into their slapd: 50 people in five
// departments, all in the group "staff", the first an administrator and the
// second at the front desk; and one more member of "staff" whose name the
// board's code page cannot hold.

#include <string>

#include "directory/directory_config.h"
#include "ldap_server.h"

namespace zv::test {

inline constexpr int kPeople = 50;
inline constexpr const char* kDepartments[] = {"Sales", "Support", "Finance", "Engineering", "Reception"};

inline std::string twoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
inline std::string loginOf(int n) { return "p" + twoDigits(n); }
inline std::string lastNameOf(int n) { return "Person" + twoDigits(n); }
inline std::string firstNameOf(int n) { return n % 2 ? "Ann" : "Bob"; }
inline std::string passwordOf(int n) { return "pw-" + loginOf(n) + "-secret"; }
inline std::string departmentOf(int n) { return kDepartments[n % 5]; }
inline std::string dnOf(const std::string& login) { return "uid=" + login + ",ou=people,dc=example,dc=com"; }
inline std::string groupDn(const std::string& cn) { return "cn=" + cn + ",ou=groups,dc=example,dc=com"; }

inline std::string personLdif(const std::string& login, const std::string& sn, const std::string& given,
                              const std::string& department, const std::string& password) {
    return "dn: " + dnOf(login) + "\nobjectClass: inetOrgPerson\nuid: " + login + "\ncn: " + given + " " +
           sn + "\nsn: " + sn + "\ngivenName: " + given + "\ndepartmentNumber: " + department +
           "\nmail: " + login + "@example.com\ntelephoneNumber: +1 555 01" + login.substr(1) +
           "\nmobile: +1 555 02" + login.substr(1) + "\nuserPassword: " + password + "\n\n";
}

// The whole directory as LDIF.
inline std::string officeLdif() {
    std::string ldif =
        "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
        "dn: ou=groups,dc=example,dc=com\nobjectClass: organizationalUnit\nou: groups\n\n"
        "dn: cn=reader,dc=example,dc=com\nobjectClass: organizationalRole\nobjectClass: "
        "simpleSecurityObject\n"
        "cn: reader\nuserPassword: reader-secret\n\n";
    std::string staff = "dn: " + groupDn("staff") + "\nobjectClass: groupOfNames\ncn: staff\n";
    for (int n = 1; n <= kPeople; ++n) {
        ldif += personLdif(loginOf(n), lastNameOf(n), firstNameOf(n), departmentOf(n), passwordOf(n));
        staff += "member: " + dnOf(loginOf(n)) + "\n";
    }
    // U+738B: no character of the board's code page.
    ldif += personLdif("wang", "\xE7\x8E\x8B", "Wei", "Sales", "pw-wang");
    staff += "member: " + dnOf("wang") + "\n";
    ldif += staff + "\n";
    ldif += "dn: " + groupDn("admins") +
            "\nobjectClass: groupOfNames\ncn: admins\nmember: " + dnOf(loginOf(1)) + "\n\n";
    ldif += "dn: " + groupDn("desk") + "\nobjectClass: groupOfNames\ncn: desk\nmember: " + dnOf(loginOf(2)) +
            "\n\n";
    return ldif;
}

// The settings that read it over ldaps, with the test's CA.
inline TDirectoryConfig officeConfig(const LdapServer& server) {
    TDirectoryConfig config;
    config.uri = server.ldapsUri();
    config.caFile = server.caFile();
    config.bindDn = "cn=reader,dc=example,dc=com";
    config.bindPassword = "reader-secret";
    config.base = "ou=people,dc=example,dc=com";
    config.group = groupDn("staff");
    config.adminGroup = groupDn("admins");
    config.frontDeskGroup = groupDn("desk");
    config.timeoutSeconds = 2;
    return config;
}

}  // namespace zv::test
