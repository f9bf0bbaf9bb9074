#include "host/settings.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstring>

#include "host/ini_file.h"
#include "host/legacy_settings.h"
#include "host/settings_keys.h"
#include "stores/date_time.h"

namespace zv {

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kScreen = "Screen";
constexpr const char* kRegional = "Regional";
constexpr const char* kWeb = "Web";
constexpr const char* kBoard = "Board";
constexpr const char* kCalendars = "Calendars";

// An integer key as the Windows ini functions read it for the window: the
// number, or the default when the key is missing or not a number.
int intValue(const IniFile& ini, const char* section, const char* key, int fallback) {
    auto text = ini.value(section, key);
    if (!text) return fallback;
    return wholeNumber(*text).value_or(fallback);
}

// Derives one whole-number setting; a text that is not a whole number (or
// below `minimum`) is reported and replaced by the default, or by the text in
// force when there is one, so that the server never runs with an undefined
// block size or log bound.
struct TNumberRule {
    const char* key;       // as the message names it
    const char* fallback;  // the default
    std::optional<int> minimum = std::nullopt;
};

int deriveNumber(std::string& text, const TNumberRule& rule, const std::function<void(const std::string&)>& warn,
                 const std::string* inForce) {
    const auto n = wholeNumber(text);
    if (n && (!rule.minimum || *n >= *rule.minimum)) return *n;
    const std::string what = rule.minimum ? "a whole number of at least " + std::to_string(*rule.minimum)
                                          : std::string("a whole number");
    // A text in force is a good number: it was derived the same way.
    const bool keep = inForce && wholeNumber(*inForce);
    warn(std::string("The setting ") + rule.key + " in " + kSettingsFileName + " is \"" + text + "\", which is not " +
         what + ".\r" +
         (keep ? "The value in force, " + *inForce + ", is kept." : std::string("The default ") + rule.fallback +
                                                                       " is used instead."));
    text = keep ? *inForce : std::string(rule.fallback);
    return *wholeNumber(text);
}

ScreenPlacement screenPlacement(const IniFile& ini, const WindowRect& current) {
    ScreenPlacement placement;
    placement.status = intValue(ini, kScreen, "Status", 0);
    placement.rect.left = intValue(ini, kScreen, "Left", current.left);
    placement.rect.top = intValue(ini, kScreen, "Top", current.top);
    placement.rect.width = intValue(ini, kScreen, "Width", current.width);
    placement.rect.height = intValue(ini, kScreen, "Height", current.height);
    return placement;
}

// [Web]: missing keys take their defaults (a file written before the HTTP
// side existed turns it on at the default port).
void readWebSettings(TSettings& settings, const IniFile* ini) {
    auto read = [ini](const char* key, const char* fallback) {
        return ini ? ini->value(kWeb, key, fallback) : std::string(fallback);
    };
    settings.WebPort = read("Port", kDefaultWebPort);
    settings.WebAddress = read("Address", "");
    settings.WebCertFile = read("CertFile", "");
    settings.WebKeyFile = read("KeyFile", "");
    settings.WebAdminPassword = read("AdminPassword", "");
    settings.WebMetricsToken = read("MetricsToken", "");
}

// [Board]: the end-of-day punch-out, off when missing; [Calendars]: no
// calendar fetched when missing.
void readBoardSettings(TSettings& settings, const IniFile* ini) {
    settings.AutoOutAt = ini ? ini->value(kBoard, "AutoOutAt", "") : std::string();
    settings.AutoOutDone = ini ? ini->value(kBoard, "AutoOutDone", "") : std::string();
    settings.StatusPresets = ini ? ini->value(kBoard, "StatusPresets", "") : std::string();
    settings.CalendarAllowedHosts = ini ? ini->value(kCalendars, "AllowedHosts", "") : std::string();
    settings.FrontDeskAccounts = ini ? ini->value("FrontDesk", "Accounts", "") : std::string();
}

// [Directory]: a missing key takes its default; [Chat.<name>]: every such
// section, in the file's order.
void readOfficeSystems(TSettings& settings, const IniFile* ini) {
    const TSettings defaults;
    for (const TSettingKey& row : kSettingKeys) {
        if (std::string_view(row.section) != "Directory") continue;
        settings.*row.text = ini ? ini->value(row.section, row.key, defaults.*row.text) : defaults.*row.text;
    }
    settings.chatHooks.clear();
    if (!ini) return;
    for (const IniFile::Entry& entry : ini->entries()) {
        const std::optional<std::string> name = chatHookName(entry.section);
        if (!name) continue;
        auto hook = std::find_if(settings.chatHooks.begin(), settings.chatHooks.end(),
                                 [&](const TChatHookTexts& h) { return h.name == *name; });
        if (hook == settings.chatHooks.end()) {
            settings.chatHooks.push_back({});
            hook = settings.chatHooks.end() - 1;
            hook->name = *name;
        }
        for (const TChatHookKey& row : kChatHookKeys) {
            if (::strcasecmp(entry.key.c_str(), row.key) == 0) (*hook).*row.text = entry.value;
        }
    }
}

// A time that is not one is reported, and the punch-out stays off (or, on a
// reload, as it was).
void deriveAutoOut(TSettings& settings, const std::function<void(const std::string&)>& warn,
                   const TSettings* inForce) {
    settings.autoOutSecond = autoOutSecondOf(settings.AutoOutAt);
    if (settings.autoOutSecond || settings.AutoOutAt.empty()) return;
    warn(std::string("The setting AutoOutAt of section [Board] in ") + kSettingsFileName + " is \"" +
         settings.AutoOutAt + "\", which is not a time of day such as 17:30.\r" +
         (inForce ? "The time in force, \"" + inForce->AutoOutAt + "\", is kept."
                  : std::string("Nobody is punched out at the end of the day.")));
    if (inForce) {
        settings.AutoOutAt = inForce->AutoOutAt;
        settings.autoOutSecond = inForce->autoOutSecond;
    }
}

// The web port as a number; a text that is not a port is reported and the
// default (or the text in force) taken, as for the other numbers.
int deriveWebPort(TSettings& settings, const std::function<void(const std::string&)>& warn,
                  const TSettings* inForce) {
    const std::string* kept = inForce ? &inForce->WebPort : nullptr;
    const int port = deriveNumber(settings.WebPort, {"Port of section [Web]", kDefaultWebPort}, warn, kept);
    if (port >= 0 && port <= 65535) return port;
    const bool keep = kept && wholeNumber(*kept);
    warn(std::string("The setting Port of section [Web] in ") + kSettingsFileName + " is \"" + settings.WebPort +
         "\", which is not a port (0 to 65535).\r" +
         (keep ? "The value in force, " + *kept + ", is kept."
               : std::string("The default ") + kDefaultWebPort + " is used instead."));
    settings.WebPort = keep ? *kept : std::string(kDefaultWebPort);
    return *wholeNumber(settings.WebPort);
}

void saveOrWarn(const TSettings& settings, const SettingsFiles& files, AdminView& view, bool& saved,
                IniFile* asWritten) {
    try {
        saveSettings(settings, files, view, asWritten);
        saved = true;
    } catch (const SettingsError& e) {
        view.showMessage(MessageKind::Warning, e.what());
        if (asWritten) asWritten->parse("");
        saved = false;
    }
}

}  // namespace

std::string keptSettingText(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::optional<int> wholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t pos = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) return std::nullopt;
    long long value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL || value < -2147483648LL) return std::nullopt;
    return static_cast<int>(value);
}

void readSettingTexts(TSettings& settings, const IniFile& ini) {
    settings.BlockSize = ini.value(kOptions, "BlockSize", settings.BlockSize);
    settings.SMTPHost = ini.value(kOptions, "SMTPHost", settings.SMTPHost);
    settings.Port = ini.value(kOptions, "Port", settings.Port);
    settings.ExpDays = ini.value(kOptions, "ExpDays", settings.ExpDays);
    settings.MaxLogSize = ini.value(kOptions, "MaxLogSize", kDefaultMaxLogSize);
    settings.IdleTimeout = ini.value(kOptions, "IdleTimeout", kDefaultIdleTimeout);
    settings.MaxClients = ini.value(kOptions, "MaxClients", kDefaultMaxClients);
    settings.Address = ini.value(kOptions, "Address", "");
    settings.ShortDateFormat = ini.value(kRegional, "ShortDateFormat", kDefaultShortDateFormat);
    settings.LongTimeFormat = ini.value(kRegional, "LongTimeFormat", kDefaultLongTimeFormat);
    readWebSettings(settings, &ini);
    readBoardSettings(settings, &ini);
    readOfficeSystems(settings, &ini);
}

void takeFirstStartTexts(TSettings& settings, const std::optional<LegacySettings>& legacy) {
    settings.Address.clear();
    settings.ShortDateFormat = kDefaultShortDateFormat;
    settings.LongTimeFormat = kDefaultLongTimeFormat;
    readWebSettings(settings, nullptr);
    readBoardSettings(settings, nullptr);
    readOfficeSystems(settings, nullptr);
    if (legacy) {
        settings.SMTPHost = keptSettingText(legacy->SMTPHost);
        settings.Port = keptSettingText(legacy->Port);
        settings.BlockSize = keptSettingText(legacy->BlockSize);
        settings.ExpDays = keptSettingText(legacy->ExpDays);
        settings.MaxLogSize = keptSettingText(legacy->MaxLogSize);
    } else {
        settings.BlockSize = kDefaultBlockSize;
        settings.SMTPHost.clear();
        settings.Port = kDefaultPort;
        settings.ExpDays = kDefaultExpDays;
        settings.MaxLogSize = kDefaultMaxLogSize;
    }
    settings.IdleTimeout = kDefaultIdleTimeout;
    settings.MaxClients = kDefaultMaxClients;
}

void deriveSettings(TSettings& settings, const std::function<void(const std::string&)>& warn,
                    const TSettings* inForce) {
    const auto kept = [inForce](std::string TSettings::*text) { return inForce ? &(inForce->*text) : nullptr; };
    settings.blockSizeInUse =
        deriveNumber(settings.BlockSize, {"BlockSize", kDefaultBlockSize}, warn, kept(&TSettings::BlockSize));
    settings.logSizeLimit =
        deriveNumber(settings.MaxLogSize, {"MaxLogSize", kDefaultMaxLogSize}, warn, kept(&TSettings::MaxLogSize));
    // ExpDays is read afresh at every login, and a text that is not a number
    // there fails every login; a file that lacks the key (it then comes in
    // empty) or holds no number is therefore reported and defaulted here too.
    deriveNumber(settings.ExpDays, {"ExpDays", kDefaultExpDays}, warn, kept(&TSettings::ExpDays));
    settings.idleTimeoutSeconds = deriveNumber(settings.IdleTimeout, {"IdleTimeout", kDefaultIdleTimeout, 0}, warn,
                                               kept(&TSettings::IdleTimeout));
    settings.maxClients =
        deriveNumber(settings.MaxClients, {"MaxClients", kDefaultMaxClients, 1}, warn, kept(&TSettings::MaxClients));
    settings.webPortInUse = deriveWebPort(settings, warn, inForce);
    settings.directoryTimeoutSeconds = deriveNumber(settings.DirectoryTimeout, {"Timeout of section [Directory]", "10", 1},
                                                    warn, kept(&TSettings::DirectoryTimeout));
    deriveAutoOut(settings, warn, inForce);
}

bool loadSettings(TSettings& settings, const SettingsFiles& files, AdminView& view, IniFile* asRead) {
    const std::string& iniPath = files.settingsPath;
    IniFile own;
    IniFile& ini = asRead ? *asRead : own;
    bool haveIni = false;
    bool unreadable = false;
    bool saved = false;
    std::optional<LegacySettings> legacy;
    try {
        haveIni = ini.load(iniPath);
    } catch (const SettingsError& e) {
        view.showMessage(MessageKind::Warning,
                         std::string(e.what()) + "\rThe file is left as it is.");
        haveIni = false;
        unreadable = true;
    }

    if (haveIni) {
        readSettingTexts(settings, ini);
        const ScreenPlacement placement = screenPlacement(ini, view.currentPlacement().rect);
        if (placement.status != 0) view.applyPlacement(windowStateOfStatus(placement.status), placement.rect);
    } else {
        legacy = readLegacySettings(files.legacyPath);
        takeFirstStartTexts(settings, legacy);
        // A settings file that is there but cannot be read is never written
        // over: the old file's settings (or the defaults) are used for this
        // run only.
        if (!unreadable) saveOrWarn(settings, files, view, saved, asRead);
        // The old file goes only once its settings are safe in the new one.
        if (legacy && saved && ::unlink(files.legacyPath.c_str()) != 0) {
            view.showMessage(MessageKind::Warning, "Cannot delete the old settings file \"" + files.legacyPath +
                                                       "\": " + std::strerror(errno));
        }
    }
    datetime::setFormats(settings.ShortDateFormat, settings.LongTimeFormat);
    deriveSettings(settings, [&view](const std::string& text) { view.showMessage(MessageKind::Warning, text); });
    return haveIni || saved;
}

std::optional<int> autoOutSecondOf(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return datetime::parseTimeOfDay(text);
}

void saveAdminPasswordHash(const SettingsFiles& files, const std::string& hash) {
    IniFile ini;
    if (!ini.load(files.settingsPath)) {
        throw SettingsError("The settings file \"" + files.settingsPath + "\" does not exist.");
    }
    ini.setValue(kWeb, "AdminPassword", hash);
    ini.save(files.settingsPath);
}

ScreenPlacement readScreenPlacement(const SettingsFiles& files, const WindowRect& current) {
    IniFile ini;
    try {
        if (!ini.load(files.settingsPath)) return {};
    } catch (const SettingsError&) {
        return {};  // reported by the settings load that follows
    }
    return screenPlacement(ini, current);
}

std::vector<std::pair<std::string, std::string>> screenKeys(const WindowPlacement& placement) {
    std::vector<std::pair<std::string, std::string>> keys;
    // The rectangle only of a normal window: minimised or maximised, the
    // file keeps the one it returns to.
    if (placement.state == WindowState::Normal) {
        keys.emplace_back("Left", std::to_string(placement.rect.left));
        keys.emplace_back("Top", std::to_string(placement.rect.top));
        keys.emplace_back("Width", std::to_string(placement.rect.width));
        keys.emplace_back("Height", std::to_string(placement.rect.height));
    }
    keys.emplace_back("Status", std::to_string(statusOfWindowState(placement.state)));
    return keys;
}

void saveSettings(const TSettings& settings, const SettingsFiles& files, const AdminView& view,
                  IniFile* asWritten) {
    const std::string& iniPath = files.settingsPath;
    IniFile own;
    IniFile& ini = asWritten ? *asWritten : own;
    ini.load(iniPath);  // keys that are not written keep what the file held
    ini.setValue(kOptions, "BlockSize", settings.BlockSize);
    ini.setValue(kOptions, "SMTPHost", settings.SMTPHost);
    ini.setValue(kOptions, "Port", settings.Port);
    ini.setValue(kOptions, "ExpDays", settings.ExpDays);
    ini.setValue(kOptions, "MaxLogSize", settings.MaxLogSize);
    ini.setValue(kOptions, "IdleTimeout", settings.IdleTimeout);
    ini.setValue(kOptions, "MaxClients", settings.MaxClients);
    for (const auto& [key, value] : screenKeys(view.currentPlacement())) ini.setValue(kScreen, key, value);
    ini.setValue(kWeb, "Port", settings.WebPort);
    ini.setValue(kWeb, "Address", settings.WebAddress);
    ini.setValue(kWeb, "CertFile", settings.WebCertFile);
    ini.setValue(kWeb, "KeyFile", settings.WebKeyFile);
    // Written once they are used, so that a file of a server that never
    // used them stays as it was.
    const auto setIfUsed = [&ini](const char* section, const char* key, const std::string& value) {
        if (!value.empty() || ini.value(section, key)) ini.setValue(section, key, value);
    };
    setIfUsed(kWeb, "AdminPassword", settings.WebAdminPassword);
    setIfUsed(kBoard, "AutoOutAt", settings.AutoOutAt);
    setIfUsed(kBoard, "AutoOutDone", settings.AutoOutDone);
    setIfUsed(kBoard, "StatusPresets", settings.StatusPresets);
    setIfUsed(kCalendars, "AllowedHosts", settings.CalendarAllowedHosts);
    ini.save(iniPath);
}

}  // namespace zv
