// The count at the head of a bundle, as the phonebook store, the request
// collector and the section cutter read it.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "stores/record_count.h"

namespace zv {
namespace {

TEST(RecordCount, ReadsBlanksASignAndDigitsAndNothingElse) {
    const struct {
        const char* text;
        std::optional<long long> count;
        bool canGrow;  // whether more characters could still make it a count
    } cases[] = {
        {"0", 0, true},
        {"12", 12, true},
        {"007", 7, true},
        {"+3", 3, true},
        {"-3", -3, true},
        {"  12", 12, true},
        {" +1", 1, true},
        {"9223372036854775807", 9223372036854775807LL, true},
        {"-9223372036854775808", -9223372036854775807LL - 1, true},
        // Empty, blanks and a sign alone are beginnings of a count.
        {"", std::nullopt, true},
        {"   ", std::nullopt, true},
        {"+", std::nullopt, true},
        {"-", std::nullopt, true},
        {" -", std::nullopt, true},
        // Too large: the characters fit, the value does not.
        {"9223372036854775808", std::nullopt, true},
        {"-9223372036854775809", std::nullopt, true},
        {"99999999999999999999999", std::nullopt, true},
        // Anything else can never become a count.
        {"+-5", std::nullopt, false},
        {"--5", std::nullopt, false},
        {"- 5", std::nullopt, false},
        {"12 ", std::nullopt, false},
        {"1 2", std::nullopt, false},
        {"1a", std::nullopt, false},
        {"a1", std::nullopt, false},
        {"x", std::nullopt, false},
        {"0x10", std::nullopt, false},
        {"1.5", std::nullopt, false},
        {"\t5", std::nullopt, false},
        {"5|", std::nullopt, false},
        {"NO_DATA", std::nullopt, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readRecordCount(c.text), c.count) << '"' << c.text << '"';
        EXPECT_EQ(couldBecomeRecordCount(c.text), c.canGrow) << '"' << c.text << '"';
        // Fed a character at a time, the scanner gives the same answer.
        TRecordCountScanner scanner;
        bool canGrow = true;
        for (char ch : std::string(c.text)) canGrow = scanner.feed(std::string(1, ch));
        EXPECT_EQ(canGrow, c.canGrow) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace zv
