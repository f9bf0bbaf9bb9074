#include "host/office_settings.h"

#include <strings.h>

#include "directory/directory_problems.h"

namespace zv {

namespace {

// "yes"/"no" as the settings file writes them (also "true"/"false", "1"/"0").
std::optional<bool> yesOrNo(const std::string& text) {
    for (const char* yes : {"yes", "true", "1"}) {
        if (::strcasecmp(text.c_str(), yes) == 0) return true;
    }
    for (const char* no : {"no", "false", "0", ""}) {
        if (::strcasecmp(text.c_str(), no) == 0) return false;
    }
    return std::nullopt;
}

}  // namespace

TDirectoryConfig directoryConfigOf(const TSettings& s, std::vector<std::string>* problems) {
    TDirectoryConfig c;
    c.uri = s.DirectoryURI;
    const std::optional<bool> startTls = yesOrNo(s.DirectoryStartTLS);
    c.startTls = startTls.value_or(true);
    c.caFile = s.DirectoryCAFile;
    c.bindDn = s.DirectoryBindDN;
    c.bindPassword = s.DirectoryBindPassword;
    c.base = s.DirectoryBase;
    c.filter = s.DirectoryFilter;
    c.loginAttribute = s.DirectoryLoginAttribute;
    c.lastNameAttribute = s.DirectoryLastNameAttribute;
    c.firstNameAttribute = s.DirectoryFirstNameAttribute;
    c.departmentAttribute = s.DirectoryDepartmentAttribute;
    c.emailAttribute = s.DirectoryEMailAttribute;
    c.workPhoneAttribute = s.DirectoryWorkPhoneAttribute;
    c.cellPhoneAttribute = s.DirectoryCellPhoneAttribute;
    c.homePhoneAttribute = s.DirectoryHomePhoneAttribute;
    c.pagerAttribute = s.DirectoryPagerAttribute;
    c.group = s.DirectoryGroup;
    c.adminGroup = s.DirectoryAdminGroup;
    c.frontDeskGroup = s.DirectoryFrontDeskGroup;
    c.timeoutSeconds = s.directoryTimeoutSeconds;
    if (problems) {
        *problems = directoryConfigProblems(c);
        if (c.configured() && !startTls)
            problems->push_back("StartTLS \"" + s.DirectoryStartTLS + "\" is neither yes nor no");
    }
    return c;
}

std::vector<TChatHook> chatHooksOf(const TSettings& settings, std::vector<std::string>* problems) {
    std::vector<TChatHook> hooks;
    for (const TChatHookTexts& texts : settings.chatHooks) {
        const std::string section = "[Chat." + texts.name + "] ";
        const auto leftOut = [&](const std::string& why) {
            if (problems) problems->push_back(section + why + "; the webhook is not used");
        };
        TChatHook hook;
        hook.name = texts.name;
        hook.url = texts.URL;
        hook.secret = texts.Secret;
        hook.departments = commaList(texts.Departments);
        std::string unknown;
        const auto kind = chatKindOf(texts.Kind.empty() ? "slack" : texts.Kind);
        const auto events = chatEventsOf(texts.Events, &unknown);
        if (hook.url.rfind("https://", 0) != 0 && hook.url.rfind("http://", 0) != 0) {
            leftOut("URL is no http:// or https:// address");
        } else if (!kind) {
            leftOut("Kind \"" + texts.Kind + "\" is none of slack, teams and json");
        } else if (!events) {
            leftOut("Events names \"" + unknown +
                    "\", which is none of status, overdue, absence and message");
        } else if (*kind == TChatKind::Json && hook.secret.empty()) {
            leftOut("Kind json needs a Secret to sign its posts with");
        } else {
            hook.kind = *kind;
            hook.events = *events;
            hooks.push_back(std::move(hook));
        }
    }
    return hooks;
}

std::vector<std::string> officeSettingProblems(const TSettings& settings) {
    std::vector<std::string> problems;
    directoryConfigOf(settings, &problems);
    for (std::string& problem : problems) problem = "[Directory] " + problem;
    chatHooksOf(settings, &problems);
    return problems;
}

}  // namespace zv
