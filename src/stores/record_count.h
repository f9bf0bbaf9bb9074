#pragma once
// The count at the head of a bundle ("3|..."), read the one way the phonebook
// store, the request collector and the section cutter all read it: optional
// blanks, an optional "+" or "-", decimal digits, nothing else, within a
// long long.

#include <optional>
#include <string_view>

namespace zv {

// The count, or nothing when `text` is not such a number.
std::optional<long long> readRecordCount(std::string_view text);

// Follows a count as its characters arrive, for a reader that must know
// whether to wait for more: feed() the new characters each time; it answers
// false from the first character that no continuation can turn into a count
// (a number too large for a long long is only found out by readRecordCount).
class TRecordCountScanner {
public:
    bool feed(std::string_view more);

private:
    enum class Phase { kBlanks, kSign, kDigits, kRuledOut };
    Phase phase_ = Phase::kBlanks;
};

// Whether characters appended to `text` could still make it a count.
bool couldBecomeRecordCount(std::string_view text);

}  // namespace zv
