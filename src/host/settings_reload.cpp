#include "host/settings_reload.h"

#include <memory>
#include <string>
#include <vector>

#include "host/auto_punch_out.h"
#include "host/ini_file.h"
#include "host/platform_info.h"
#include "host/server_parts.h"
#include "host/settings_keys.h"
#include "stores/date_time.h"

namespace zv {

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// A message's CR-separated lines as one line.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

// The settings whose text the file changed, each as "[Options] Port "7000"
// (was "6480")", sorted by when they take effect.
void describeChanges(const TSettings& before, const TSettings& after, std::vector<std::string>& atOnce,
                     std::vector<std::string>& atNextStart) {
    for (const TSettingKey& key : kSettingKeys) {
        const std::string& was = before.*key.text;
        const std::string& now = after.*key.text;
        if (was == now) continue;
        const std::string what = key.secret
                                     ? settingName(key) + " (changed)"
                                     : settingName(key) + " " + quoted(now) + " (was " + quoted(was) + ")";
        (key.effect == TakesEffect::AtOnce ? atOnce : atNextStart).push_back(what);
    }
    // A webhook's URL and secret are its passwords: named, never shown.
    if (before.chatHooks != after.chatHooks) {
        std::string names;
        for (const TChatHookTexts& hook : after.chatHooks) names += (names.empty() ? "" : ", ") + hook.name;
        atOnce.push_back("the chat webhooks (now: " + (names.empty() ? std::string("none") : names) + ")");
    }
}

}  // namespace

void reloadSettingsFile(TServerParts& parts) {
    const std::string& path = parts.settingsFiles.settingsPath;
    const std::string program = programName();
    const auto warn = [&](const std::string& text) {
        parts.view.logLine(LinePriority::Warning, program + ": " + oneLine(text));
    };
    auto file = std::make_unique<IniFile>();
    try {
        if (!file->load(path)) {
            warn("The settings file \"" + path +
                 "\" cannot be read again: it is not there. "
                 "The settings in force are kept.");
            return;
        }
    } catch (const SettingsError& e) {
        warn(std::string(e.what()) + ". The settings in force are kept.");
        return;
    }

    TSettings& settings = parts.settings;
    const TSettings before = settings;
    TSettings reread = settings;
    readSettingTexts(reread, *file);
    deriveSettings(reread, warn, &before);
    // What only a start reads stays in use until the next one.
    reread.blockSizeInUse = before.blockSizeInUse;
    reread.webPortInUse = before.webPortInUse;
    std::vector<std::string> atOnce;
    std::vector<std::string> atNextStart;
    describeChanges(before, reread, atOnce, atNextStart);
    settings = reread;
    parts.settingsWriter.remember(std::move(file), true);

    if (settings.logSizeLimit != before.logSizeLimit) parts.setLogSizeLimit(settings.logSizeLimit);
    if (settings.WebAdminPassword != before.WebAdminPassword) parts.adminPasswordObservers.notify();
    if (settings.ShortDateFormat != before.ShortDateFormat ||
        settings.LongTimeFormat != before.LongTimeFormat) {
        datetime::setFormats(settings.ShortDateFormat, settings.LongTimeFormat);
    }
    if ((settings.AutoOutAt != before.AutoOutAt || settings.AutoOutDone != before.AutoOutDone) &&
        parts.autoPunchOut) {
        // A time already past today counts today as done, as when the
        // window or a browser sets it; that day is the server's to write.
        parts.autoPunchOut->settingChanged();
        if (settings.AutoOutDone != reread.AutoOutDone) parts.saveSettingChangesOrWarn(reread);
    }

    std::string line = program + ": the settings file \"" + path + "\" was read again: ";
    if (atOnce.empty() && atNextStart.empty()) line += "nothing changed";
    if (!atOnce.empty()) line += "in effect at once: " + joined(atOnce);
    if (!atNextStart.empty()) {
        line += std::string(atOnce.empty() ? "" : "; ") + "from the next start: " + joined(atNextStart);
    }
    parts.view.logLine(LinePriority::Notice, line);
}

}  // namespace zv
