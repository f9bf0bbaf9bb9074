#pragma once
// The server's settings: the five texts of [Options] in "zva.ini" and the two
// whole numbers derived from them, with the load (or legacy import, or
// defaults) and the save of the settings file in the program's folder.

#include <optional>
#include <string>
#include <string_view>

#include "host/admin_view.h"

namespace zv {

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
};

inline constexpr const char* kSettingsFileName = "zva.ini";
inline constexpr const char* kLegacySettingsFileName = "qtadmin.ini";

inline constexpr const char* kDefaultBlockSize = "8192";
inline constexpr const char* kDefaultPort = "6480";
inline constexpr const char* kDefaultExpDays = "1";
inline constexpr const char* kDefaultMaxLogSize = "100";
inline constexpr const char* kDefaultIdleTimeout = "600";
inline constexpr const char* kDefaultMaxClients = "10000";
inline constexpr const char* kDefaultShortDateFormat = "M/d/yy";
inline constexpr const char* kDefaultLongTimeFormat = "h:mm:ss AM/PM";

// A whole decimal number (optional sign, digits, within 32 bits), or nothing.
std::optional<int> wholeNumber(std::string_view text);

// Reads "zva.ini" in `folder`; without it imports "qtadmin.ini" (and deletes it
// once "zva.ini" is written); without that takes the defaults and writes
// "zva.ini". Applies [Screen] placement and [Regional] date/time formats, and
// ends by deriving blockSizeInUse and logSizeLimit. Problems (a text that is
// not a whole number, a file that cannot be read or written) are shown as
// warnings through `view`; the load always completes with usable numbers.
// IdleTimeout and MaxClients, missing from the file, take their defaults.
void loadSettings(TSettings& settings, const std::string& folder, AdminView& view);

// Writes [Options] and the window's [Screen] keys into "zva.ini" in `folder`,
// keeping every other key of the file. Throws SettingsError on failure.
void saveSettings(const TSettings& settings, const std::string& folder,
                  const AdminView& view);

}  // namespace zv
