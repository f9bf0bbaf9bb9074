#include "app/set_admin_password.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "host/admin_audit.h"
#include "host/admin_password.h"
#include "host/headless_view.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "host/settings.h"
#include "net/single_instance.h"

namespace zv::app {

namespace {

int fail(const std::string& why) {
    standardErrorLine(LinePriority::Error, std::string(programName()) + ": " + why);
    return 1;
}

// One line of standard input without its line end; nothing at its end.
bool readLine(std::string& line) {
    line.clear();
    char c;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !line.empty();
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// Asks on the terminal with the echo off.
bool askOnTerminal(const char* prompt, std::string& answer) {
    std::cerr << prompt << std::flush;
    termios before{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &before) == 0;
    if (quiet) {
        termios silent = before;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const bool got = readLine(answer);
    if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    std::cerr << '\n';
    return got;
}

}  // namespace

int setAdminPassword(const SettingsFiles& files) {
    // Held to the end, so that no server starts with the file meanwhile.
    SettingsFileClaim claim(files.settingsPath);
    switch (claim.claim()) {
        case SettingsFileClaim::Result::Claimed:
            break;
        case SettingsFileClaim::Result::InUse:
            return fail("a Zelvora Admin/Server is running with the settings file \"" + claim.settingsPath() +
                        "\"; stop it first, or set the password in its window (Options, Web Access) or its "
                        "administration pages");
        case SettingsFileClaim::Result::Failed:
            return fail(claim.error());
    }

    std::string password;
    if (::isatty(STDIN_FILENO)) {
        std::string again;
        if (!askOnTerminal("New administrator's password: ", password) ||
            !askOnTerminal("The same password again: ", again)) {
            return fail("no password was given; nothing was changed");
        }
        if (password != again) return fail("the two passwords differ; nothing was changed");
    } else {
        readLine(password);
    }
    if (const std::string why = adminPasswordRefusal(password); !why.empty()) {
        return fail(why + " Nothing was changed.");
    }

    HeadlessView view(std::cerr, [] {}, standardErrorIsJournal());
    try {
        const std::string hash = hashAdminPassword(password);
        struct stat before {};
        if (::stat(files.settingsPath.c_str(), &before) != 0) {
            // A first start's settings file (the defaults, or an imported
            // legacy file), so that the server finds every key.
            TSettings settings;
            loadSettings(settings, files, view);
        }
        // Written anew, the file keeps its owner and mode (IniFile::save), so
        // that a service's own user can still write it after root ran this.
        saveAdminPasswordHash(files, hash);
    } catch (const std::exception& e) {
        return fail(std::string(e.what()) + "; nothing was changed");
    }
    auditAdminChange(view, "the command line", "set the administrator's password in \"" + claim.settingsPath() + "\"");
    return 0;
}

}  // namespace zv::app
