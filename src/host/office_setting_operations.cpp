// The maintenance API's changes of the office's systems' settings, from the
// administration's Options: the [Directory] keys and the [Chat.<name>]
// webhooks, checked, saved at once and recorded (a password or a webhook's
// address named, never shown).

#include <algorithm>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/office_settings.h"
#include "host/server_parts.h"
#include "host/settings_keys.h"

namespace zv {

namespace {

constexpr int kLongestDirectoryTimeout = 300;

const TSettingKey* directoryKey(const std::string& name) {
    for (const TSettingKey& key : kSettingKeys) {
        if (std::string_view(key.section) == "Directory" && name == key.key) return &key;
    }
    return nullptr;
}

bool isTimeout(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int seconds = std::stoi(text);
    return seconds >= 1 && seconds <= kLongestDirectoryTimeout;
}

// A webhook's name makes a section name of the settings file.
bool isHookName(const std::string& name) {
    return !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_' || c == ' ';
    });
}

bool oneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

TAdminResult TMaintenanceApi::changeDirectorySettings(
    const std::string& who, const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values) {
        if (!directoryKey(name))
            return TAdminResult::refused(name, "[Directory] has no key \"" + name + "\".");
        if (!oneLine(value)) return TAdminResult::refused(name, "The " + name + " is one line.");
        if (name == "Timeout" && !isTimeout(keptSettingText(value))) {
            return TAdminResult::refused(name, "The Timeout is a whole number of seconds from 1 to " +
                                                   std::to_string(kLongestDirectoryTimeout) + ".");
        }
    }
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    for (const auto& [name, value] : values) settings.*directoryKey(name)->text = keptSettingText(value);
    if (isTimeout(settings.DirectoryTimeout))
        settings.directoryTimeoutSeconds = std::stoi(settings.DirectoryTimeout);
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        throw;
    }
    for (const TSettingKey& key : kSettingKeys) {
        if (before.*key.text == settings.*key.text) continue;
        auditAdminChange(parts_.view, who,
                         key.secret ? "changed " + settingName(key)
                                    : "set " + settingName(key) + " to " + auditQuoted(settings.*key.text));
    }
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::setChatHook(const std::string& who, TChatHookTexts hook) {
    if (!isHookName(hook.name)) {
        return TAdminResult::refused("name",
                                     "A webhook's name is 1 to 40 letters, digits, blanks, \"-\" or \"_\".");
    }
    for (const TChatHookKey& row : kChatHookKeys) {
        hook.*row.text = keptSettingText(hook.*row.text);
        if (!oneLine(hook.*row.text))
            return TAdminResult::refused(row.key, std::string("The ") + row.key + " is one line.");
    }
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    auto it = std::find_if(settings.chatHooks.begin(), settings.chatHooks.end(),
                           [&](const TChatHookTexts& h) { return h.name == hook.name; });
    const bool added = it == settings.chatHooks.end();
    if (!added) {
        if (hook.URL.empty()) hook.URL = it->URL;
        if (hook.Secret.empty()) hook.Secret = it->Secret;
        *it = hook;
    } else {
        settings.chatHooks.push_back(hook);
    }
    std::vector<std::string> problems;
    TSettings alone;
    alone.chatHooks = {hook};
    chatHooksOf(alone, &problems);
    if (!problems.empty()) {
        settings = before;
        return TAdminResult::refused("", problems.front() + ".");
    }
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        throw;
    }
    auditAdminChange(
        parts_.view, who,
        (added ? "added the chat webhook " : "changed the chat webhook ") + auditQuoted(hook.name));
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::removeChatHook(const std::string& who, const std::string& name) {
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    const auto gone = std::remove_if(settings.chatHooks.begin(), settings.chatHooks.end(),
                                     [&](const TChatHookTexts& h) { return h.name == name; });
    if (gone == settings.chatHooks.end())
        return TAdminResult::gone("No chat webhook is named \"" + name + "\".");
    settings.chatHooks.erase(gone, settings.chatHooks.end());
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        throw;
    }
    auditAdminChange(parts_.view, who, "removed the chat webhook " + auditQuoted(name));
    return TAdminResult::done();
}

}  // namespace zv
