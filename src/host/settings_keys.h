#pragma once
// Every key of the settings file that the server reads into TSettings: its
// section and name, the text that holds it, and when a change made in the
// file while the server runs takes effect (a reload: SIGHUP). The reload, the
// configuration check and the writes of the keys the server changed take
// their keys from this table; a new setting is one more row.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "host/settings.h"

namespace zv {

enum class TakesEffect {
    AtOnce,       // the running server uses the new text from the reload on
    AtNextStart,  // read when the server starts (a socket, a size agreed with clients)
};

struct TSettingKey {
    const char* section;
    const char* key;
    std::string TSettings::*text;
    TakesEffect effect;
    bool secret = false;  // listed as set or not set, never shown
};

inline constexpr std::array<TSettingKey, 41> kSettingKeys{{
    {"Options", "BlockSize", &TSettings::BlockSize, TakesEffect::AtNextStart},
    {"Options", "SMTPHost", &TSettings::SMTPHost, TakesEffect::AtOnce},
    {"Options", "Port", &TSettings::Port, TakesEffect::AtNextStart},
    {"Options", "ExpDays", &TSettings::ExpDays, TakesEffect::AtOnce},
    {"Options", "MaxLogSize", &TSettings::MaxLogSize, TakesEffect::AtOnce},
    {"Options", "IdleTimeout", &TSettings::IdleTimeout, TakesEffect::AtOnce},
    {"Options", "MaxClients", &TSettings::MaxClients, TakesEffect::AtOnce},
    {"Options", "Address", &TSettings::Address, TakesEffect::AtNextStart},
    {"Regional", "ShortDateFormat", &TSettings::ShortDateFormat, TakesEffect::AtOnce},
    {"Regional", "LongTimeFormat", &TSettings::LongTimeFormat, TakesEffect::AtOnce},
    {"Web", "Port", &TSettings::WebPort, TakesEffect::AtNextStart},
    {"Web", "Address", &TSettings::WebAddress, TakesEffect::AtNextStart},
    {"Web", "CertFile", &TSettings::WebCertFile, TakesEffect::AtNextStart},
    {"Web", "KeyFile", &TSettings::WebKeyFile, TakesEffect::AtNextStart},
    {"Web", "AdminPassword", &TSettings::WebAdminPassword, TakesEffect::AtOnce, true},
    {"Web", "MetricsToken", &TSettings::WebMetricsToken, TakesEffect::AtNextStart, true},
    {"Board", "AutoOutAt", &TSettings::AutoOutAt, TakesEffect::AtOnce},
    {"Board", "AutoOutDone", &TSettings::AutoOutDone, TakesEffect::AtOnce},
    {"Board", "StatusPresets", &TSettings::StatusPresets, TakesEffect::AtOnce},
    {"Directory", "URI", &TSettings::DirectoryURI, TakesEffect::AtOnce},
    {"Directory", "StartTLS", &TSettings::DirectoryStartTLS, TakesEffect::AtOnce},
    {"Directory", "CAFile", &TSettings::DirectoryCAFile, TakesEffect::AtOnce},
    {"Directory", "BindDN", &TSettings::DirectoryBindDN, TakesEffect::AtOnce},
    {"Directory", "BindPassword", &TSettings::DirectoryBindPassword, TakesEffect::AtOnce, true},
    {"Directory", "Base", &TSettings::DirectoryBase, TakesEffect::AtOnce},
    {"Directory", "Filter", &TSettings::DirectoryFilter, TakesEffect::AtOnce},
    {"Directory", "LoginAttribute", &TSettings::DirectoryLoginAttribute, TakesEffect::AtOnce},
    {"Directory", "LastNameAttribute", &TSettings::DirectoryLastNameAttribute, TakesEffect::AtOnce},
    {"Directory", "FirstNameAttribute", &TSettings::DirectoryFirstNameAttribute, TakesEffect::AtOnce},
    {"Directory", "DepartmentAttribute", &TSettings::DirectoryDepartmentAttribute, TakesEffect::AtOnce},
    {"Directory", "EMailAttribute", &TSettings::DirectoryEMailAttribute, TakesEffect::AtOnce},
    {"Directory", "WorkPhoneAttribute", &TSettings::DirectoryWorkPhoneAttribute, TakesEffect::AtOnce},
    {"Directory", "CellPhoneAttribute", &TSettings::DirectoryCellPhoneAttribute, TakesEffect::AtOnce},
    {"Directory", "HomePhoneAttribute", &TSettings::DirectoryHomePhoneAttribute, TakesEffect::AtOnce},
    {"Directory", "PagerAttribute", &TSettings::DirectoryPagerAttribute, TakesEffect::AtOnce},
    {"Directory", "Group", &TSettings::DirectoryGroup, TakesEffect::AtOnce},
    {"Directory", "AdminGroup", &TSettings::DirectoryAdminGroup, TakesEffect::AtOnce},
    {"Directory", "FrontDeskGroup", &TSettings::DirectoryFrontDeskGroup, TakesEffect::AtOnce},
    {"Directory", "Timeout", &TSettings::DirectoryTimeout, TakesEffect::AtOnce},
    {"Calendars", "AllowedHosts", &TSettings::CalendarAllowedHosts, TakesEffect::AtOnce},
    {"FrontDesk", "Accounts", &TSettings::FrontDeskAccounts, TakesEffect::AtOnce},
}};

// The keys of each [Chat.<name>] section: one webhook of the team chat.
inline constexpr const char* kChatSectionPrefix = "Chat.";
struct TChatHookKey {
    const char* key;
    std::string TChatHookTexts::*text;
    bool secret = false;
};
inline constexpr std::array<TChatHookKey, 5> kChatHookKeys{{
    {"URL", &TChatHookTexts::URL, true},  // a webhook's URL is its password
    {"Kind", &TChatHookTexts::Kind},
    {"Secret", &TChatHookTexts::Secret, true},
    {"Departments", &TChatHookTexts::Departments},
    {"Events", &TChatHookTexts::Events},
}};

// The webhook's name when `section` is "Chat.<name>" (any case), else nothing.
std::optional<std::string> chatHookName(std::string_view section);

// The window's placement, written by the window (see screenKeys).
inline constexpr const char* kScreenSection = "Screen";
inline constexpr std::array<const char*, 5> kScreenKeyNames{"Left", "Top", "Width", "Height", "Status"};

// "[Options] Port", as messages name a key.
std::string settingName(const TSettingKey& key);

// Whether `section` holds keys of this server (the table's and [Screen]), and
// whether `key` is one of them; both compared without regard to case.
bool isServerSection(std::string_view section);
bool isServerKey(std::string_view section, std::string_view key);

}  // namespace zv
