#pragma once
// The floor of the board benchmark: libmicrohttpd, set up as the server's
// HTTP side is (internal thread pool over epoll, the same pool size),
// answering every request with one static body and no other work.

#include <string>

struct MHD_Daemon;

namespace zv::bench {

class StaticFloor {
public:
    StaticFloor(std::string body, unsigned threads);
    ~StaticFloor();
    StaticFloor(const StaticFloor&) = delete;
    StaticFloor& operator=(const StaticFloor&) = delete;
    int port() const { return port_; }

private:
    std::string body_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

// The floor in a process of its own, as the server is: this program run
// again with --static-floor FILE, which serves the file's bytes until its
// standard input closes.
class StaticFloorProcess {
public:
    StaticFloorProcess(const std::string& body, unsigned threads);
    ~StaticFloorProcess();
    StaticFloorProcess(const StaticFloorProcess&) = delete;
    StaticFloorProcess& operator=(const StaticFloorProcess&) = delete;
    int port() const { return port_; }

private:
    std::string bodyFile_;
    int pid_ = -1;
    int toChild_ = -1;
    int port_ = 0;
};

// The child's side: serves FILE and prints the port; returns the exit status.
int runStaticFloor(const std::string& bodyFile, unsigned threads);

}  // namespace zv::bench
