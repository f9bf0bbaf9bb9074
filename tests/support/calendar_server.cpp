#include "calendar_server.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "child_process.h"
#include "eventually.h"
#include "tcp_client.h"

namespace zv::test {

CalendarServer::CalendarServer() : folder_("zv-calendars") {
    makeFolder(folder_.file("files"));
    port_ = freeTcpPort();
    pid_ = spawn("/usr/bin/python3", folder_.path(), folder_.file("requests.log"),
                 {ZV_CALENDAR_SERVER_SCRIPT, folder_.file("files"), std::to_string(port_)});
    TcpClient probe;
    if (!eventually([&] { return probe.tryConnect(port_); }, std::chrono::seconds(15))) {
        throw std::runtime_error("the calendar server does not listen on port " + std::to_string(port_) +
                                 ": " + requestLog());
    }
}

CalendarServer::~CalendarServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::string CalendarServer::address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

void CalendarServer::serve(const std::string& name, const std::string& text) {
    const std::string temporary = folder_.file("files/." + name);
    writeFile(temporary, text);
    // Whole or not at all, for a fetch that comes while it is written.
    if (::rename(temporary.c_str(), folder_.file("files/" + name).c_str()) != 0) {
        throw std::runtime_error("cannot put the calendar " + name + " in place");
    }
}

std::string CalendarServer::requestLog() const {
    return fileExists(folder_.file("requests.log")) ? readFile(folder_.file("requests.log")) : std::string();
}

}  // namespace zv::test
