#pragma once
// Programs a test starts as plain processes of their own: a server, a second
// copy, a directory server, a small web server, a command run to its end.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace zv::test {

// Starts `exe` with `cwd` as its current directory, its standard error
// appended to `errPath`, its standard input from `inputPath` (/dev/null when
// empty), and these variables added to the environment. Throws when it
// cannot fork.
pid_t spawn(const std::string& exe, const std::string& cwd, const std::string& errPath,
            const std::vector<std::string>& arguments = {},
            const std::map<std::string, std::string>& environment = {}, const std::string& inputPath = {});

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
