#pragma once
// The server's settings: the texts of "zva.ini" and the whole numbers derived
// from them, with the load (or legacy import, or defaults) and the whole save
// of the settings file that a first start makes. Which keys there are, and
// when a change of each takes effect, is settings_keys.h; how the running
// server writes the keys it changed, settings_writer.h.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "directory/directory_config.h"
#include "host/admin_view.h"
#include "host/legacy_settings.h"
#include "host/settings_files.h"

namespace zv {

class IniFile;

inline constexpr const char* kDefaultWebPort = "8480";
inline constexpr const char* kDefaultShortDateFormat = "M/d/yy";
inline constexpr const char* kDefaultLongTimeFormat = "h:mm:ss AM/PM";

// One [Chat.<name>] section: a webhook of the team chat (chat_settings.h).
struct TChatHookTexts {
    std::string name;  // the section's name after "Chat."
    std::string URL, Kind, Secret, Departments, Events;
    bool operator==(const TChatHookTexts&) const = default;
};

struct TSettings {
    std::string SMTPHost;    // mail host for message notices; empty: no mail
    std::string Port;        // decimal port or service name of the listener
    std::string BlockSize;   // decimal text, source of blockSizeInUse
    std::string ExpDays;     // decimal text, converted at each bundle
    std::string MaxLogSize;  // decimal text, source of logSizeLimit

    int blockSizeInUse = 0;  // size of each data block sent to a client
    int logSizeLimit = 0;    // maximum number of status change log records

    std::string IdleTimeout = "600";   // decimal text, source of idleTimeoutSeconds
    std::string MaxClients = "10000";  // decimal text, source of maxClients
    int idleTimeoutSeconds = 600;      // a connection silent this long is closed; 0: never
    int maxClients = 10000;            // sessions at once; the next connection is closed
    // [Web]: the board in a browser.
    std::string WebPort = kDefaultWebPort;  // decimal TCP port; 0 turns the HTTP side off
    std::string WebAddress = {};            // address to listen on; empty: every interface
    std::string WebCertFile = {};           // PEM certificate; with WebKeyFile: HTTPS
    std::string WebKeyFile = {};            // PEM private key of the certificate
    int webPortInUse = 8480;                // WebPort as a number (0 to 65535)
    std::string WebAdminPassword = {};      // crypto_pwhash_str hash; empty: none set yet
    std::string WebMetricsToken = {};       // bearer token for /metrics from elsewhere; empty: loopback only

    // [FrontDesk]: the accounts that may change anyone's status from the
    // board, separated by "|".
    std::string FrontDeskAccounts = {};

    // [Board]: the end-of-day punch-out.
    std::string AutoOutAt = {};         // a time of day ("17:30"); empty: off
    std::string AutoOutDone = {};       // the last day it was done, "yyyy-mm-dd"
    std::optional<int> autoOutSecond = std::nullopt;  // AutoOutAt in seconds after midnight; none: off
    std::string StatusPresets = {};     // one-tap statuses (status_presets.h); empty: the defaults

    // [Directory]: sign-in and accounts from the office's directory (LDAP);
    // off while URI is empty. Defaults suit OpenLDAP's inetOrgPerson.
    std::string DirectoryURI = {};
    std::string DirectoryStartTLS = "no";
    std::string DirectoryCAFile = {};
    std::string DirectoryBindDN = {};
    std::string DirectoryBindPassword = {};
    std::string DirectoryBase = {};
    std::string DirectoryFilter = TDirectoryConfig{}.filter;
    std::string DirectoryLoginAttribute = TDirectoryConfig{}.loginAttribute;
    std::string DirectoryLastNameAttribute = TDirectoryConfig{}.lastNameAttribute;
    std::string DirectoryFirstNameAttribute = TDirectoryConfig{}.firstNameAttribute;
    std::string DirectoryDepartmentAttribute = TDirectoryConfig{}.departmentAttribute;
    std::string DirectoryEMailAttribute = TDirectoryConfig{}.emailAttribute;
    std::string DirectoryWorkPhoneAttribute = TDirectoryConfig{}.workPhoneAttribute;
    std::string DirectoryCellPhoneAttribute = TDirectoryConfig{}.cellPhoneAttribute;
    std::string DirectoryHomePhoneAttribute = TDirectoryConfig{}.homePhoneAttribute;
    std::string DirectoryPagerAttribute = TDirectoryConfig{}.pagerAttribute;
    std::string DirectoryGroup = {};
    std::string DirectoryAdminGroup = {};
    std::string DirectoryFrontDeskGroup = {};
    std::string DirectoryTimeout = "10";  // seconds, source of directoryTimeoutSeconds
    int directoryTimeoutSeconds = 10;

    // [Chat.<name>]: the team chat's webhooks, in the file's order.
    std::vector<TChatHookTexts> chatHooks = {};
    // [Calendars]: the hosts the accounts' calendars may be fetched from
    // (names or addresses, "*.example.com", separated by commas or blanks);
    // empty: none.
    std::string CalendarAllowedHosts = {};

    // [Options] Address: the address the clients' listener listens on;
    // empty: every IPv4 and IPv6 interface. Read only, never written.
    std::string Address = {};
    // [Regional]: how dates and times are written and read (empty: the
    // default). Read only, never written.
    std::string ShortDateFormat = kDefaultShortDateFormat;
    std::string LongTimeFormat = kDefaultLongTimeFormat;
};

inline constexpr const char* kSettingsFileName = "zva.ini";
inline constexpr const char* kLegacySettingsFileName = "qtadmin.ini";

inline constexpr const char* kDefaultBlockSize = "8192";
inline constexpr const char* kDefaultPort = "6480";
inline constexpr const char* kDefaultExpDays = "1";
inline constexpr const char* kDefaultMaxLogSize = "100";
inline constexpr const char* kDefaultIdleTimeout = "600";
inline constexpr const char* kDefaultMaxClients = "10000";

// A whole decimal number (optional sign, digits, within 32 bits), or nothing.
std::optional<int> wholeNumber(std::string_view text);

// A setting's text as the settings file keeps it. The file cannot hold spaces
// or tabs at either end of a value (they are read back without them), so a
// text that comes from a dialog, a browser or the old binary file drops them
// at once: what is in use is then what the next start reads.
std::string keptSettingText(std::string_view text);

// Reads the settings file ("zva.ini" in a folder, or the file given); without
// it imports "qtadmin.ini" (and deletes it once the settings file is written);
// without that takes the defaults and writes the settings file. Applies [Screen] placement and [Regional] date/time formats, and
// ends by deriving blockSizeInUse and logSizeLimit. Problems (a text that is
// not a whole number, a file that cannot be read or written) are shown as
// warnings through `view`; the load always completes with usable numbers.
// IdleTimeout and MaxClients, missing from the file, take their defaults.
// `asRead`, when given, receives the file as read (or as the first start
// wrote it). True when it holds the file as it is on disk; false when the
// file could not be read (or written).
bool loadSettings(TSettings& settings, const SettingsFiles& files, AdminView& view, IniFile* asRead = nullptr);

// The texts of the settings file into `settings`, as a start reads them: a
// missing BlockSize, SMTPHost, Port or ExpDays keeps the text `settings`
// holds, any other missing key takes its default. Derives nothing.
void readSettingTexts(TSettings& settings, const IniFile& ini);

// The texts a start takes without a settings file: those of the legacy file
// when there is one, the defaults for everything else.
void takeFirstStartTexts(TSettings& settings, const std::optional<LegacySettings>& legacy);

// Derives the whole numbers (block size, log size, idle time-out, client
// cap, web port, the punch-out time) from the texts. A text that is not
// usable is told to `warn` and replaced by its default, or, given `inForce`
// (a reload while the server runs), by the text in force.
void deriveSettings(TSettings& settings, const std::function<void(const std::string&)>& warn,
                    const TSettings* inForce = nullptr);

// The window placement the settings file holds under [Screen]: Status (0
// when the file, the key or a number is missing) and the rectangle, each
// missing key taking its value from `current`. Reads nothing else and reports
// nothing (the settings load reports what is wrong with the file): the window
// uses it to take its place before it is first shown.
struct ScreenPlacement {
    int status = 0;
    WindowRect rect;
};
ScreenPlacement readScreenPlacement(const SettingsFiles& files, const WindowRect& current);

// Writes every key of [Options], [Web], [Board] and [Calendars] (those of
// [Board] and [Calendars] once used) and the window's [Screen] keys into the settings file, keeping every
// other key of the file: the first start's file. `asWritten`, when given,
// receives the file as written. Throws SettingsError on failure.
void saveSettings(const TSettings& settings, const SettingsFiles& files, const AdminView& view,
                  IniFile* asWritten = nullptr);

// The [Screen] keys that a save writes for `placement`, in their order: the
// rectangle and Status for a normal window, Status alone otherwise.
std::vector<std::pair<std::string, std::string>> screenKeys(const WindowPlacement& placement);

// AutoOutAt read as a time of day: seconds after midnight; nothing for an
// empty text (off) and for a text that is no time of day.
std::optional<int> autoOutSecondOf(std::string_view text);

// Writes only [Web] AdminPassword into the settings file (which must exist),
// keeping every other key. Throws SettingsError on failure.
void saveAdminPasswordHash(const SettingsFiles& files, const std::string& hash);

}  // namespace zv
