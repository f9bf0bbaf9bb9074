#include "protocol/incoming_sections.h"

#include "protocol/wire_texts.h"
#include "stores/record_count.h"

namespace zv {

namespace {

constexpr std::size_t npos = std::string_view::npos;
using TTagPositions = std::array<std::size_t, kSectionTags.size()>;

TTagPositions tagPositions(std::string_view payload) {
    TTagPositions pos{};
    for (std::size_t i = 0; i < kSectionTags.size(); ++i) pos[i] = payload.find(kSectionTags[i]);
    return pos;
}

// Tags may not overlap: each must start at or after the end of any earlier
// one. Only tags present are compared.
bool twoTagsOutOfOrder(const TTagPositions& pos) {
    for (std::size_t i = 0; i < pos.size(); ++i) {
        for (std::size_t j = i + 1; j < pos.size(); ++j) {
            if (pos[i] != npos && pos[j] != npos && pos[j] < pos[i] + kSectionTags[i].size()) return true;
        }
    }
    return false;
}

TTagOrder tagOrderOf(const TTagPositions& pos) {
    if (twoTagsOutOfOrder(pos)) return TTagOrder::kBroken;
    for (std::size_t p : pos) {
        if (p == npos) return TTagOrder::kIncomplete;
    }
    return TTagOrder::kComplete;
}

bool isBeginningOfNoData(std::string_view section) {
    return section.size() < wire::kNoData.size() && wire::kNoData.substr(0, section.size()) == section;
}

}  // namespace

TTagOrder tagOrder(std::string_view payload) { return tagOrderOf(tagPositions(payload)); }

TIncomingSections cutSections(std::string_view payload) {
    TIncomingSections s;
    const TTagPositions pos = tagPositions(payload);
    if (tagOrderOf(pos) != TTagOrder::kComplete) return s;
    auto between = [&](std::size_t i) {
        std::size_t from = pos[i] + kSectionTags[i].size();
        return std::string(payload.substr(from, pos[i + 1] - from));
    };
    s.tagsInOrder = true;
    s.board = between(0);
    s.memo = between(1);
    s.message = between(2);
    s.phonebook = std::string(payload.substr(pos[3] + kSectionTags[3].size()));
    s.phonebookComplete = isPhonebookSectionComplete(s.phonebook);
    return s;
}

bool isNoData(std::string_view section) { return section.substr(0, wire::kNoData.size()) == wire::kNoData; }

bool isPhonebookSectionComplete(std::string_view section) { return TPhonebookScan().complete(section); }

bool TPhonebookScan::complete(std::string_view section) {
    if (!counting_) {
        if (isBeginningOfNoData(section)) return false;  // empty, or a beginning of "NO_DATA"
        if (isNoData(section)) return true;
        if (bar_.find(section, "|") == npos) {
            const bool canGoOn = number_.feed(section.substr(numberAt_));
            numberAt_ = section.size();
            return !canGoOn;
        }
        const auto count = readRecordCount(section.substr(0, bar_.pos()));
        if (!count || *count <= 0) return true;
        counting_ = true;
        needed_ = *count;
        recordSearch_ = bar_.pos() + 1;
    }
    while (found_ < needed_) {
        const std::size_t sep = section.find(wire::kRecordSeparator, recordSearch_);
        if (sep == npos) {
            const std::size_t width = wire::kRecordSeparator.size();
            if (section.size() >= width) recordSearch_ = std::max(recordSearch_, section.size() - width + 1);
            return false;
        }
        ++found_;
        recordSearch_ = sep + wire::kRecordSeparator.size();
    }
    return true;
}

bool TPayloadScan::complete(std::string_view payload) {
    TTagPositions pos{};
    for (std::size_t i = 0; i < kSectionTags.size(); ++i) pos[i] = tags_[i].find(payload, kSectionTags[i]);
    switch (tagOrderOf(pos)) {
        case TTagOrder::kBroken: return true;  // can never be merged: no reason to wait
        case TTagOrder::kIncomplete: return false;
        case TTagOrder::kComplete: break;
    }
    return phonebook_.complete(payload.substr(pos[3] + kSectionTags[3].size()));
}

}  // namespace zv
