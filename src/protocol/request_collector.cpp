#include "protocol/request_collector.h"

#include <algorithm>
#include <array>

#include "protocol/growing_search.h"
#include "protocol/incoming_sections.h"
#include "protocol/wire_texts.h"

namespace zv {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kPunchOutHead = "PUNCH_OUT:";
constexpr std::string_view kLoginHead = "SUBMIT_LOGIN:";
constexpr std::string_view kDoubleLogin = "SUBMIT_LOGINSUBMIT_LOGIN";
constexpr std::array<std::string_view, 4> kModes = {wire::kModePunchIn, wire::kModeDelta, wire::kModeFull,
                                                    wire::kModeOverride};

bool isBeginningOf(std::string_view text, std::string_view word) {
    return text.size() <= word.size() && word.substr(0, text.size()) == text;
}

}  // namespace

// Where the check of a login has got to. Every offset is into the text after
// "SUBMIT_LOGIN:"; what was found there cannot change when bytes are appended.
struct TRequestCollector::TLoginScan {
    TGrowingSearch modeEnd;
    TGrowingSearch credentialsEnd;
    TPayloadScan payload;
};

namespace {

// text follows "SUBMIT_LOGIN:". The payload itself is judged where the
// sections are cut (incoming_sections.h).
bool isLoginComplete(std::string_view text, TRequestCollector::TLoginScan& s) {
    const std::size_t modeEnd = s.modeEnd.find(text, ":");
    if (modeEnd == npos) {
        // The mode has not ended: wait while it can still become a known one.
        for (auto mode : kModes) {
            if (isBeginningOf(text, mode)) return false;
        }
        return true;
    }
    const std::string_view mode = text.substr(0, modeEnd);
    if (std::find(kModes.begin(), kModes.end(), mode) == kModes.end()) return true;

    const std::size_t credentialsEnd = s.credentialsEnd.find(text, ":", modeEnd + 1);
    if (credentialsEnd == npos) return false;
    return s.payload.complete(text.substr(credentialsEnd + 1));
}

bool isComplete(std::string_view text, TRequestCollector::TLoginScan& scan) {
    if (text.starts_with(kPunchOutHead)) return text.find(':', kPunchOutHead.size()) != npos;
    if (isBeginningOf(text, kPunchOutHead)) return false;
    // "SUBMIT_LOGIN" alone and "SUBMIT_LOGINSUBMIT_LOGIN" are logins of their
    // own, but either may still be the beginning of a longer request.
    if (isBeginningOf(text, kDoubleLogin)) return false;
    if (text.starts_with(kLoginHead)) return isLoginComplete(text.substr(kLoginHead.size()), scan);
    return true;
}

}  // namespace

bool isRequestComplete(std::string_view text) {
    TRequestCollector::TLoginScan scan;
    return isComplete(text, scan);
}

TRequestCollector::TRequestCollector() : scan_(std::make_unique<TLoginScan>()) {}
TRequestCollector::~TRequestCollector() = default;

bool TRequestCollector::complete() { return isComplete(text_, *scan_); }

std::string TRequestCollector::take() {
    std::string out;
    out.swap(text_);
    *scan_ = TLoginScan{};
    return out;
}

void TRequestCollector::clear() {
    text_.clear();
    *scan_ = TLoginScan{};
}

}  // namespace zv
