#include "directory/ldap_connection.h"

#include <ldap.h>
#include <sys/time.h>

#include <algorithm>
#include <cctype>

namespace zv {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The parts of a message the library keeps for a failed call.
std::string diagnostic(LDAP* ld) {
    char* text = nullptr;
    if (ld == nullptr || ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) != LDAP_OPT_SUCCESS || !text)
        return {};
    std::string out = text;
    ldap_memfree(text);
    return out;
}

}  // namespace

const std::vector<std::string>* TLdapEntry::values(const std::string& attribute) const {
    const auto found = attributes.find(lowered(attribute));
    return found == attributes.end() ? nullptr : &found->second;
}

std::string TLdapEntry::first(const std::string& attribute) const {
    const auto* all = values(attribute);
    return all && !all->empty() ? all->front() : std::string();
}

void TLdapConnection::Unbind::operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }

TLdapConnection::TLdapConnection(const TDirectoryConfig& config) : config_(config) {
    LDAP* handle = nullptr;
    int code = ldap_initialize(&handle, config_.uri.c_str());
    ld_.reset(handle);
    if (code != LDAP_SUCCESS) fail("cannot use the URI", code);
    LDAP* ld = ld_.get();
    const int version = LDAP_VERSION3;
    const timeval timeout{config_.timeoutSeconds, 0};
    // The library's own defaults follow the calls below; a setting that does
    // not take would leave a wait unbounded or a certificate unchecked.
    const int require = LDAP_OPT_X_TLS_DEMAND;
    const int newContext = 0;
    if ((code = ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version)) != LDAP_OPT_SUCCESS ||
        (code = ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF)) != LDAP_OPT_SUCCESS ||
        // Connecting without blocking makes the library wait for the TLS
        // handshake in poll() with the network time-out, not in a read
        // that a silent server never ends.
        (code = ldap_set_option(ld, LDAP_OPT_CONNECT_ASYNC, LDAP_OPT_ON)) != LDAP_OPT_SUCCESS ||
        (code = ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout)) != LDAP_OPT_SUCCESS ||
        (code = ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout)) != LDAP_OPT_SUCCESS ||
        (code = ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &require)) != LDAP_OPT_SUCCESS ||
        (!config_.caFile.empty() && (code = ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE,
                                                            config_.caFile.c_str())) != LDAP_OPT_SUCCESS) ||
        (code = ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &newContext)) != LDAP_OPT_SUCCESS) {
        fail("cannot set the connection's options (time-out, certificate check)", code);
    }
    if (config_.startTls && (code = ldap_start_tls_s(ld, nullptr, nullptr)) != LDAP_SUCCESS)
        fail("StartTLS failed", code);
    simpleBind(config_.bindDn, config_.bindPassword, code);
    if (code != LDAP_SUCCESS)
        fail(config_.bindDn.empty() ? "anonymous bind refused"
                                    : "the search account \"" + config_.bindDn + "\" was refused",
             code);
}

TLdapConnection::~TLdapConnection() = default;

void TLdapConnection::simpleBind(const std::string& dn, const std::string& password, int& code) {
    berval credentials{static_cast<ber_len_t>(password.size()), const_cast<char*>(password.data())};
    code = ldap_sasl_bind_s(ld_.get(), dn.empty() ? nullptr : dn.c_str(), LDAP_SASL_SIMPLE, &credentials,
                            nullptr, nullptr, nullptr);
}

bool TLdapConnection::bindAs(const std::string& dn, const std::string& password) {
    if (password.empty() || dn.empty()) return false;
    int code = LDAP_SUCCESS;
    simpleBind(dn, password, code);
    if (code == LDAP_SUCCESS) return true;
    if (code == LDAP_INVALID_CREDENTIALS || code == LDAP_INAPPROPRIATE_AUTH) return false;
    fail("the bind as \"" + dn + "\" failed", code);
}

std::vector<TLdapEntry> TLdapConnection::search(const std::string& base, Scope scope,
                                                const std::string& filter,
                                                const std::vector<std::string>& attributes, int sizeLimit) {
    std::vector<char*> names;
    for (const std::string& name : attributes) names.push_back(const_cast<char*>(name.c_str()));
    names.push_back(nullptr);
    timeval timeout{config_.timeoutSeconds, 0};
    LDAPMessage* result = nullptr;
    const int code = ldap_search_ext_s(
        ld_.get(), base.c_str(), scope == Scope::Base ? LDAP_SCOPE_BASE : LDAP_SCOPE_SUBTREE, filter.c_str(),
        names.data(), 0, nullptr, nullptr, &timeout, sizeLimit, &result);
    std::unique_ptr<LDAPMessage, int (*)(LDAPMessage*)> owned(result, ldap_msgfree);
    if (code == LDAP_NO_SUCH_OBJECT) return {};
    if (code != LDAP_SUCCESS && code != LDAP_SIZELIMIT_EXCEEDED)
        fail("the search for " + filter + " under \"" + base + "\" failed", code);
    std::vector<TLdapEntry> entries;
    for (LDAPMessage* e = ldap_first_entry(ld_.get(), result); e; e = ldap_next_entry(ld_.get(), e)) {
        TLdapEntry entry;
        if (char* dn = ldap_get_dn(ld_.get(), e)) {
            entry.dn = dn;
            ldap_memfree(dn);
        }
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld_.get(), e, &ber); name;
             name = ldap_next_attribute(ld_.get(), e, ber)) {
            std::vector<std::string>& values = entry.attributes[lowered(name)];
            if (berval** all = ldap_get_values_len(ld_.get(), e, name)) {
                for (berval** v = all; *v; ++v) values.emplace_back((*v)->bv_val, (*v)->bv_len);
                ldap_value_free_len(all);
            }
            ldap_memfree(name);
        }
        if (ber) ber_free(ber, 0);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void TLdapConnection::fail(const std::string& what, int code) const {
    std::string text = "directory " + config_.uri + ": " + what + ": " + ldap_err2string(code);
    if (const std::string more = diagnostic(ld_.get()); !more.empty()) text += " (" + more + ")";
    throw TDirectoryError(text);
}

}  // namespace zv
