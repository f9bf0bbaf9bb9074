#pragma once
// The small web server of the calendar tests (calendar_server.py, started
// with python3 as a plain process): serves the files of a folder of its own
// as calendars, and a few addresses that misbehave (a redirection, an answer
// that never comes, a 20 MB answer). Stopped and removed with the object.

#include <sys/types.h>

#include <string>

#include "temp_dir.h"

namespace zv::test {

class CalendarServer {
public:
    // Starts it on a free port of 127.0.0.1 and waits until it listens;
    // throws when it does not.
    CalendarServer();
    ~CalendarServer();
    CalendarServer(const CalendarServer&) = delete;
    CalendarServer& operator=(const CalendarServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>/<path>"
    std::string address(const std::string& path) const;
    // Puts a calendar file in its folder (replacing one of that name).
    void serve(const std::string& name, const std::string& text);
    // The requests it has had, one line each.
    std::string requestLog() const;

private:
    TempDir folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace zv::test
