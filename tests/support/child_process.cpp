#include "child_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zv::test {

namespace {

// What a child is started with; built before the fork, because the child
// may only make async-signal-safe calls.
struct Launch {
    std::vector<std::string> argvText;
    std::vector<std::string> envText;
    std::vector<char*> argv;
    std::vector<char*> envp;

    Launch(const std::string& exe, const std::vector<std::string>& arguments,
           const std::map<std::string, std::string>& environment) {
        argvText.push_back(exe);
        argvText.insert(argvText.end(), arguments.begin(), arguments.end());
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            if (!environment.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
        }
        for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
        for (std::string& a : argvText) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
    }
};

}  // namespace

pid_t spawn(const std::string& exe, const std::string& cwd, const std::string& errPath,
            const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
            const std::string& inputPath) {
    Launch launch(exe, arguments, environment);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        // Child: only async-signal-safe calls from here on.
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (err >= 0) {
            ::dup2(err, 2);
            ::close(err);
        }
        int nul = ::open("/dev/null", O_RDWR);
        if (nul >= 0) {
            ::dup2(nul, 0);
            ::dup2(nul, 1);
            ::close(nul);
        }
        if (!inputPath.empty()) {
            const int in = ::open(inputPath.c_str(), O_RDONLY);
            if (in >= 0) {
                ::dup2(in, 0);
                ::close(in);
            }
        }
        ::execve(exe.c_str(), launch.argv.data(), launch.envp.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace zv::test
