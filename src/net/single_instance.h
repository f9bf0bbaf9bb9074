#pragma once
// One server per user and data folder. The running instance holds a local
// socket in the abstract namespace named after the user id and the absolute
// data folder; a second start finds it, asks it to restore its window, and
// ends without touching any file. The socket vanishes with its process, so a
// crash leaves nothing stale behind.

#include <functional>
#include <string>
#include <thread>

namespace zv {

class SingleInstanceGuard {
public:
    enum class Result {
        Acquired,      // this process is the one instance
        OtherRunning,  // another instance runs; it was asked to restore itself
        Failed,        // the guard socket could not be set up (see error())
    };

    // `dataFolder` is made absolute (and symbolic links resolved) when it exists.
    explicit SingleInstanceGuard(std::string dataFolder);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // With `askToRestore` false, a running instance is only found, not asked
    // to restore its window (a command that works on a stopped server's
    // folder refuses quietly).
    Result acquire(bool askToRestore = true);

    // After Acquired: serves restore requests on a small thread of its own;
    // `onRestore` runs on that thread (post it to the main loop). The thread
    // ends with the guard.
    void serveRestoreRequests(std::function<void()> onRestore);

    const std::string& error() const { return error_; }
    // The abstract socket name (without its leading zero byte).
    const std::string& socketName() const { return name_; }

    static std::string socketNameFor(unsigned uid, const std::string& absoluteFolder);

private:
    void serve();

    std::string name_;
    std::string error_;
    int listenFd_ = -1;
    int wakeFd_ = -1;  // eventfd that ends the serving thread
    std::function<void()> onRestore_;
    std::thread thread_;
};

// One server per settings file: a running server holds a socket in the
// abstract namespace named after the settings file's absolute path, not
// after the user, so that "zelvorad --set-admin-password" run by root sees
// the claim of the service's user. It vanishes with its process. A change
// made to the file while a server runs would be written over when that
// server saves its settings.
class SettingsFileClaim {
public:
    enum class Result {
        Claimed,  // this process holds it now
        InUse,    // another process holds it: a server runs with the file
        Failed,   // the socket could not be set up (see error())
    };

    // `settingsPath` is made absolute (its folder's links resolved).
    explicit SettingsFileClaim(const std::string& settingsPath);
    ~SettingsFileClaim();
    SettingsFileClaim(const SettingsFileClaim&) = delete;
    SettingsFileClaim& operator=(const SettingsFileClaim&) = delete;

    Result claim();
    const std::string& error() const { return error_; }
    // The absolute path of the settings file.
    const std::string& settingsPath() const { return path_; }
    const std::string& socketName() const { return name_; }

private:
    std::string path_;
    std::string name_;
    std::string error_;
    int fd_ = -1;
};

}  // namespace zv
