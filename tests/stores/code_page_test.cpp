// The one conversion between record bytes (the clients' Windows-1252) and
// Unicode.

#include <gtest/gtest.h>

#include "stores/code_page.h"

namespace zv::codepage {
namespace {

TEST(CodePage, EveryByteValueComesBackUnchangedThroughUnicode) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string text = toUtf8(all);
    EXPECT_EQ(fromUtf8(text), all);
    EXPECT_EQ(fromUtf8(text, "Comments"), all);
    EXPECT_EQ(fromUtf8Substituting(text), all);

    // The code page's own characters, and the five bytes it leaves
    // undefined as the control characters of the same number.
    EXPECT_EQ(toUtf8("\x80\x8a\x9f\xe9\xff"), "\u20ac\u0160\u0178\u00e9\u00ff");
    EXPECT_EQ(toUtf8("\x81\x8d\x8f\x90\x9d"), "\u0081\u008d\u008f\u0090\u009d");
    EXPECT_EQ(toUtf8("plain <text> & \"quotes\""), "plain <text> & \"quotes\"");
}

TEST(CodePage, ACharacterTheCodePageCannotHoldIsRefusedNamingTheField) {
    EXPECT_EQ(fromUtf8("snow \u2603"), std::nullopt);
    EXPECT_EQ(fromUtf8("\u0080"), std::nullopt);  // a C1 control the code page uses for the euro sign
    EXPECT_EQ(fromUtf8("\U0001F600"), std::nullopt);
    try {
        fromUtf8("snow \u2603", "Comments");
        FAIL() << "not refused";
    } catch (const CodePageError& e) {
        EXPECT_EQ(e.field(), "Comments");
        EXPECT_EQ(std::string(e.what()),
                  "The field \"Comments\" holds the character \"\u2603\" (U+2603), which the Zelvora "
                  "Clients' code page (Windows-1252) cannot hold.");
    }
    EXPECT_EQ(fromUtf8Substituting("snow \u2603!"), "snow ?!");
}

TEST(CodePage, TextThatIsNotUtf8IsRefused) {
    for (const std::string bad : {"\xe9", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80"}) {
        EXPECT_EQ(fromUtf8("a" + bad), std::nullopt) << bad;
        EXPECT_THROW(fromUtf8("a" + bad, "Caller"), CodePageError);
    }
    try {
        fromUtf8("\xff", "Caller");
    } catch (const CodePageError& e) {
        EXPECT_EQ(std::string(e.what()), "The field \"Caller\" is not valid UTF-8 text.");
    }
}

}  // namespace
}  // namespace zv::codepage
