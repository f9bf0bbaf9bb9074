#pragma once
// TDirectoryService: the office's directory as the server uses it. Asks the
// directory client (worker threads) and takes each answer on the main loop:
// the check of a directory password for the browser's sign-in, the
// administration's "Test", and the sync of the board with the directory's
// group at start, every hour and on demand (directory_sync.h), run as a step
// under the session mutex. A directory that cannot be reached is reported
// in one line, once until it answers again, and never holds up a client.
// Borrows the stores' list of the accounts it made ("directory.dat"), which
// it has read the first time it is needed, so that a server without a
// directory never makes that file.
//
// Main thread only; owns the client and the hourly timer.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "directory/directory_person.h"
#include "host/directory_sync.h"

namespace zv {

class TDIRList;
class TDirectoryClient;
class TLoopTimer;
class TMaintenanceApi;
struct TServerParts;

// A directory sign-in as the front ends take it: the directory's answer
// and the board account the person has (empty: none).
struct TDirectoryCheck {
    TDirectorySignIn answer;
    std::string employee;  // the board key (record bytes)
};

class TDirectoryService {
public:
    TDirectoryService(TServerParts& parts, TMaintenanceApi& api);
    ~TDirectoryService();
    TDirectoryService(const TDirectoryService&) = delete;
    TDirectoryService& operator=(const TDirectoryService&) = delete;

    // Once the server serves: the first sync, then one every hour.
    void start();
    void stop();

    // `done` runs later on the main loop, exactly once while the service
    // lives.
    void checkPassword(const std::string& name, const std::string& password,
                       std::function<void(const TDirectoryCheck&)> done);
    void lookUp(const std::string& name, std::function<void(const TDirectoryLookup&)> done);
    // A sync now; one asked while one runs gets that one's report. `who`
    // asked, as the record line says.
    void syncNow(const std::string& who, std::function<void(const TDirectorySyncReport&)> done = {});

    std::vector<TDirectoryLeaver> leavers();
    const TDirectorySyncReport& lastSync() const { return last_; }

    static constexpr std::chrono::hours kSyncEvery{1};

private:
    // The links, loaded on first use; nothing when the file cannot be read
    // (reported) or the stores are closed.
    TDIRList* links();
    // The board account of a person the directory signed in (empty: none).
    std::string boardAccountOf(const TDirectoryPerson& person);
    void peopleRead(const TDirectoryPeople& people);
    void finishSync(const TDirectorySyncReport& report);
    // One line when the directory fails, none while it keeps failing the
    // same way, one when it answers again.
    void trouble(const std::string& why);
    void answered();
    void schedule();
    // Runs `task` on the main loop while the service lives.
    std::function<void(std::function<void()>)> onMainLoop();

    TServerParts& parts_;
    TMaintenanceApi& api_;
    std::unique_ptr<TDirectoryClient> client_;
    std::unique_ptr<TLoopTimer> timer_;
    bool syncing_ = false;
    std::vector<std::function<void(const TDirectorySyncReport&)>> waiting_;
    TDirectorySyncReport last_;
    std::string troubleTold_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zv
