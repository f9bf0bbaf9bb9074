#pragma once
// The four incoming sections of a login payload: "[*WIWO*]" board record,
// "[*POSTI*]" memo, "[*WYWO*]" message and "[*PHONE*]" phonebook bundle, in
// this order; the phonebook section runs to the end of the payload. Each tag
// is located by its first occurrence. This is the one place that knows the
// tags, their order and when a payload is complete, whether it is cut whole
// or followed while it arrives.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/growing_search.h"
#include "protocol/wire_texts.h"
#include "stores/record_count.h"

namespace zv {

// The tags in the order the payload holds them.
inline constexpr std::array<std::string_view, 4> kSectionTags = {wire::kTagWiwo, wire::kTagPosti,
                                                                 wire::kTagWywo, wire::kTagPhone};

struct TIncomingSections {
    // False when a tag is missing or the tags are out of order: then nothing
    // of the payload may be merged (the cut would give empty or misplaced
    // sections, and an empty board section would wipe the employee's record).
    bool tagsInOrder = false;
    // False while the phonebook section may still grow (see
    // isPhonebookSectionComplete); such a section is never merged.
    bool phonebookComplete = false;
    std::string board;
    std::string memo;
    std::string message;
    std::string phonebook;
};

TIncomingSections cutSections(std::string_view payload);

// A section whose first seven characters are "NO_DATA" is skipped.
bool isNoData(std::string_view section);

// A phonebook section is complete when it is "NO_DATA...", when its count is
// not a number (it can never become one), or when it holds as many
// "<~REC~>"-terminated records as its count. An empty section, a prefix of
// "NO_DATA" and a count still without its "|" are incomplete.
bool isPhonebookSectionComplete(std::string_view section);

enum class TTagOrder {
    kComplete,    // all four tags present, in order
    kIncomplete,  // some tags missing, the present ones in order (more may come)
    kBroken       // two present tags out of order: can never be merged
};

TTagOrder tagOrder(std::string_view payload);

// Follows a phonebook section as it arrives: complete() gives the answer of
// isPhonebookSectionComplete for the section so far, each call's text
// extending the one before, and looks at each byte about once.
class TPhonebookScan {
public:
    bool complete(std::string_view section);

private:
    TGrowingSearch bar_;
    std::size_t numberAt_ = 0;  // count characters checked so far
    TRecordCountScanner number_;
    bool counting_ = false;  // the records are being counted
    long long needed_ = 0;
    long long found_ = 0;
    std::size_t recordSearch_ = 0;
};

// Follows a login payload as it arrives, each call's text extending the one
// before: complete once no further bytes can change what is merged of it,
// that is once its four tags are there in order and its phonebook section is
// complete, or once two tags are out of order (it can never be merged).
class TPayloadScan {
public:
    bool complete(std::string_view payload);

private:
    std::array<TGrowingSearch, kSectionTags.size()> tags_;
    TPhonebookScan phonebook_;
};

}  // namespace zv
