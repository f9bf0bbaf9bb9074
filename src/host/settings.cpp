#include "host/settings.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "host/ini_file.h"
#include "host/legacy_settings.h"
#include "stores/date_time.h"

namespace zv {

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kScreen = "Screen";
constexpr const char* kRegional = "Regional";
constexpr const char* kWeb = "Web";
constexpr const char* kBoard = "Board";

// An integer key as the Windows ini functions read it for the window: the
// number, or the default when the key is missing or not a number.
int intValue(const IniFile& ini, const char* section, const char* key, int fallback) {
    auto text = ini.value(section, key);
    if (!text) return fallback;
    return wholeNumber(*text).value_or(fallback);
}

// Derives one whole-number setting; a text that is not a whole number is
// reported and replaced by the default, so that the server never runs with an
// undefined block size or log bound.
int deriveNumber(std::string& text, const char* key, const char* fallback,
                 AdminView& view, std::optional<int> minimum = std::nullopt) {
    const auto n = wholeNumber(text);
    if (n && (!minimum || *n >= *minimum)) return *n;
    const std::string what =
        minimum ? "a whole number of at least " + std::to_string(*minimum) : std::string("a whole number");
    view.showMessage(MessageKind::Warning,
                     std::string("The setting ") + key + " in " + kSettingsFileName +
                         " is \"" + text + "\", which is not " + what + ".\r" +
                         "The default " + fallback + " is used instead.");
    text = fallback;
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
void loadWebSettings(TSettings& settings, const IniFile* ini) {
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

// [Board]: the end-of-day punch-out, off when missing.
void loadBoardSettings(TSettings& settings, const IniFile* ini) {
    settings.AutoOutAt = ini ? ini->value(kBoard, "AutoOutAt", "") : std::string();
    settings.AutoOutDone = ini ? ini->value(kBoard, "AutoOutDone", "") : std::string();
}

// A time that is not one is reported, and the punch-out stays off.
void deriveAutoOut(TSettings& settings, AdminView& view) {
    settings.autoOutSecond = autoOutSecondOf(settings.AutoOutAt);
    if (settings.autoOutSecond || settings.AutoOutAt.empty()) return;
    view.showMessage(MessageKind::Warning,
                     std::string("The setting AutoOutAt of section [Board] in ") + kSettingsFileName + " is \"" +
                         settings.AutoOutAt + "\", which is not a time of day such as 17:30.\r" +
                         "Nobody is punched out at the end of the day.");
}

// The web port as a number; a text that is not a port is reported and the
// default taken, as for the other numbers.
int deriveWebPort(TSettings& settings, AdminView& view) {
    const int port = deriveNumber(settings.WebPort, "Port of section [Web]", kDefaultWebPort, view);
    if (port >= 0 && port <= 65535) return port;
    view.showMessage(MessageKind::Warning,
                     std::string("The setting Port of section [Web] in ") + kSettingsFileName +
                         " is \"" + settings.WebPort + "\", which is not a port (0 to 65535).\r" +
                         "The default " + kDefaultWebPort + " is used instead.");
    settings.WebPort = kDefaultWebPort;
    return *wholeNumber(settings.WebPort);
}

void saveOrWarn(const TSettings& settings, const SettingsFiles& files,
                AdminView& view, bool& saved) {
    try {
        saveSettings(settings, files, view);
        saved = true;
    } catch (const SettingsError& e) {
        view.showMessage(MessageKind::Warning, e.what());
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

void loadSettings(TSettings& settings, const SettingsFiles& files, AdminView& view) {
    const std::string& iniPath = files.settingsPath;
    IniFile ini;
    bool haveIni = false;
    bool unreadable = false;
    try {
        haveIni = ini.load(iniPath);
    } catch (const SettingsError& e) {
        view.showMessage(MessageKind::Warning,
                         std::string(e.what()) + "\rThe file is left as it is.");
        haveIni = false;
        unreadable = true;
    }

    if (haveIni) {
        settings.BlockSize = ini.value(kOptions, "BlockSize", settings.BlockSize);
        settings.SMTPHost = ini.value(kOptions, "SMTPHost", settings.SMTPHost);
        settings.Port = ini.value(kOptions, "Port", settings.Port);
        settings.ExpDays = ini.value(kOptions, "ExpDays", settings.ExpDays);
        settings.MaxLogSize = ini.value(kOptions, "MaxLogSize", kDefaultMaxLogSize);
        settings.IdleTimeout = ini.value(kOptions, "IdleTimeout", kDefaultIdleTimeout);
        settings.MaxClients = ini.value(kOptions, "MaxClients", kDefaultMaxClients);

        const ScreenPlacement placement = screenPlacement(ini, view.currentPlacement().rect);
        if (placement.status != 0) view.applyPlacement(windowStateOfStatus(placement.status), placement.rect);
        datetime::setFormats(ini.value(kRegional, "ShortDateFormat", kDefaultShortDateFormat),
                             ini.value(kRegional, "LongTimeFormat", kDefaultLongTimeFormat));
        loadWebSettings(settings, &ini);
        loadBoardSettings(settings, &ini);
    } else {
        datetime::setFormats(kDefaultShortDateFormat, kDefaultLongTimeFormat);
        loadWebSettings(settings, nullptr);
        loadBoardSettings(settings, nullptr);
        const std::string& legacyPath = files.legacyPath;
        if (auto legacy = readLegacySettings(legacyPath)) {
            settings.SMTPHost = keptSettingText(legacy->SMTPHost);
            settings.Port = keptSettingText(legacy->Port);
            settings.BlockSize = keptSettingText(legacy->BlockSize);
            settings.ExpDays = keptSettingText(legacy->ExpDays);
            settings.MaxLogSize = keptSettingText(legacy->MaxLogSize);
            settings.IdleTimeout = kDefaultIdleTimeout;
            settings.MaxClients = kDefaultMaxClients;
            // A settings file that is there but cannot be read is never written
            // over: the old file's settings are used for this run only.
            bool saved = false;
            if (!unreadable) saveOrWarn(settings, files, view, saved);
            // The old file goes only once its settings are safe in the new one.
            if (saved && ::unlink(legacyPath.c_str()) != 0) {
                view.showMessage(MessageKind::Warning,
                                 "Cannot delete the old settings file \"" + legacyPath +
                                     "\": " + std::strerror(errno));
            }
        } else {
            settings.BlockSize = kDefaultBlockSize;
            settings.SMTPHost.clear();
            settings.Port = kDefaultPort;
            settings.ExpDays = kDefaultExpDays;
            settings.MaxLogSize = kDefaultMaxLogSize;
            settings.IdleTimeout = kDefaultIdleTimeout;
            settings.MaxClients = kDefaultMaxClients;
            bool saved = false;
            if (!unreadable) saveOrWarn(settings, files, view, saved);
        }
    }

    settings.blockSizeInUse = deriveNumber(settings.BlockSize, "BlockSize", kDefaultBlockSize, view);
    settings.logSizeLimit = deriveNumber(settings.MaxLogSize, "MaxLogSize", kDefaultMaxLogSize, view);
    // ExpDays is read afresh at every login, and a text that is not a number
    // there fails every login; a file that lacks the key (it then comes in
    // empty) or holds no number is therefore reported and defaulted here too.
    deriveNumber(settings.ExpDays, "ExpDays", kDefaultExpDays, view);
    settings.idleTimeoutSeconds =
        deriveNumber(settings.IdleTimeout, "IdleTimeout", kDefaultIdleTimeout, view, 0);
    settings.maxClients = deriveNumber(settings.MaxClients, "MaxClients", kDefaultMaxClients, view, 1);
    settings.webPortInUse = deriveWebPort(settings, view);
    deriveAutoOut(settings, view);
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

void saveSettings(const TSettings& settings, const SettingsFiles& files,
                  const AdminView& view) {
    const std::string& iniPath = files.settingsPath;
    IniFile ini;
    ini.load(iniPath);  // keys that are not written keep what the file held
    ini.setValue(kOptions, "BlockSize", settings.BlockSize);
    ini.setValue(kOptions, "SMTPHost", settings.SMTPHost);
    ini.setValue(kOptions, "Port", settings.Port);
    ini.setValue(kOptions, "ExpDays", settings.ExpDays);
    ini.setValue(kOptions, "MaxLogSize", settings.MaxLogSize);
    ini.setValue(kOptions, "IdleTimeout", settings.IdleTimeout);
    ini.setValue(kOptions, "MaxClients", settings.MaxClients);

    const WindowPlacement placement = view.currentPlacement();
    // The rectangle only of a normal window: minimised or maximised, the
    // file keeps the one it returns to.
    if (placement.state == WindowState::Normal) {
        ini.setValue(kScreen, "Left", std::to_string(placement.rect.left));
        ini.setValue(kScreen, "Top", std::to_string(placement.rect.top));
        ini.setValue(kScreen, "Width", std::to_string(placement.rect.width));
        ini.setValue(kScreen, "Height", std::to_string(placement.rect.height));
    }
    ini.setValue(kScreen, "Status", std::to_string(statusOfWindowState(placement.state)));
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
    ini.save(iniPath);
}

}  // namespace zv
