#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "eventually.h"

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


// fork and exec with standard input from `inputFd` (or /dev/null) and both
// outputs into `outputFd`.
int spawnWithOutput(const std::vector<std::string>& argv, int inputFd, int outputFd) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork for " + argv.front() + ": " + std::strerror(errno));
    if (pid == 0) {
        const int in = inputFd >= 0 ? inputFd : ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(outputFd, 1);
        ::dup2(outputFd, 2);
        ::setpgid(0, 0);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(int pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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


ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath) {
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out < 0) throw std::runtime_error("cannot open " + outputPath + ": " + std::strerror(errno));
    pid_ = spawnWithOutput(argv, -1, out);
    ::close(out);
}

ChildProcess::~ChildProcess() { stop(); }

void ChildProcess::signal(int sig) const {
    if (pid_ > 0) ::kill(pid_, sig);
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGCONT);  // a stopped process cannot end
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!eventually([&] { return ::waitpid(pid_, &status, WNOHANG) != 0; }, grace)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

int runCommand(const std::vector<std::string>& argv, std::string* output, const std::string& input) {
    char outName[] = "/tmp/zv-command-XXXXXX";
    const int out = ::mkstemp(outName);
    if (out < 0) throw std::runtime_error(std::string("mkstemp: ") + std::strerror(errno));
    ::unlink(outName);
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const int pid = spawnWithOutput(argv, pipeFds[0], out);
    ::close(pipeFds[0]);
    for (std::size_t sent = 0; sent < input.size();) {
        const ssize_t n = ::write(pipeFds[1], input.data() + sent, input.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::close(pipeFds[1]);
    const int status = waitFor(pid);
    if (output) {
        output->clear();
        char buffer[4096];
        ::lseek(out, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(out, buffer, sizeof buffer)) > 0;)
            output->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out);
    return status;
}

}  // namespace zv::test
