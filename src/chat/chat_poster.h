#pragma once
// TChatPoster: the posts to the chat's webhooks, made one after another by a
// worker thread of its own from a queue of bounded length, so that a chat
// that is slow or down never holds up a client's exchange or a page. A post
// that fails for a reason that may pass (no answer, a time-out, HTTP 408,
// 429 or 5xx) is tried again after a wait that doubles each time, for an
// hour, and then dropped with one line; one that the webhook refuses for
// good (another 4xx) is dropped at once with one line. A webhook that
// begins to fail, and one that works again, is told once each. Owns its
// thread; the destructor drops what is still queued (told in one line) and
// ends a post under way.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chat/http_post.h"

namespace zv {

struct TChatPost {
    std::string hook;  // the webhook's name, as lines name it
    std::string url;
    std::string body;
    std::vector<std::string> headers;
};

struct TChatPosterTiming {
    std::chrono::milliseconds firstWait{2000};
    std::chrono::milliseconds longestWait{std::chrono::minutes(5)};
    std::chrono::milliseconds giveUpAfter{std::chrono::hours(1)};
    std::chrono::seconds attemptTimeout{10};
    std::size_t queueLimit = 1000;
};

class TChatPoster {
public:
    // `report` gets each line for the record, on the poster's thread.
    explicit TChatPoster(std::function<void(const std::string&)> report, TChatPosterTiming timing = {});
    ~TChatPoster();
    TChatPoster(const TChatPoster&) = delete;
    TChatPoster& operator=(const TChatPoster&) = delete;

    // Any thread. Queues the post; false when the queue is full (the post is
    // dropped, and the first such drop since the queue last had room is
    // told).
    bool post(TChatPost post);
    // Any thread: one attempt, ahead of the queue, never tried again (the
    // administration's "Send a test"). `done` gets, on the poster's thread,
    // an empty text when the webhook took it, else why not.
    void tryOnce(TChatPost post, std::function<void(const std::string& why)> done);

private:
    using Clock = std::chrono::steady_clock;
    struct Item {
        TChatPost post;
        Clock::time_point firstTried{};
        Clock::time_point due{};
        int attempts = 0;
        std::function<void(const std::string&)> once;  // set for a test
    };
    void run();
    // Makes one attempt; the item comes back when it is to be tried again.
    bool attempt(Item& item);

    // constant after construction
    const std::function<void(const std::string&)> report_;
    const TChatPosterTiming timing_;
    // guarded by mutex_
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;
    bool fullTold_ = false;
    std::atomic<bool> stopping_ = false;
    // the poster's thread only
    std::map<std::string, bool> failing_;  // by hook: told that it fails
    // last: started once the members above exist
    std::thread thread_;
};

}  // namespace zv
