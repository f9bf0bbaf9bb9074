#pragma once
// Which calendar addresses the server fetches: http or https only, and only
// from hosts the administrator allowed ([Calendars] AllowedHosts: host names
// or addresses, "*.example.com" for every host below example.com, separated
// by commas or blanks).

#include <string>
#include <string_view>
#include <vector>

namespace zv::calendar {

// The allowed hosts of the setting, lower case.
std::vector<std::string> allowedHostList(std::string_view setting);

// Why the setting cannot be one (an entry that is no host name or
// address); empty when it can.
std::string allowedHostsRefusal(std::string_view setting);

// The address as the server keeps it: blanks trimmed, and the webcal:// and
// webcals:// of calendar links read as the https:// they stand for.
std::string keptAddress(std::string_view address);

// Why the server does not fetch `address` (not http or https, no host, or a
// host not allowed); empty when it does. With no list given, only the
// address itself is looked at.
std::string addressRefusal(const std::string& address, const std::vector<std::string>* allowedHosts);

// The host of an address (for messages that must not show the address's
// secret path); the address itself when it has none.
std::string hostOf(const std::string& address);

}  // namespace zv::calendar
