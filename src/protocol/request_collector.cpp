#include "protocol/request_collector.h"

#include <algorithm>
#include <array>

#include "protocol/incoming_sections.h"
#include "protocol/wire_texts.h"
#include "stores/record_count.h"

namespace zv {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kPunchOutHead = "PUNCH_OUT:";
constexpr std::string_view kLoginHead = "SUBMIT_LOGIN:";
constexpr std::string_view kDoubleLogin = "SUBMIT_LOGINSUBMIT_LOGIN";
constexpr std::array<std::string_view, 4> kModes = {wire::kModePunchIn, wire::kModeDelta, wire::kModeFull,
                                                    wire::kModeOverride};
constexpr std::array<std::string_view, 4> kTags = {wire::kTagWiwo, wire::kTagPosti, wire::kTagWywo,
                                                   wire::kTagPhone};

bool isBeginningOf(std::string_view text, std::string_view word) {
    return text.size() <= word.size() && word.substr(0, text.size()) == text;
}

// First occurrence of `what` at or after `from`, resuming a search that is
// known to have found nothing before `searched`. Once found, `pos` is kept.
std::size_t findOnce(std::string_view text, std::string_view what, std::size_t from, std::size_t& searched,
                     std::size_t& pos) {
    if (pos != npos) return pos;
    pos = text.find(what, std::max(from, searched));
    if (pos == npos && text.size() >= what.size())
        searched = std::max(searched, text.size() - what.size() + 1);
    return pos;
}

}  // namespace

// Where the check of a login has got to. Every offset is into the text after
// "SUBMIT_LOGIN:"; what was found there cannot change when bytes are appended.
struct TRequestCollector::TLoginScan {
    std::size_t modeEnd = npos, modeSearched = 0;
    std::size_t credentialsEnd = npos, credentialsSearched = 0;
    std::array<std::size_t, 4> tagPos{npos, npos, npos, npos};
    std::array<std::size_t, 4> tagSearched{0, 0, 0, 0};
    std::size_t bar = npos, barSearched = 0;
    std::size_t numberAt = 0;  // count characters checked so far
    TRecordCountScanner number;
    bool counting = false;  // the phonebook's records are being counted
    long long needed = 0;
    long long found = 0;
    std::size_t recordSearch = 0;
};

namespace {

// text follows "SUBMIT_LOGIN:".
bool isLoginComplete(std::string_view text, TRequestCollector::TLoginScan& s) {
    if (!s.counting) {
        if (findOnce(text, ":", 0, s.modeSearched, s.modeEnd) == npos) {
            // The mode has not ended: wait while it can still become a known one.
            for (auto mode : kModes) {
                if (isBeginningOf(text, mode)) return false;
            }
            return true;
        }
        const std::string_view mode = text.substr(0, s.modeEnd);
        if (std::find(kModes.begin(), kModes.end(), mode) == kModes.end()) return true;

        if (findOnce(text, ":", s.modeEnd + 1, s.credentialsSearched, s.credentialsEnd) == npos) return false;
        const std::size_t payload = s.credentialsEnd + 1;

        bool allFound = true;
        for (std::size_t i = 0; i < kTags.size(); ++i) {
            if (findOnce(text, kTags[i], payload, s.tagSearched[i], s.tagPos[i]) == npos) allFound = false;
        }
        // Two tags out of order can never be merged: no reason to wait.
        for (std::size_t i = 0; i < kTags.size(); ++i) {
            for (std::size_t j = i + 1; j < kTags.size(); ++j) {
                if (s.tagPos[i] != npos && s.tagPos[j] != npos && s.tagPos[j] < s.tagPos[i] + kTags[i].size())
                    return true;
            }
        }
        if (!allFound) return false;

        const std::size_t phone = s.tagPos[3] + kTags[3].size();
        const std::string_view section = text.substr(phone);
        if (section.size() < wire::kNoData.size() && isBeginningOf(section, wire::kNoData)) return false;
        if (isNoData(section)) return true;
        if (findOnce(text, "|", phone, s.barSearched, s.bar) == npos) {
            const bool canGoOn = s.number.feed(section.substr(s.numberAt));
            s.numberAt = section.size();
            return !canGoOn;
        }
        const auto count = readRecordCount(text.substr(phone, s.bar - phone));
        if (!count || *count <= 0) return true;
        s.counting = true;
        s.needed = *count;
        s.recordSearch = s.bar + 1;
    }
    while (s.found < s.needed) {
        const std::size_t sep = text.find(wire::kRecordSeparator, s.recordSearch);
        if (sep == npos) {
            const std::size_t width = wire::kRecordSeparator.size();
            if (text.size() >= width) s.recordSearch = std::max(s.recordSearch, text.size() - width + 1);
            return false;
        }
        ++s.found;
        s.recordSearch = sep + wire::kRecordSeparator.size();
    }
    return true;
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
