#pragma once
// A program a test starts as a plain process of its own (a directory server,
// a web receiver): standard output and error into a file, stopped with
// SIGTERM (SIGKILL after a few seconds) when the object goes away.

#include <chrono>
#include <string>
#include <vector>

namespace zv::test {

class ChildProcess {
public:
    // Starts argv[0] (looked up on PATH) with the arguments; throws when it
    // cannot be started.
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    bool running() const { return pid_ > 0; }
    // Sends `signal` (the process keeps running for SIGSTOP and SIGCONT).
    void signal(int signal) const;
    // SIGTERM, then SIGKILL when it has not ended within `grace`; waits.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    int pid_ = -1;
};

// Runs a command to its end; its exit status, output and errors in `output`.
int runCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               const std::string& input = {});

}  // namespace zv::test
