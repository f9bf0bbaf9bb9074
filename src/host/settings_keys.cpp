#include "host/settings_keys.h"

#include <strings.h>

namespace zv {

namespace {

// As the settings file compares names: without regard to case.
bool sameName(std::string_view a, const char* b) {
    return a.size() == std::char_traits<char>::length(b) && ::strncasecmp(a.data(), b, a.size()) == 0;
}

}  // namespace

std::string settingName(const TSettingKey& key) { return std::string("[") + key.section + "] " + key.key; }

bool isServerSection(std::string_view section) {
    if (sameName(section, kScreenSection)) return true;
    for (const TSettingKey& key : kSettingKeys) {
        if (sameName(section, key.section)) return true;
    }
    return false;
}

bool isServerKey(std::string_view section, std::string_view key) {
    if (sameName(section, kScreenSection)) {
        for (const char* name : kScreenKeyNames) {
            if (sameName(key, name)) return true;
        }
        return false;
    }
    for (const TSettingKey& row : kSettingKeys) {
        if (sameName(section, row.section) && sameName(key, row.key)) return true;
    }
    return false;
}

}  // namespace zv
