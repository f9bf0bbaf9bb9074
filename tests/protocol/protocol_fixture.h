#pragma once
// Test support: a temporary working folder, a server context over real stores
// in that folder, and builders for client requests.

#include <gtest/gtest.h>

#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/server_context.h"
#include "protocol/session_mutex.h"
#include "stores/stores.h"

namespace zv::test {

// Creates a fresh folder (under /dev/shm, else /tmp) and makes it the current directory (the
// data files and debug logs live there); restores and removes it at the end.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Reads a whole file; empty when it does not exist.
std::string readFile(const std::string& name);
bool fileExists(const std::string& name);

// A server host stand-in: the six stores with their usual file names in the
// current directory, settings as plain members, and a record of every call
// the sessions make on it.
class TFakeServerContext : public TServerContext {
public:
    TFakeServerContext();

    TWIWOList& board() override { return board_; }
    TPOSTIList& memos() override { return memos_; }
    TWYWOList& messages() override { return messages_; }
    TDEPTList& departments() override { return departments_; }
    TPHONEList& phonebook() override { return phonebook_; }
    TLOGList& statusLog() override { return log_; }

    int blockSizeInUse() const override { return blockSize; }
    std::string expDaysText() const override { return expDays; }
    std::string smtpHost() const override { return smtp; }

    void updateThreadList(const std::string& connectionId, const std::string& employeeKey) override;
    void clearUserTable(int count) override;
    void refreshUserTable(const std::string& employeeName) override;
    void notifyMessage(TWYWONode& message) override;

    TEventLoop& mainLoop() override;
    TSessionMutex& sessionMutex() override { return sessionMutex_; }
    void clientThreadTerminated(TClientThread& session) override;

    // Adds an account and saves the board.
    TWIWONode& addEmployee(const std::string& key, const std::string& password,
                           const std::string& status = "Out", const std::string& department = "Sales");
    // Adds a memo / message for a recipient, dated now (stores save).
    TPOSTINode& addMemo(const std::string& recipient, const std::string& text, std::time_t when);
    TWYWONode& addMessage(const std::string& recipient, const std::string& caller, std::time_t when);

    // When set, updateThreadList throws (a step that fails half-way);
    // every call counts in threadListAttempts and notifies callsChanged.
    bool failThreadListUpdate = false;
    int threadListAttempts = 0;
    std::condition_variable callsChanged;

    // Settings.
    int blockSize = 8192;
    std::string expDays = "1";
    std::string smtp;

    // Calls seen (guarded by callsMutex when sessions run on other threads).
    std::mutex callsMutex;
    std::vector<std::pair<std::string, std::string>> threadListUpdates;
    std::vector<int> userTableClears;
    std::vector<std::string> userTableRefreshes;
    std::vector<std::string> notifiedRecipients;
    std::vector<std::string> terminatedIds;

    TEventLoop* loop = nullptr;                        // set when a main loop runs
    std::function<void(TClientThread&)> onTerminated;  // called inside clientThreadTerminated

private:
    TWIWOList board_;
    TPOSTIList memos_;
    TWYWOList messages_;
    TDEPTList departments_;
    TPHONEList phonebook_;
    TLOGList log_;
    TSessionMutex sessionMutex_;
};

// A login request: "SUBMIT_LOGIN:mode:key|password:" and the four sections.
std::string loginRequest(const std::string& mode, const std::string& key, const std::string& password,
                         const std::string& board = "NO_DATA", const std::string& memo = "NO_DATA",
                         const std::string& message = "NO_DATA", const std::string& phonebook = "NO_DATA");

// Record strings.
std::string boardRecord(const std::string& key, const std::string& status, const std::string& comments,
                        const std::string& password = "pw");
std::string memoRecord(const std::string& recipient, const std::string& text, std::time_t when);
std::string messageRecord(const std::string& recipient, const std::string& takenBy, const std::string& caller,
                          std::time_t when);

// A fixed clock for the date-time texts; restores the system clock at the end.
class TFixedClock {
public:
    explicit TFixedClock(std::time_t t);
    ~TFixedClock();
    void set(std::time_t t);
    std::time_t now() const { return *value_; }

private:
    std::shared_ptr<std::time_t> value_;
};

// 2026-03-02 10:20:30 local time.
std::time_t sampleTime();

}  // namespace zv::test
