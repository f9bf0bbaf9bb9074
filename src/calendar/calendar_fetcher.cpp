#include "calendar/calendar_fetcher.h"

#include <curl/curl.h>

#include <list>
#include <memory>
#include <stdexcept>

#include "calendar/calendar_address.h"

namespace zv::calendar {

namespace {

void startLibrary() {
    static std::once_flag once;
    static CURLcode started = CURLE_OK;
    std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (started != CURLE_OK) {
        throw std::runtime_error(std::string("libcurl cannot start: ") + curl_easy_strerror(started));
    }
}

}  // namespace

// One job under way: its easy handle, the answer so far, its deadline.
struct TCalendarFetcher::Transfer {
    TFetchJob job;
    std::string address;  // the one fetched now (after redirections)
    CURL* easy = nullptr;
    bool added = false;  // to the multi handle
    std::string body;
    std::size_t largest = 0;
    bool tooLarge = false;
    int redirections = 0;
    std::chrono::steady_clock::time_point deadline;
    char error[CURL_ERROR_SIZE] = {};

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
    }
};

TCalendarFetcher::TCalendarFetcher(TFetchLimits limits, std::function<void(TFetchResult)> done)
    : limits_(std::move(limits)), done_(std::move(done)) {}

TCalendarFetcher::~TCalendarFetcher() { stop(); }

void TCalendarFetcher::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return;
    startLibrary();
    CURLM* multi = curl_multi_init();
    if (!multi) throw std::runtime_error("libcurl cannot make a multi handle");
    multi_ = multi;
    stopping_ = false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        curl_multi_cleanup(multi);
        multi_ = nullptr;
        throw;
    }
}

void TCalendarFetcher::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        stopping_ = true;
        queue_.clear();
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    thread_.join();
    std::lock_guard lock(mutex_);
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
    multi_ = nullptr;
}

bool TCalendarFetcher::submit(TFetchJob job) {
    std::lock_guard lock(mutex_);
    if (stopping_ || !multi_ || queue_.size() >= limits_.queued) return false;
    queue_.push_back(std::move(job));
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
    return true;
}

void TCalendarFetcher::run() {
    CURLM* multi = static_cast<CURLM*>(multi_);
    std::list<std::unique_ptr<Transfer>> active;
    const std::string timedOut =
        "no answer within " + std::to_string(limits_.within.count() / 1000) + " seconds";
    const std::string tooLarge =
        "the answer is larger than " + std::to_string(limits_.largest / (1024 * 1024)) + " MB";

    // Starts (or, after a redirection, starts again) the transfer of
    // t.address; why it cannot, or empty.
    const auto begin = [&](Transfer& t) -> std::string {
        if (std::string why = addressRefusal(t.address, &t.job.allowedHosts); !why.empty()) return why;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            t.deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return timedOut;
        if (!t.easy)
            t.easy = curl_easy_init();
        else
            curl_easy_reset(t.easy);
        if (!t.easy) return "libcurl cannot make a handle";
        t.body.clear();
        t.tooLarge = false;
        t.error[0] = '\0';
        CURL* e = t.easy;
        curl_easy_setopt(e, CURLOPT_URL, t.address.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);  // each redirection is checked here
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(left.count()));
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.largest));
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
        if (!limits_.userAgent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, limits_.userAgent.c_str());
        curl_easy_setopt(
            e, CURLOPT_WRITEFUNCTION,
            +[](char* bytes, std::size_t size, std::size_t count, void* data) -> std::size_t {
                auto& transfer = *static_cast<Transfer*>(data);
                const std::size_t n = size * count;
                if (transfer.body.size() + n > transfer.largest) {
                    transfer.tooLarge = true;
                    return 0;  // ends the transfer
                }
                transfer.body.append(bytes, n);
                return n;
            });
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.error);
        if (curl_multi_add_handle(multi, e) != CURLM_OK) return "libcurl cannot start the transfer";
        t.added = true;
        return {};
    };

    // The transfer ended with `code`: its result, or a redirection followed.
    // True when the transfer is over.
    const auto finish = [&](Transfer& t, CURLcode code) -> bool {
        curl_multi_remove_handle(multi, t.easy);
        t.added = false;
        std::string failure;
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            failure = tooLarge;
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            failure = timedOut;
        } else if (code != CURLE_OK) {
            failure =
                std::string("it cannot be fetched: ") + (t.error[0] ? t.error : curl_easy_strerror(code));
        } else if (status >= 300 && status < 400) {
            char* next = nullptr;
            curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_URL, &next);
            if (!next) {
                failure = "the server answered " + std::to_string(status) + " without saying where to go";
            } else if (++t.redirections > limits_.redirections) {
                failure = "it is redirected more than " + std::to_string(limits_.redirections) + " times";
            } else {
                t.address = next;
                failure = begin(t);
                if (failure.empty()) return false;
                failure = "it is redirected to " + hostOf(t.address) + ": " + failure;
            }
        } else if (status != 200) {
            failure = "the server answered " + std::to_string(status);
        }
        done_(TFetchResult{t.job.ticket, failure.empty() ? std::move(t.body) : std::string(), failure});
        return true;
    };

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            while (!queue_.empty() && active.size() < static_cast<std::size_t>(limits_.atOnce)) {
                auto t = std::make_unique<Transfer>();
                t->job = std::move(queue_.front());
                queue_.pop_front();
                t->address = t->job.address;
                t->largest = limits_.largest;
                t->deadline = std::chrono::steady_clock::now() + limits_.within;
                active.push_back(std::move(t));
            }
        }
        for (auto it = active.begin(); it != active.end();) {
            Transfer& t = **it;
            if (!t.added) {
                if (std::string why = begin(t); !why.empty()) {
                    done_(TFetchResult{t.job.ticket, {}, why});
                    it = active.erase(it);
                    continue;
                }
            }
            ++it;
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            for (auto it = active.begin(); it != active.end(); ++it) {
                if ((*it)->easy != message->easy_handle) continue;
                if (finish(**it, message->data.result)) active.erase(it);
                break;
            }
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto& t : active) {
        if (t->added) curl_multi_remove_handle(multi, t->easy);
    }
}

}  // namespace zv::calendar
