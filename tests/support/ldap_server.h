#pragma once
// A directory server of a test's own: Debian's slapd run as a plain process
// (never the system's service) from a temporary folder, with its own
// configuration, database, certificate authority and server certificate
// (made with openssl for 127.0.0.1), listening on free ports for ldap:// and
// ldaps://. The suffix is "dc=example,dc=com"; the manager
// "cn=admin,dc=example,dc=com" with the password "secret" changes entries.

#include <memory>
#include <string>

#include "child_process.h"
#include "temp_dir.h"

namespace zv::test {

class LdapServer {
public:
    static constexpr const char* kSuffix = "dc=example,dc=com";
    static constexpr const char* kManager = "cn=admin,dc=example,dc=com";
    static constexpr const char* kManagerPassword = "secret";

    // Whether slapd, the ldap tools and openssl are there.
    static bool available();

    // Loads `ldif` (entries below the suffix; the suffix entry itself is made
    // here) and starts the server; throws when it does not answer within a
    // few seconds.
    explicit LdapServer(const std::string& ldif);
    ~LdapServer();  // stops the server

    std::string ldapUri() const;
    std::string ldapsUri() const;
    const std::string& caFile() const { return caFile_; }

    // Applies changes in LDIF (changetype lines) as the manager; throws
    // with ldapmodify's output when it fails.
    void modify(const std::string& ldif) const;
    // The server stops answering (SIGSTOP) and answers again (SIGCONT).
    void freeze();
    void thaw();
    void stop();

private:
    TempDir dir_;
    std::string caFile_;
    int ldapPort_ = 0;
    int ldapsPort_ = 0;
    std::unique_ptr<ChildProcess> slapd_;
};

}  // namespace zv::test
