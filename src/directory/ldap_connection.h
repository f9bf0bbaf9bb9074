#pragma once
// TLdapConnection: one session with the directory through OpenLDAP's client
// library, opened, encrypted (ldaps:// or StartTLS, the certificate checked
// against the CA file) and bound with the search account on construction,
// unbound and freed on destruction. Every wait (connecting, the TLS
// handshake, each answer) is bounded by the configured time-out. Blocking:
// used on the directory's worker thread only. Owns its LDAP handle.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "directory/directory_config.h"

typedef struct ldap LDAP;

namespace zv {

// The directory could not be reached or answered with an error; the text
// says what was asked, of which server, and the library's reason.
class TDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One entry of a search: its distinguished name and the values of the
// attributes asked for (names in lower case).
struct TLdapEntry {
    std::string dn;
    std::map<std::string, std::vector<std::string>> attributes;

    // The first value of `attribute` (any case), empty when it has none.
    std::string first(const std::string& attribute) const;
    const std::vector<std::string>* values(const std::string& attribute) const;
};

class TLdapConnection {
public:
    // Throws TDirectoryError when the directory cannot be reached, the
    // encryption fails or the search account is refused.
    explicit TLdapConnection(const TDirectoryConfig& config);
    ~TLdapConnection();
    TLdapConnection(const TLdapConnection&) = delete;
    TLdapConnection& operator=(const TLdapConnection&) = delete;

    enum class Scope { Base, Subtree };
    // At most `sizeLimit` entries (0: the server's limit); reaching the limit
    // is no error, the entries found are returned. A base that does not
    // exist finds nothing.
    std::vector<TLdapEntry> search(const std::string& base, Scope scope, const std::string& filter,
                                   const std::vector<std::string>& attributes, int sizeLimit = 0);

    // Binds as `dn` with `password`: false when the directory refuses the
    // credentials. An empty password is refused here, never sent (a simple
    // bind without one is anonymous and would succeed). From here on the
    // session acts as that person.
    bool bindAs(const std::string& dn, const std::string& password);

private:
    [[noreturn]] void fail(const std::string& what, int code) const;
    void simpleBind(const std::string& dn, const std::string& password, int& code);

    struct Unbind {
        void operator()(LDAP* ld) const;
    };

    const TDirectoryConfig config_;
    // A member, so that a constructor that throws frees it too.
    std::unique_ptr<LDAP, Unbind> ld_;
};

}  // namespace zv
