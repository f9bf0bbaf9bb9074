#include "protocol/incoming_sections.h"

#include <array>

#include "protocol/wire_texts.h"
#include "stores/record_count.h"

namespace zv {

namespace {

constexpr std::array<std::string_view, 4> kTags = {wire::kTagWiwo, wire::kTagPosti, wire::kTagWywo,
                                                   wire::kTagPhone};

std::array<std::size_t, 4> tagPositions(std::string_view payload) {
    std::array<std::size_t, 4> pos{};
    for (std::size_t i = 0; i < kTags.size(); ++i) pos[i] = payload.find(kTags[i]);
    return pos;
}

// Tags may not overlap: each must start at or after the end of the previous.
bool inOrder(std::size_t earlier, std::size_t earlierTag, std::size_t later) {
    return later >= earlier + kTags[earlierTag].size();
}

}  // namespace

TTagOrder tagOrder(std::string_view payload) {
    auto pos = tagPositions(payload);
    bool allPresent = true;
    for (std::size_t i = 0; i < pos.size(); ++i) {
        if (pos[i] == std::string_view::npos) {
            allPresent = false;
            continue;
        }
        for (std::size_t j = i + 1; j < pos.size(); ++j) {
            if (pos[j] != std::string_view::npos && !inOrder(pos[i], i, pos[j])) return TTagOrder::kBroken;
        }
    }
    return allPresent ? TTagOrder::kComplete : TTagOrder::kIncomplete;
}

TIncomingSections cutSections(std::string_view payload) {
    TIncomingSections s;
    if (tagOrder(payload) != TTagOrder::kComplete) return s;
    auto pos = tagPositions(payload);
    auto between = [&](std::size_t i) {
        std::size_t from = pos[i] + kTags[i].size();
        return std::string(payload.substr(from, pos[i + 1] - from));
    };
    s.tagsInOrder = true;
    s.board = between(0);
    s.memo = between(1);
    s.message = between(2);
    s.phonebook = std::string(payload.substr(pos[3] + kTags[3].size()));
    s.phonebookComplete = isPhonebookSectionComplete(s.phonebook);
    return s;
}

bool isNoData(std::string_view section) { return section.substr(0, wire::kNoData.size()) == wire::kNoData; }

bool isPhonebookSectionComplete(std::string_view section) {
    if (section.size() >= wire::kNoData.size()) {
        if (isNoData(section)) return true;
    } else if (wire::kNoData.substr(0, section.size()) == section) {
        return false;  // empty, or a beginning of "NO_DATA"
    }
    auto bar = section.find('|');
    if (bar == std::string_view::npos) return !couldBecomeRecordCount(section);
    auto count = readRecordCount(section.substr(0, bar));
    if (!count) return true;
    std::string_view records = section.substr(bar + 1);
    long long found = 0;
    std::size_t at = 0;
    while (found < *count) {
        auto sep = records.find(wire::kRecordSeparator, at);
        if (sep == std::string_view::npos) return false;
        ++found;
        at = sep + wire::kRecordSeparator.size();
    }
    return true;
}

}  // namespace zv
