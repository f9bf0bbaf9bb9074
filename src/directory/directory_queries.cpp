#include "directory/directory_queries.h"

#include <algorithm>
#include <set>

#include "directory/ldap_filter.h"

namespace zv {

namespace {

using Scope = TLdapConnection::Scope;

std::vector<std::string> personAttributes(const TDirectoryConfig& c) {
    std::vector<std::string> names;
    for (const std::string* name : {&c.loginAttribute, &c.lastNameAttribute, &c.firstNameAttribute,
                                    &c.departmentAttribute, &c.emailAttribute, &c.workPhoneAttribute,
                                    &c.cellPhoneAttribute, &c.homePhoneAttribute, &c.pagerAttribute}) {
        if (!name->empty()) names.push_back(*name);
    }
    return names;
}

// The value of a configured attribute; nothing read for one left empty.
std::string valueOf(const TLdapEntry& entry, const std::string& attribute) {
    return attribute.empty() ? std::string() : entry.first(attribute);
}

TDirectoryPerson personOf(const TDirectoryConfig& c, const TLdapEntry& entry) {
    TDirectoryPerson person;
    person.dn = entry.dn;
    person.login = valueOf(entry, c.loginAttribute);
    person.lastName = valueOf(entry, c.lastNameAttribute);
    person.firstName = valueOf(entry, c.firstNameAttribute);
    person.department = valueOf(entry, c.departmentAttribute);
    person.email = valueOf(entry, c.emailAttribute);
    person.workPhone = valueOf(entry, c.workPhoneAttribute);
    person.cellPhone = valueOf(entry, c.cellPhoneAttribute);
    person.homePhone = valueOf(entry, c.homePhoneAttribute);
    person.pager = valueOf(entry, c.pagerAttribute);
    return person;
}

// Whether the group at `groupDn` names the person directly, by
// distinguished name (member, uniqueMember) or by name (memberUid). The
// directory compares, so that names written differently still match.
bool isDirectMember(TLdapConnection& connection, const std::string& groupDn, const TDirectoryPerson& person) {
    const std::string dn = escapeFilterValue(person.dn);
    std::string filter = "(|(member=" + dn + ")(uniqueMember=" + dn + ")";
    if (!person.login.empty()) filter += "(memberUid=" + escapeFilterValue(person.login) + ")";
    filter += ")";
    return !connection.search(groupDn, Scope::Base, filter, {"1.1"}, 1).empty();
}

void readGroupsOf(TLdapConnection& connection, const TDirectoryConfig& c, TDirectoryPerson& person) {
    const struct {
        const std::string& dn;
        bool TDirectoryPerson::*flag;
    } groups[] = {{c.group, &TDirectoryPerson::inGroup},
                  {c.adminGroup, &TDirectoryPerson::administrator},
                  {c.frontDeskGroup, &TDirectoryPerson::frontDesk}};
    for (const auto& group : groups) {
        if (group.dn.empty() || !isDirectMember(connection, group.dn, person)) continue;
        person.*group.flag = true;
        if (std::find(person.groups.begin(), person.groups.end(), group.dn) == person.groups.end())
            person.groups.push_back(group.dn);
    }
}

}  // namespace

std::vector<TDirectoryPerson> findPeople(TLdapConnection& connection, const TDirectoryConfig& config,
                                         const std::string& name, int limit) {
    std::vector<TDirectoryPerson> people;
    for (const TLdapEntry& entry : connection.search(
             config.base, Scope::Subtree, fillFilter(config.filter, name), personAttributes(config), limit)) {
        people.push_back(personOf(config, entry));
        readGroupsOf(connection, config, people.back());
    }
    return people;
}

TDirectorySignIn checkDirectoryPassword(const TDirectoryConfig& config, const std::string& name,
                                        const std::string& password) {
    TDirectorySignIn answer;
    if (!config.configured()) return answer;
    if (name.empty()) {
        answer.outcome = TDirectorySignIn::Outcome::UnknownName;
        return answer;
    }
    try {
        TLdapConnection connection(config);
        std::vector<TDirectoryPerson> people = findPeople(connection, config, name, 2);
        if (people.empty()) {
            answer.outcome = TDirectorySignIn::Outcome::UnknownName;
            return answer;
        }
        if (people.size() > 1) {
            answer.outcome = TDirectorySignIn::Outcome::Refused;
            answer.why = "the name \"" + name + "\" fits more than one person of the directory";
            return answer;
        }
        answer.person = std::move(people.front());
        const bool accepted = connection.bindAs(answer.person.dn, password);
        answer.outcome = accepted ? TDirectorySignIn::Outcome::Accepted : TDirectorySignIn::Outcome::Refused;
        if (!accepted)
            answer.why = password.empty() ? "no password given" : "the directory refused the password";
    } catch (const TDirectoryError& e) {
        answer.outcome = TDirectorySignIn::Outcome::Unavailable;
        answer.why = e.what();
    }
    return answer;
}

TDirectoryLookup lookUpName(const TDirectoryConfig& config, const std::string& name) {
    TDirectoryLookup lookup;
    if (!config.configured()) {
        lookup.why = "no directory is set ([Directory] URI is empty)";
        return lookup;
    }
    try {
        TLdapConnection connection(config);
        lookup.reached = true;
        if (!name.empty()) lookup.people = findPeople(connection, config, name, 10);
    } catch (const TDirectoryError& e) {
        lookup.reached = false;
        lookup.why = e.what();
    }
    return lookup;
}

TDirectoryPeople readGroupPeople(const TDirectoryConfig& config) {
    TDirectoryPeople out;
    if (!config.configured() || config.group.empty()) {
        out.why = config.configured() ? "no group is set ([Directory] Group is empty)"
                                      : "no directory is set ([Directory] URI is empty)";
        return out;
    }
    try {
        TLdapConnection connection(config);
        const std::vector<TLdapEntry> groups = connection.search(config.group, Scope::Base, "(objectClass=*)",
                                                                 {"member", "uniqueMember", "memberUid"}, 1);
        if (groups.empty()) {
            out.why = "the group \"" + config.group + "\" is not in the directory";
            return out;
        }
        const std::vector<std::string> attributes = personAttributes(config);
        std::set<std::string> seen;  // by login: a person named twice counts once
        const auto take = [&](const TLdapEntry& entry, const std::string& member) {
            TDirectoryPerson person = personOf(config, entry);
            if (person.login.empty()) {
                out.skipped.push_back(member + ": no " + config.loginAttribute);
                return;
            }
            person.inGroup = true;
            person.groups.push_back(config.group);
            if (seen.insert(person.login).second) out.people.push_back(std::move(person));
        };
        for (const char* attribute : {"member", "uniqueMember"}) {
            const auto* dns = groups.front().values(attribute);
            for (const std::string& dn : dns ? *dns : std::vector<std::string>{}) {
                const std::vector<TLdapEntry> found =
                    connection.search(dn, Scope::Base, "(objectClass=*)", attributes, 1);
                if (found.empty())
                    out.skipped.push_back(dn + ": not in the directory");
                else
                    take(found.front(), dn);
            }
        }
        const auto* names = groups.front().values("memberUid");
        for (const std::string& name : names ? *names : std::vector<std::string>{}) {
            const std::vector<TLdapEntry> found = connection.search(
                config.base, Scope::Subtree, fillFilter(config.filter, name), attributes, 2);
            if (found.size() != 1)
                out.skipped.push_back(
                    name + (found.empty() ? ": nobody of that name" : ": several people of that name"));
            else
                take(found.front(), name);
        }
        out.reached = true;
    } catch (const TDirectoryError& e) {
        out.reached = false;
        out.why = e.what();
        out.people.clear();
    }
    return out;
}

}  // namespace zv
