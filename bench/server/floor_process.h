#pragma once
// A floor server in a process of its own, as zelvorad is: its round trips
// with the clients then cross between two processes, as the server's do, and
// its CPU time is counted as the server's is.

#include <sys/types.h>

#include <string>

#include "floor_server.h"

namespace zv::bench {

// CPU time the process has used so far, in ms (all its threads, also those
// that have ended), in its own code and in the system's for it.
struct CpuTimes {
    double user = 0, system = 0;
    double total() const { return user + system; }
};
CpuTimes processCpu(pid_t pid);
inline double processCpuMs(pid_t pid) { return processCpu(pid).total(); }

class FloorProcess {
public:
    // Forks; the child serves `script` until this object goes. Call while
    // the calling process runs no other thread: the child keeps only the
    // calling one.
    FloorProcess(FloorScript script, std::string folder);
    ~FloorProcess();
    FloorProcess(const FloorProcess&) = delete;
    FloorProcess& operator=(const FloorProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    double cpuMs() const { return processCpuMs(pid_); }

private:
    void stop();  // ends the child and waits for it

    pid_t pid_ = -1;
    int control_ = -1;  // the child serves until this end is closed
    int port_ = 0;
};

}  // namespace zv::bench
