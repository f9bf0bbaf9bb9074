#include "directory/directory_config.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "directory/directory_problems.h"

namespace zv {

std::vector<std::string> directoryConfigProblems(const TDirectoryConfig& config) {
    std::vector<std::string> problems;
    if (!config.configured()) return problems;
    std::istringstream uris(config.uri);
    bool anyLdaps = false;
    for (std::string uri; uris >> uri;) {
        const bool ldaps = uri.rfind("ldaps://", 0) == 0;
        anyLdaps = anyLdaps || ldaps;
        if (!ldaps && uri.rfind("ldap://", 0) != 0)
            problems.push_back("URI \"" + uri + "\" is neither ldap://... nor ldaps://...");
    }
    if (config.startTls && anyLdaps)
        problems.push_back("StartTLS is for ldap://; an ldaps:// URI is encrypted already");
    if (config.base.empty()) problems.push_back("Base is empty: there is nowhere to look for people");
    if (config.filter.find("%s") == std::string::npos)
        problems.push_back("Filter \"" + config.filter + "\" has no %s for the name typed");
    if (config.loginAttribute.empty()) problems.push_back("LoginAttribute is empty");
    if (!config.caFile.empty() && ::access(config.caFile.c_str(), R_OK) != 0)
        problems.push_back("CAFile \"" + config.caFile + "\" cannot be read: " + std::strerror(errno));
    if (config.bindDn.empty() != config.bindPassword.empty())
        problems.push_back("BindDN and BindPassword go together; only one is set");
    return problems;
}

}  // namespace zv
