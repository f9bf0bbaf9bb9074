#include "stores/record_count.h"

#include <charconv>

namespace zv {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<long long> readRecordCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would take a second sign after the first ("+-5").
    if (text.empty() || !isDigit(text.front())) return std::nullopt;
    unsigned long long magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr unsigned long long kMax = static_cast<unsigned long long>(9223372036854775807LL);
    if (magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
    if (!negative) return static_cast<long long>(magnitude);
    return magnitude == kMax + 1 ? (-9223372036854775807LL - 1) : -static_cast<long long>(magnitude);
}

bool TRecordCountScanner::feed(std::string_view more) {
    for (char c : more) {
        if (phase_ == Phase::kRuledOut) return false;
        if (isDigit(c)) {
            phase_ = Phase::kDigits;
        } else if (c == ' ' && phase_ == Phase::kBlanks) {
        } else if ((c == '+' || c == '-') && phase_ == Phase::kBlanks) {
            phase_ = Phase::kSign;
        } else {
            phase_ = Phase::kRuledOut;
        }
    }
    return phase_ != Phase::kRuledOut;
}

bool couldBecomeRecordCount(std::string_view text) { return TRecordCountScanner().feed(text); }

}  // namespace zv
