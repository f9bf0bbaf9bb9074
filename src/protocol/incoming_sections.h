#pragma once
// Cutting the four incoming sections out of a login payload:
// "[*WIWO*]" board record, "[*POSTI*]" memo, "[*WYWO*]" message and
// "[*PHONE*]" phonebook bundle, in this order; the phonebook section runs to
// the end of the payload. Each tag is located by its first occurrence.

#include <string>
#include <string_view>

namespace zv {

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

}  // namespace zv
