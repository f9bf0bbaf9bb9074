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

std::optional<std::string> chatHookName(std::string_view section) {
    const std::string_view prefix = kChatSectionPrefix;
    if (section.size() <= prefix.size() || !sameName(section.substr(0, prefix.size()), kChatSectionPrefix))
        return std::nullopt;
    return std::string(section.substr(prefix.size()));
}

bool isServerSection(std::string_view section) {
    if (sameName(section, kScreenSection) || chatHookName(section)) return true;
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
    if (chatHookName(section)) {
        for (const TChatHookKey& row : kChatHookKeys) {
            if (sameName(key, row.key)) return true;
        }
        return false;
    }
    for (const TSettingKey& row : kSettingKeys) {
        if (sameName(section, row.section) && sameName(key, row.key)) return true;
    }
    return false;
}

}  // namespace zv
