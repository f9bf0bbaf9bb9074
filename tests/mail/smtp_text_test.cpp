// Reply parsing, the Date line, header lines, body splitting and the dot rule:
// everything of the mail text that needs no connection.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "mail/smtp_date.h"
#include "mail/smtp_message.h"
#include "mail/smtp_reply.h"

namespace zv {
namespace {

TEST(SmtpReplyCode, IsReadAfterLeadingBlanksWithOptionalSignAndMarksContinuations) {
    EXPECT_EQ(parseSmtpReplyCode("250 ok").code, 250);
    EXPECT_FALSE(parseSmtpReplyCode("250 ok").continuation);
    EXPECT_TRUE(parseSmtpReplyCode("250-first of two").continuation);
    EXPECT_EQ(parseSmtpReplyCode("250-first of two").code, 250);
    EXPECT_EQ(parseSmtpReplyCode(" \t\r\n354 go").code, 354);
    EXPECT_EQ(parseSmtpReplyCode("+221 bye").code, 221);
    EXPECT_EQ(parseSmtpReplyCode("-5 odd").code, -5);
    EXPECT_EQ(parseSmtpReplyCode("220").code, 220);
    EXPECT_FALSE(parseSmtpReplyCode("220").continuation);

    const TSmtpReplyCode none = parseSmtpReplyCode("hello");
    EXPECT_FALSE(none.hasDigits);
    EXPECT_EQ(none.code, 0);
    EXPECT_FALSE(none.continuation);
    EXPECT_FALSE(parseSmtpReplyCode("").hasDigits);
    EXPECT_EQ(parseSmtpReplyCode("99999999999999999999 huge").code, 2147483647);
}

TEST(SmtpReplyCode, IsAcceptedOnlyWhenListedOrBelow500WithoutAList) {
    EXPECT_TRUE(smtpReplyAccepted(250, {250}));
    EXPECT_TRUE(smtpReplyAccepted(251, {250, 251}));
    EXPECT_FALSE(smtpReplyAccepted(550, {250, 251}));
    EXPECT_FALSE(smtpReplyAccepted(220, {250}));
    EXPECT_TRUE(smtpReplyAccepted(499, {}));
    EXPECT_FALSE(smtpReplyAccepted(500, {}));
    EXPECT_FALSE(smtpReplyAccepted(-1, {}));
}

TEST(SmtpReplyBuffer, HandsOutCompleteLinesOnlyAndKeepsThePartialRest) {
    TSmtpReplyBuffer buffer;
    EXPECT_EQ(buffer.freeSpace(), kSmtpReplyBufferSize);
    buffer.append("250-one\r\n250 tw");
    auto line = buffer.takeLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "250-one");
    EXPECT_FALSE(buffer.takeLine());
    buffer.append("o\r\n");
    line = buffer.takeLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "250 two");
    EXPECT_EQ(buffer.fill(), 0u);

    // A lone LF or CR is not a line end.
    buffer.append("220 a\nb\rc\r\n");
    line = buffer.takeLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "220 a\nb\rc");
}

TEST(SmtpReplyBuffer, OverflowsOnlyWhenFullWithoutALineEnd) {
    TSmtpReplyBuffer buffer;
    const std::string big(kSmtpReplyBufferSize + 10, 'x');
    EXPECT_EQ(buffer.append(big), kSmtpReplyBufferSize);
    EXPECT_EQ(buffer.freeSpace(), 0u);
    EXPECT_TRUE(buffer.overflowed());
    EXPECT_FALSE(buffer.takeLine());

    TSmtpReplyBuffer fits;
    const std::string longest = "250 " + std::string(kSmtpReplyBufferSize - 6, 'y') + "\r\n";
    ASSERT_EQ(longest.size(), kSmtpReplyBufferSize);
    fits.append(longest);
    EXPECT_FALSE(fits.overflowed());
    auto line = fits.takeLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->size(), kSmtpReplyBufferSize - 2);
}

// Sets TZ for the life of the object (POSIX zone texts need no zone files).
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(SmtpDate, UsesEnglishNamesUnpaddedDayAndTheLocalOffset) {
    // 2026-12-06 08:05:07 UTC, a Sunday.
    const std::time_t t = 1796544307;
    {
        ScopedZone zone("CET-1");
        EXPECT_EQ(smtpDateText(t), "Sun, 6 Dec 2026 09:05:07 +0100");
    }
    {
        ScopedZone zone("EST5");
        EXPECT_EQ(smtpDateText(t), "Sun, 6 Dec 2026 03:05:07 -0500");
    }
    {
        ScopedZone zone("IST-5:30");
        EXPECT_EQ(smtpDateText(t), "Sun, 6 Dec 2026 13:35:07 +0530");
    }
    {
        ScopedZone zone("UTC0");
        EXPECT_EQ(smtpDateText(t), "Sun, 6 Dec 2026 08:05:07 +0000");
    }
    // Every month and day name, from a broken-down time.
    std::tm tm{};
    tm.tm_year = 99;
    tm.tm_mon = 6;
    tm.tm_mday = 31;
    tm.tm_wday = 6;
    tm.tm_hour = 0;
    tm.tm_gmtoff = -(3 * 3600 + 30 * 60);
    EXPECT_EQ(smtpDateText(tm), "Sat, 31 Jul 1999 00:00:00 -0330");
    EXPECT_EQ(smtpZoneText(0), "+0000");
    EXPECT_EQ(smtpZoneText(14 * 3600), "+1400");
    EXPECT_EQ(smtpZoneText(-12 * 3600), "-1200");
}

TEST(SmtpHeader, ListsTheLinesInOrderAndLeavesOutBlankReplyToAndReturnPath) {
    TSmtpHeaderValues values;
    values.From = "desk@example.com";
    values.To = "smith@example.com";
    values.Subject = "While You Were Out";
    values.Date = "Sun, 6 Dec 2026 09:05:07 +0100";
    values.ReplyTo = "  ";
    EXPECT_EQ(smtpHeaderLines(values),
              (std::vector<std::string>{"From: desk@example.com", "To: smith@example.com",
                                        "Subject: While You Were Out", "Mime-Version: 1.0",
                                        "Content-Type: text/plain; charset=\"iso-8859-1\"",
                                        "Date: Sun, 6 Dec 2026 09:05:07 +0100", ""}));

    values.ReplyTo = "back@example.com";
    values.ReturnPath = "bounce@example.com";
    values.MediaType = "text/html";
    values.CharSet = "utf-8";
    const auto lines = smtpHeaderLines(values);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Reply-To: back@example.com");
    EXPECT_EQ(lines[1], "Return-Path: bounce@example.com");
    EXPECT_EQ(lines[2], "From: desk@example.com");
    EXPECT_EQ(lines[6], "Content-Type: text/html; charset=\"utf-8\"");
}

TEST(SmtpBody, SplitsAtEveryKindOfLineBreakAndStuffsLeadingDots) {
    EXPECT_EQ(splitBodyLines("plain"), (std::vector<std::string>{"plain"}));
    EXPECT_EQ(splitBodyLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(splitBodyLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitBodyLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitBodyLines("a\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitBodyLines("\r\r\n"), (std::vector<std::string>{"", "", ""}));

    EXPECT_EQ(dotStuffed("."), "..");
    EXPECT_EQ(dotStuffed(".hidden"), "..hidden");
    EXPECT_EQ(dotStuffed("a.b"), "a.b");
    EXPECT_EQ(dotStuffed(""), "");

    EXPECT_TRUE(hasLineBreak("a\rb"));
    EXPECT_TRUE(hasLineBreak("a\nb"));
    EXPECT_FALSE(hasLineBreak("a b\t"));
    EXPECT_EQ(trimmedText(" \t a b \r\n"), "a b");
}

}  // namespace
}  // namespace zv
