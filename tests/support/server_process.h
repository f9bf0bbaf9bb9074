#pragma once
// A zelvorad of its own for a test: the executable is copied into a program
// folder (where its "zva.ini" lives), the server runs with a data folder as
// its current directory, on a port that was free, with its standard error
// kept in a file beside the two folders.

#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace zv::test {

class ServerProcess {
public:
    // `executable` is the built zelvorad (or zelvora-admin, which needs a
    // display). Creates <temp>/prog and <temp>/data
    // and a "zva.ini" with a free port and the given [Options] values
    // (BlockSize 8192, ExpDays 0 and MaxLogSize 100 unless overridden).
    explicit ServerProcess(const std::string& executable,
                           std::map<std::string, std::string> options = {});
    ~ServerProcess();  // kills a server still running
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the server and waits until it accepts connections. Throws when it
    // exits first or does not listen within the limit.
    void start(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Starts it without waiting (for a start that is expected to fail).
    void launch();
    // Waits for the process to end; its exit status (128 + signal when killed),
    // or -1 when it did not end within the limit.
    int waitForExit(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // SIGTERM (or the given signal) and wait: the exit status.
    int stop(int signal = SIGTERM);
    // SIGKILL and wait.
    void kill9();
    bool running() const { return pid_ > 0; }

    int port() const { return port_; }
    int pid() const { return pid_; }
    const std::string& programFolder() const { return prog_; }
    const std::string& dataFolder() const { return data_; }
    std::string dataFile(const std::string& name) const { return data_ + "/" + name; }
    std::string iniPath() const { return prog_ + "/zva.ini"; }
    // Everything the server wrote to standard error so far.
    std::string stderrText() const;

    // Runs another copy of the program in the same folders and waits for it
    // to end; its exit status (-1 when it did not end within the limit) and
    // its standard error. `input` is its standard input (empty by default).
    int runSecondCopy(std::string* errorText,
                      std::chrono::milliseconds limit = std::chrono::seconds(20), const std::string& input = {});

    // Rewrites "zva.ini" with these [Options] values (the port stays); keys
    // beyond the five written by default (IdleTimeout, MaxClients ...) follow
    // them.
    void writeIni(const std::map<std::string, std::string>& options);
    // The same settings file at another place (for --config).
    void writeIniTo(const std::string& path, const std::map<std::string, std::string>& options = {});

    // How the next starts run: the arguments after the program name (none by
    // default), variables added to the environment, and the current
    // directory (the data folder by default).
    void setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
    void setEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }
    void setWorkingFolder(std::string folder) { cwd_ = std::move(folder); }
    const std::string& stderrPath() const { return stderrPath_; }
    // A folder of this server's temporary folder, for a test's own files.
    std::string tempFile(const std::string& name) const { return temp_.file(name); }

    // The HTTP side is off ([Web] Port=0) unless this turns it on, at a port
    // that was free, with these further [Web] values; rewrites "zva.ini" with
    // the [Options] values of the last writeIni. Returns the web port.
    int enableWeb(const std::map<std::string, std::string>& web = {});
    int webPort() const { return webPort_; }

private:
    TempDir temp_;
    std::string prog_;
    std::string data_;
    std::string exe_;
    std::string stderrPath_;
    int port_ = 0;
    int pid_ = -1;
    std::vector<std::string> arguments_;
    std::map<std::string, std::string> environment_;
    std::string cwd_;
    std::map<std::string, std::string> options_;  // of the last writeIni
    std::map<std::string, std::string> web_;      // [Web] values
    int webPort_ = 0;
};

}  // namespace zv::test
