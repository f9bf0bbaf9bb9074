#pragma once
// Collects the bytes of one request until it is complete, so that a request
// split over several reads is acted on exactly as if it had arrived whole.
//
// Complete means:
// - "PUNCH_OUT:" up to its second ":" (what follows is ignored anyway);
// - a login "SUBMIT_LOGIN:mode:key|password:payload" once its payload holds
//   the four tags in order and a complete phonebook section, or once it can
//   no longer become one (an unknown mode, tags out of order, a phonebook
//   count that is not a number);
// - any other text at once (it is ignored), except a beginning of
//   "PUNCH_OUT:" or of "SUBMIT_LOGIN..." that may still grow into a request.
// An incomplete request is acted on as it stands after a silence (the session
// decides when); the merges then refuse what is missing or incomplete.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zv {

// True when no further bytes can change what the request means.
bool isRequestComplete(std::string_view text);

// Keeps what the completeness check has found so far, so that each byte of a
// long request is examined about once however many pieces it comes in.
class TRequestCollector {
public:
    struct TLoginScan;

    TRequestCollector();
    ~TRequestCollector();

    // A request growing above this closes the connection, nothing merged.
    static constexpr std::size_t kMaxRequestBytes = 16u * 1024u * 1024u;

    void append(std::string_view bytes) { text_.append(bytes); }
    bool empty() const { return text_.empty(); }
    std::size_t size() const { return text_.size(); }
    bool tooLarge() const { return text_.size() > kMaxRequestBytes; }
    // The same answer as isRequestComplete(what was collected).
    bool complete();
    // Hands out what was collected and starts afresh.
    std::string take();
    void clear();

private:
    std::string text_;
    std::unique_ptr<TLoginScan> scan_;
};

}  // namespace zv
