#pragma once
// TDirectoryClient: the directory's questions asked on worker threads, each
// answer handed back through `deliver` (the host posts it to its main loop),
// so that a slow or silent directory never holds up the caller. Sign-ins
// and look-ups share one worker; the sync's long read has its own, so that
// a sync never keeps a person waiting at the sign-in. Each queue is bounded:
// a question that finds it full is answered at once that the directory is
// busy. Owns its workers.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "directory/directory_config.h"
#include "directory/directory_person.h"

namespace zv {

class TWorkerThread;

class TDirectoryClient {
public:
    // Runs a task on the thread that should see the answers; any thread.
    using Deliver = std::function<void(std::function<void()>)>;

    explicit TDirectoryClient(Deliver deliver);
    // Waits for the questions being asked to end (each is bounded by the
    // time-out); answers still to come are not delivered.
    ~TDirectoryClient();
    TDirectoryClient(const TDirectoryClient&) = delete;
    TDirectoryClient& operator=(const TDirectoryClient&) = delete;

    // Any thread: the settings that the questions asked from now on use.
    void setConfig(const TDirectoryConfig& config);
    TDirectoryConfig config() const;

    // Any thread; `done` runs through `deliver`, exactly once.
    void checkPassword(const std::string& name, const std::string& password,
                       std::function<void(TDirectorySignIn)> done);
    void lookUp(const std::string& name, std::function<void(TDirectoryLookup)> done);
    void readPeople(std::function<void(TDirectoryPeople)> done);

    static constexpr std::size_t kQueueLimit = 64;

private:
    // Runs `ask` on `worker` and hands its answer to `done`; a full queue
    // gets `busy` instead.
    template <class Answer>
    void ask(TWorkerThread& worker, std::function<Answer(const TDirectoryConfig&)> ask,
             std::function<void(Answer)> done, Answer busy);

    const Deliver deliver_;
    mutable std::mutex mutex_;  // guards config_
    std::shared_ptr<const TDirectoryConfig> config_;
    std::unique_ptr<TWorkerThread> questions_;
    std::unique_ptr<TWorkerThread> sync_;
};

}  // namespace zv
