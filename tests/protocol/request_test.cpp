// Splitting requests, telling their kinds, and deciding when a request is
// complete.

#include <gtest/gtest.h>

#include <random>

#include "protocol/incoming_sections.h"
#include "protocol/request_collector.h"
#include "protocol/request_split.h"
#include "protocol_fixture.h"
#include "stores/record_count.h"

namespace zv {
namespace {

TEST(RequestSplit, CutsAtTheFirstColonOfWhatIsLeftEachTime) {
    auto p = splitRequest("SUBMIT_LOGIN:DLTA:Smith,John|pw:[*WIWO*]a:b");
    EXPECT_EQ(p.command, "SUBMIT_LOGIN");
    EXPECT_EQ(p.mode, "DLTA");
    EXPECT_EQ(p.credentials, "Smith,John|pw");
    EXPECT_EQ(p.payload, "[*WIWO*]a:b");  // the payload may hold colons

    auto noColon = splitRequest("HELLO");
    EXPECT_EQ(noColon.command, "");
    EXPECT_EQ(noColon.mode, "");
    EXPECT_EQ(noColon.credentials, "HELLO");
    EXPECT_EQ(noColon.payload, "HELLO");

    auto oneColon = splitRequest("PUNCH_OUT:Smith,John");
    EXPECT_EQ(oneColon.command, "PUNCH_OUT");
    EXPECT_EQ(oneColon.mode, "");  // no colon after the name: the name field is empty
    EXPECT_EQ(oneColon.credentials, "Smith,John");

    auto twoColons = splitRequest("PUNCH_OUT:Smith,John:");
    EXPECT_EQ(twoColons.mode, "Smith,John");
    EXPECT_EQ(twoColons.credentials, "");
    EXPECT_EQ(twoColons.payload, "");

    auto emptyFields = splitRequest(":::");
    EXPECT_EQ(emptyFields.command, "");
    EXPECT_EQ(emptyFields.mode, "");
    EXPECT_EQ(emptyFields.credentials, "");
    EXPECT_EQ(emptyFields.payload, "");
}

TEST(RequestSplit, KnowsPunchOutsLoginsAndEverythingElse) {
    EXPECT_EQ(classifyRequest("PUNCH_OUT:Smith,John:x").kind, TRequestKind::kPunchOut);
    EXPECT_EQ(classifyRequest("SUBMIT_LOGIN:PUNCH_IN:a|b:p").kind, TRequestKind::kPunchInLogin);
    for (const char* mode : {"DLTA", "FULL", "OVRD"})
        EXPECT_EQ(classifyRequest(std::string("SUBMIT_LOGIN:") + mode + ":a|b:p").kind, TRequestKind::kLogin)
            << mode;
    EXPECT_EQ(classifyRequest("SUBMIT_LOGIN:dlta:a|b:p").kind, TRequestKind::kOther);
    EXPECT_EQ(classifyRequest("SUBMIT_LOGIN:XYZ:a|b:p").kind, TRequestKind::kOther);
    EXPECT_EQ(classifyRequest("submit_login:DLTA:a|b:p").kind, TRequestKind::kOther);
    EXPECT_EQ(classifyRequest("READY_TO_RECEIVE").kind, TRequestKind::kOther);
    EXPECT_EQ(classifyRequest("CONFIRM").kind, TRequestKind::kOther);

    // The two bare forms are logins with empty credentials and payload.
    for (const char* bare : {"SUBMIT_LOGIN", "SUBMIT_LOGINSUBMIT_LOGIN"}) {
        auto r = classifyRequest(bare);
        EXPECT_EQ(r.kind, TRequestKind::kLogin) << bare;
        EXPECT_EQ(r.parts.credentials, "") << bare;
        EXPECT_EQ(r.parts.payload, "") << bare;
    }
    EXPECT_EQ(classifyRequest("SUBMIT_LOGINX").kind, TRequestKind::kOther);
}

TEST(IncomingSections, AreCutByTheirTagsInOrder) {
    auto s = cutSections("[*WIWO*]b[*POSTI*]m[*WYWO*]w[*PHONE*]1|x<~REC~>");
    EXPECT_TRUE(s.tagsInOrder);
    EXPECT_EQ(s.board, "b");
    EXPECT_EQ(s.memo, "m");
    EXPECT_EQ(s.message, "w");
    EXPECT_EQ(s.phonebook, "1|x<~REC~>");
    EXPECT_TRUE(s.phonebookComplete);

    auto empty = cutSections("[*WIWO*][*POSTI*][*WYWO*][*PHONE*]NO_DATA");
    EXPECT_TRUE(empty.tagsInOrder);
    EXPECT_EQ(empty.board, "");
    EXPECT_TRUE(empty.phonebookComplete);
}

TEST(IncomingSections, RefuseAPayloadWithAMissingOrMisplacedTag) {
    EXPECT_FALSE(cutSections("[*POSTI*]m[*WYWO*]w[*PHONE*]NO_DATA").tagsInOrder);
    EXPECT_FALSE(cutSections("[*WIWO*]b[*WYWO*]w[*PHONE*]NO_DATA").tagsInOrder);
    EXPECT_FALSE(cutSections("[*WIWO*]b[*POSTI*]m[*WYWO*]w").tagsInOrder);
    EXPECT_FALSE(cutSections("[*POSTI*]m[*WIWO*]b[*WYWO*]w[*PHONE*]NO_DATA").tagsInOrder);
    EXPECT_FALSE(cutSections("[*WIWO*]b[*POSTI*]m[*PHONE*]NO_DATA[*WYWO*]w").tagsInOrder);
    // A tag inside an earlier section moves its first occurrence out of order.
    EXPECT_FALSE(cutSections("[*WIWO*]b[*WYWO*][*POSTI*]m[*WYWO*]w[*PHONE*]NO_DATA").tagsInOrder);
    EXPECT_FALSE(cutSections("").tagsInOrder);

    EXPECT_EQ(tagOrder("[*WIWO*]b[*POSTI*]"), TTagOrder::kIncomplete);
    EXPECT_EQ(tagOrder("[*POSTI*]b[*WIWO*]"), TTagOrder::kBroken);
    EXPECT_EQ(tagOrder("[*WIWO*][*POSTI*][*WYWO*][*PHONE*]"), TTagOrder::kComplete);
}

TEST(IncomingSections, NoDataIsJudgedOnTheFirstSevenCharacters) {
    EXPECT_TRUE(isNoData("NO_DATA"));
    EXPECT_TRUE(isNoData("NO_DATA and more"));
    EXPECT_FALSE(isNoData("NO_DAT"));
    EXPECT_FALSE(isNoData(""));
    EXPECT_FALSE(isNoData(" NO_DATA"));
    EXPECT_FALSE(isNoData("no_data"));
}

TEST(IncomingSections, APhonebookSectionIsCompleteWhenItsCountIsMetOrCannotBe) {
    EXPECT_TRUE(isPhonebookSectionComplete("NO_DATA"));
    EXPECT_TRUE(isPhonebookSectionComplete("NO_DATAxyz"));
    EXPECT_TRUE(isPhonebookSectionComplete("0|"));
    EXPECT_TRUE(isPhonebookSectionComplete("-3|"));
    EXPECT_TRUE(isPhonebookSectionComplete("2|a<~REC~>b<~REC~>"));
    EXPECT_TRUE(isPhonebookSectionComplete("1|a<~REC~>b<~REC~>"));
    EXPECT_TRUE(isPhonebookSectionComplete("x|"));   // count not a number
    EXPECT_TRUE(isPhonebookSectionComplete("abc"));  // can never become a count
    EXPECT_TRUE(isPhonebookSectionComplete("NO_DATX"));

    EXPECT_FALSE(isPhonebookSectionComplete(""));
    EXPECT_FALSE(isPhonebookSectionComplete("NO_"));
    EXPECT_FALSE(isPhonebookSectionComplete("2"));  // the count may go on
    EXPECT_FALSE(isPhonebookSectionComplete(" +1"));
    EXPECT_FALSE(isPhonebookSectionComplete("2|a<~REC~>"));
    EXPECT_FALSE(isPhonebookSectionComplete("2|a<~REC~>b<~RE"));

    EXPECT_EQ(readRecordCount(" 12"), 12);
    EXPECT_EQ(readRecordCount("+3"), 3);
    EXPECT_EQ(readRecordCount("-3"), -3);
    EXPECT_FALSE(readRecordCount(""));
    EXPECT_FALSE(readRecordCount("1a"));
    EXPECT_FALSE(readRecordCount("99999999999999999999999"));
}

TEST(RequestCollector, WaitsForTheEndOfAPunchOutAndOfALogin) {
    EXPECT_FALSE(isRequestComplete("PUNCH"));
    EXPECT_FALSE(isRequestComplete("PUNCH_OUT"));
    EXPECT_FALSE(isRequestComplete("PUNCH_OUT:Smith,John"));
    EXPECT_TRUE(isRequestComplete("PUNCH_OUT:Smith,John:"));
    EXPECT_TRUE(isRequestComplete("PUNCH_OUT:Smith,John:anything"));

    const std::string login = test::loginRequest("DLTA", "Smith,John", "pw", "NO_DATA", "NO_DATA", "NO_DATA",
                                                 "2|a<~FLD~>b<~FLD~>c<~REC~>d<~FLD~>e<~FLD~>f<~REC~>");
    for (std::size_t n = 0; n < login.size(); ++n)
        EXPECT_FALSE(isRequestComplete(login.substr(0, n))) << "prefix of " << n << " bytes";
    EXPECT_TRUE(isRequestComplete(login));

    // The bare login forms may still grow into a longer request.
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGIN"));
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGINSUBMIT_LOGIN"));
}

TEST(RequestCollector, ActsAtOnceOnTextsThatCanMeanNothingMore) {
    EXPECT_TRUE(isRequestComplete("READY_TO_RECEIVE"));
    EXPECT_TRUE(isRequestComplete("CONFIRM"));
    EXPECT_TRUE(isRequestComplete("hello"));
    EXPECT_TRUE(isRequestComplete("PUNCH_OUTX"));
    EXPECT_TRUE(isRequestComplete("SUBMIT_LOGINX"));
    EXPECT_TRUE(isRequestComplete("SUBMIT_LOGIN:XYZ"));  // can never become a known mode
    EXPECT_TRUE(isRequestComplete("SUBMIT_LOGIN:DLTAX"));
    EXPECT_TRUE(isRequestComplete("SUBMIT_LOGIN:BAD:a|b:"));  // unknown mode: ignored at once
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGIN:DL"));
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGIN:DLTA"));
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGIN:DLTA:a|b"));
    // Tags out of order can never be merged: no reason to wait.
    EXPECT_TRUE(isRequestComplete("SUBMIT_LOGIN:DLTA:a|b:[*POSTI*]x[*WIWO*]"));
    EXPECT_FALSE(isRequestComplete("SUBMIT_LOGIN:DLTA:a|b:[*WIWO*]x[*POSTI*]"));
}

TEST(RequestCollector, AnswersLikeTheWholeTextCheckHoweverThePiecesCome) {
    const std::vector<std::string> samples = {
        test::loginRequest("DLTA", "Smith,John", "pw", "b", "m", "w",
                           "3|a<~FLD~>b<~FLD~>c<~REC~>d<~REC~>e<~REC~>trailing"),
        test::loginRequest("PUNCH_IN", "Smith,John", "pw", "NO_DATA", "NO_DATA", "NO_DATA", "NO_DATA"),
        test::loginRequest("FULL", "a", "b", "x", "y", "z", "  +-12|<~REC~><~REC~>"),
        test::loginRequest("OVRD", "a", "b", "x", "y", "z", " 12x|"),
        test::loginRequest("OVRD", "a", "b", "x", "y", "z", "0|"),
        "SUBMIT_LOGIN:DLTA:a|b:[*WIWO*]x[*WYWO*]y[*POSTI*]z[*PHONE*]1|",
        "SUBMIT_LOGIN:DLTA:a|b:[*WIWO*][*WIWO*][*POSTI*][[*WYWO*]][*PHONE*]NO_DAT",
        "SUBMIT_LOGIN:DLTAX:a|b:",
        "SUBMIT_LOGINSUBMIT_LOGIN:x",
        "PUNCH_OUT:Smith,John:rest",
        "READY_TO_RECEIVE",
    };
    std::mt19937 random(12345);
    for (const std::string& sample : samples) {
        for (int round = 0; round < 50; ++round) {
            TRequestCollector c;
            std::size_t at = 0;
            while (at < sample.size()) {
                const std::size_t n = std::min<std::size_t>(sample.size() - at, 1 + random() % 9);
                c.append(sample.substr(at, n));
                at += n;
                ASSERT_EQ(c.complete(), isRequestComplete(sample.substr(0, at)))
                    << "after " << at << " bytes of " << sample;
            }
        }
    }
}

TEST(RequestCollector, HandsOutWhatItCollectedAndKnowsTheSizeLimit) {
    TRequestCollector c;
    EXPECT_TRUE(c.empty());
    c.append("PUNCH_OUT:");
    EXPECT_FALSE(c.complete());
    c.append("Smith,John:");
    EXPECT_TRUE(c.complete());
    EXPECT_EQ(c.take(), "PUNCH_OUT:Smith,John:");
    EXPECT_TRUE(c.empty());

    c.append(std::string(TRequestCollector::kMaxRequestBytes, 'x'));
    EXPECT_FALSE(c.tooLarge());
    c.append("y");
    EXPECT_TRUE(c.tooLarge());
}

}  // namespace
}  // namespace zv
