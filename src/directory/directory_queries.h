#pragma once
// The questions the server asks the directory, each over one open
// connection: find a person by the name they type, check their password,
// tell their groups, list the people of the sync's group. Blocking: the
// directory's worker thread only.

#include <string>

#include "directory/directory_config.h"
#include "directory/directory_person.h"
#include "directory/ldap_connection.h"

namespace zv {

// Every person the filter finds for `name` (at most `limit`), with their
// groups. Throws TDirectoryError.
std::vector<TDirectoryPerson> findPeople(TLdapConnection& connection, const TDirectoryConfig& config,
                                         const std::string& name, int limit);

// The whole sign-in: connect, find exactly one person, read their groups,
// bind as them. Never throws: a directory that fails is Unavailable.
TDirectorySignIn checkDirectoryPassword(const TDirectoryConfig& config, const std::string& name,
                                        const std::string& password);

// What `name` finds (an empty name: only the connection is tried).
TDirectoryLookup lookUpName(const TDirectoryConfig& config, const std::string& name);

// The direct members of [Directory] Group that are people. Never throws.
TDirectoryPeople readGroupPeople(const TDirectoryConfig& config);

}  // namespace zv
