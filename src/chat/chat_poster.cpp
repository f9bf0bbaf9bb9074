#include "chat/chat_poster.h"

#include <algorithm>

namespace zv {

namespace {

bool mayPass(const THttpAnswer& answer) {
    return answer.status == 0 || answer.status == 408 || answer.status == 429 || answer.status >= 500;
}

std::string whyNot(const THttpAnswer& answer) {
    return answer.status == 0 ? answer.error : "the webhook answered HTTP " + std::to_string(answer.status);
}

}  // namespace

TChatPoster::TChatPoster(std::function<void(const std::string&)> report, TChatPosterTiming timing)
    : report_(std::move(report)), timing_(timing), thread_([this] { run(); }) {}

TChatPoster::~TChatPoster() {
    std::size_t dropped = 0;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped = queue_.size();
        queue_.clear();
    }
    wake_.notify_all();
    thread_.join();
    if (dropped)
        report_("chat: " + std::to_string(dropped) +
                " posts still waiting were dropped as the server stopped");
}

bool TChatPoster::post(TChatPost post) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= timing_.queueLimit) {
            const bool tell = !fullTold_;
            fullTold_ = true;
            if (tell) {
                report_("chat: " + std::to_string(timing_.queueLimit) +
                        " posts are waiting already; news is dropped until the chat takes them");
            }
            return false;
        }
        fullTold_ = false;
        const auto now = Clock::now();
        queue_.push_back({std::move(post), now, now, 0, {}});
    }
    wake_.notify_one();
    return true;
}

void TChatPoster::tryOnce(TChatPost post, std::function<void(const std::string&)> done) {
    {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        queue_.push_front({std::move(post), now, now, 0, std::move(done)});
    }
    wake_.notify_one();
}

void TChatPoster::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_.empty()) {
            wake_.wait(lock);
            continue;
        }
        // The first item that is due, in queue order.
        const auto next = std::min_element(queue_.begin(), queue_.end(),
                                           [](const Item& a, const Item& b) { return a.due < b.due; });
        if (next->due > Clock::now()) {
            wake_.wait_until(lock, next->due);
            continue;
        }
        Item item = std::move(*next);
        queue_.erase(next);
        lock.unlock();
        const bool again = attempt(item);
        lock.lock();
        if (again && !stopping_) queue_.push_back(std::move(item));
    }
}

bool TChatPoster::attempt(Item& item) {
    ++item.attempts;
    const THttpAnswer answer =
        httpPost(item.post.url, item.post.body, item.post.headers, timing_.attemptTimeout, stopping_);
    const std::string name = "chat webhook \"" + item.post.hook + "\"";
    if (item.once) {
        item.once(answer.delivered() ? std::string() : whyNot(answer));
        return false;
    }
    if (answer.delivered()) {
        if (failing_[item.post.hook]) report_(name + " takes posts again");
        failing_[item.post.hook] = false;
        return false;
    }
    if (stopping_) return false;
    const auto now = Clock::now();
    if (!mayPass(answer)) {
        report_(name + ": a post was refused and is dropped: " + whyNot(answer));
        return false;
    }
    if (now - item.firstTried >= timing_.giveUpAfter) {
        report_(name + ": a post was dropped after " + std::to_string(item.attempts) +
                " attempts: " + whyNot(answer));
        return false;
    }
    if (!failing_[item.post.hook])
        report_(name + " does not take posts (" + whyNot(answer) + "); trying again");
    failing_[item.post.hook] = true;
    auto wait = timing_.firstWait;
    for (int i = 1; i < item.attempts && wait < timing_.longestWait; ++i) wait *= 2;
    item.due = now + std::min(wait, timing_.longestWait);
    return true;
}

}  // namespace zv
