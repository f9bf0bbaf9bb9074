// The text and file forms of the six record types.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "stores/record_codec.h"
#include "stores/record_store.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::putSlot;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// ---- Golden bytes: each image is laid out by hand at the documented offsets.

TEST(RecordFileImage, BoardRecordIsWrittenAtTheDocumentedOffsets) {
    TempDir dir;
    TWIWOList board;
    board.setFileName(dir.file("wiwo.dat"));
    auto node = std::make_unique<TWIWONode>();
    node->Employee = "Smith,John";
    node->LastName = "Smith";
    node->FirstName = "John";
    node->Password = "secret";
    node->Department = "Sales";
    node->WorkPhone = "555-0100";
    node->Extension = std::string(16, 'x');  // fills its slot: no terminator
    node->Status = "In";
    node->Returning = "at 3";
    node->ReachedAt = "home";
    node->Comments = "lunch";
    node->EMail = "john@example.com";
    node->EMailNotify = "YES";
    node->HomePhone = "555-0101";
    node->CarPhone = "555-0102";
    node->Pager = "555-0103";
    node->Other = "other";
    node->StatusChanged = "12/7/26 9:15:00 AM";
    node->LastContact = "12/7/26 9:16:00 AM";
    node->EmergName = "Jane";
    node->EmergPhone = "555-0104";
    node->EmergRelation = std::string(70, 'r');  // cut to its 64-byte slot
    board.addNode(std::move(node));
    board.saveToFile();

    std::string image(1909, '\0');
    putSlot(image, 0, 256, "Smith,John");
    putSlot(image, 256, 64, "Smith");
    putSlot(image, 320, 64, "John");
    putSlot(image, 384, 64, "secret");
    putSlot(image, 448, 64, "Sales");
    putSlot(image, 512, 24, "555-0100");
    putSlot(image, 536, 16, std::string(16, 'x'));
    putSlot(image, 552, 64, "In");
    putSlot(image, 616, 64, "at 3");
    putSlot(image, 680, 64, "home");
    putSlot(image, 744, 256, "lunch");
    putSlot(image, 1000, 128, "john@example.com");
    putSlot(image, 1128, 5, "YES");
    putSlot(image, 1133, 24, "555-0101");
    putSlot(image, 1157, 24, "555-0102");
    putSlot(image, 1181, 128, "555-0103");
    putSlot(image, 1309, 128, "other");
    putSlot(image, 1437, 128, "12/7/26 9:15:00 AM");
    putSlot(image, 1565, 128, "12/7/26 9:16:00 AM");
    putSlot(image, 1693, 128, "Jane");
    putSlot(image, 1821, 24, "555-0104");
    putSlot(image, 1845, 64, std::string(64, 'r'));
    EXPECT_EQ(readBytes(dir.file("wiwo.dat")), image);
}

TEST(RecordFileImage, MemoRecordIsWrittenAtTheDocumentedOffsets) {
    TempDir dir;
    TPOSTIList memos;
    memos.setFileName(dir.file("posti.dat"));
    memos.addNode(memos.createNodeFromString(
        "Smith,John<~FLD~>text two<~FLD~>12/7/26<~FLD~>9:15:00 AM<~FLD~>text five<~FLD~>" +
        std::string(256, '6')));

    std::string image(1076, '\0');
    putSlot(image, 0, 256, "Smith,John");
    putSlot(image, 256, 256, "text two");
    putSlot(image, 512, 26, "12/7/26");
    putSlot(image, 538, 26, "9:15:00 AM");
    putSlot(image, 564, 256, "text five");
    putSlot(image, 820, 256, std::string(256, '6'));
    EXPECT_EQ(readBytes(dir.file("posti.dat")), image);
}

TEST(RecordFileImage, MessageRecordIsWrittenAtTheDocumentedOffsets) {
    TempDir dir;
    TWYWOList messages;
    messages.setFileName(dir.file("wywa.dat"));
    auto node = std::make_unique<TWYWONode>();
    node->Recipient = "Smith,John";
    node->TakenBy = "Adams,Ann";
    node->Date = "12/7/26";
    node->Time = "9:15:00 AM";
    node->Caller = "Bob";
    node->Company = "Acme";
    node->Phone = "555-0199";
    node->Regarding = "the order";
    node->Called = "X";
    node->ReturnedCall = "";
    node->WasHere = "X";
    node->WantsToSee = "XY";  // fills the two-byte slot
    node->Urgent = "X";
    node->Comments = "call back";
    messages.addNode(std::move(node));

    std::string image(1624, '\0');
    putSlot(image, 0, 256, "Smith,John");
    putSlot(image, 256, 256, "Adams,Ann");
    putSlot(image, 512, 26, "12/7/26");
    putSlot(image, 538, 26, "9:15:00 AM");
    putSlot(image, 564, 256, "Bob");
    putSlot(image, 820, 256, "Acme");
    putSlot(image, 1076, 26, "555-0199");
    putSlot(image, 1102, 256, "the order");
    putSlot(image, 1358, 2, "X");
    putSlot(image, 1360, 2, "");
    putSlot(image, 1362, 2, "X");
    putSlot(image, 1364, 2, "XY");
    putSlot(image, 1366, 2, "X");
    putSlot(image, 1368, 256, "call back");
    EXPECT_EQ(readBytes(dir.file("wywa.dat")), image);
}

TEST(RecordFileImage, DepartmentPhoneAndLogRecordsAreWrittenAtTheDocumentedOffsets) {
    TempDir dir;
    TDEPTList depts;
    depts.setFileName(dir.file("department.dat"));
    auto dept = std::make_unique<TDEPTNode>();
    dept->Name = "Sales";
    depts.addNode(std::move(dept));
    depts.saveToFile();
    std::string deptImage(256, '\0');
    putSlot(deptImage, 0, 256, "Sales");
    EXPECT_EQ(readBytes(dir.file("department.dat")), deptImage);

    TPHONEList phones;
    phones.setFileName(dir.file("phonebook.dat"));
    phones.addNode(phones.createNodeFromString("Bob<~FLD~>Acme<~FLD~>" + std::string(129, '9')));
    phones.saveToFile();
    std::string phoneImage(641, '\0');
    putSlot(phoneImage, 0, 256, "Bob");
    putSlot(phoneImage, 256, 256, "Acme");
    putSlot(phoneImage, 512, 129, std::string(129, '9'));
    EXPECT_EQ(readBytes(dir.file("phonebook.dat")), phoneImage);

    TLOGList log;
    log.setFileName(dir.file("log_stat.dat"));
    log.addNode(log.createNodeFromString(
        "Smith,John<~FLD~>Sales<~FLD~>12/7/26<~FLD~>9:15:00 AM<~FLD~>Out<~FLD~>at 3<~FLD~>home<~FLD~>lunch"));
    std::string logImage(820, '\0');
    putSlot(logImage, 0, 256, "Smith,John");
    putSlot(logImage, 256, 64, "Sales");
    putSlot(logImage, 320, 26, "12/7/26");
    putSlot(logImage, 346, 26, "9:15:00 AM");
    putSlot(logImage, 372, 64, "Out");
    putSlot(logImage, 436, 64, "at 3");
    putSlot(logImage, 500, 64, "home");
    putSlot(logImage, 564, 256, "lunch");
    EXPECT_EQ(readBytes(dir.file("log_stat.dat")), logImage);
}

TEST(RecordFileImage, BytesAfterATerminatorAreIgnoredAndAFullSlotReadsWhole) {
    TempDir dir;
    std::string image(641, '\x7f');  // every byte not written below is junk
    putSlot(image, 0, 256, "Bob");
    putSlot(image, 256, 256, "");
    image.replace(512, 129, std::string(129, '1'));
    writeBytes(dir.file("phonebook.dat"), image);

    TPHONEList phones;
    phones.setFileName(dir.file("phonebook.dat"));
    phones.loadFromFile();
    ASSERT_EQ(phones.getCount(), 1);
    EXPECT_EQ(phones.getNode(0).Caller, "Bob");
    EXPECT_EQ(phones.getNode(0).Company, "");
    EXPECT_EQ(phones.getNode(0).PhoneNumber, std::string(129, '1'));
}

// ---- Round trips at the slot width W and at W+1, every field of every type.

template <class Node>
void checkRoundTripAtSlotWidths() {
    TempDir dir;
    RecordStore<Node> store;
    store.setFileName(dir.file("data.dat"));
    auto exact = std::make_unique<Node>();
    auto longer = std::make_unique<Node>();
    char fill = 'A';
    for (const auto& f : RecordLayout<Node>::kFields) {
        (*exact).*(f.member) = std::string(f.width, fill);
        (*longer).*(f.member) = std::string(f.width, fill) + "+";
        ++fill;
    }
    store.appendNode(std::move(exact));
    store.appendNode(std::move(longer));
    // In memory and as text nothing is cut.
    for (const auto& f : RecordLayout<Node>::kFields)
        EXPECT_EQ(((*store.records()[1]).*(f.member)).size(), f.width + 1) << f.name;

    store.saveToFile();
    EXPECT_EQ(readBytes(dir.file("data.dat")).size(), 2 * RecordLayout<Node>::kRecordSize);
    store.loadFromFile();
    ASSERT_EQ(store.getCount(), 2);
    fill = 'A';
    for (const auto& f : RecordLayout<Node>::kFields) {
        EXPECT_EQ((*store.records()[0]).*(f.member), std::string(f.width, fill)) << f.name;
        EXPECT_EQ((*store.records()[1]).*(f.member), std::string(f.width, fill)) << f.name;
        ++fill;
    }
}

TEST(RecordFileImage, ValuesOfSlotWidthSurviveAndLongerValuesComeBackCut) {
    checkRoundTripAtSlotWidths<TWIWONode>();
    checkRoundTripAtSlotWidths<TPOSTINode>();
    checkRoundTripAtSlotWidths<TWYWONode>();
    checkRoundTripAtSlotWidths<TDEPTNode>();
    checkRoundTripAtSlotWidths<TPHONENode>();
    checkRoundTripAtSlotWidths<TLOGNode>();
}

TEST(RecordFileImage, BytesAtOrAbove0x80AreStoredUnconverted) {
    TempDir dir;
    TDEPTList depts;
    depts.setFileName(dir.file("department.dat"));
    auto dept = std::make_unique<TDEPTNode>();
    dept->Name = "Caf\xe9 \xff\x80";
    depts.addNode(std::move(dept));
    depts.saveToFile();
    depts.loadFromFile();
    EXPECT_EQ(depts.getNode(0).Name, "Caf\xe9 \xff\x80");
}

// ---- Record strings

TEST(RecordString, FieldsAreJoinedBySeparatorsWithNoneAtTheEnds) {
    TPHONENode phone;
    phone.Caller = "Bob";
    phone.Company = "Acme";
    phone.PhoneNumber = "555";
    EXPECT_EQ(phone.toRecordString(), "Bob<~FLD~>Acme<~FLD~>555");

    TWIWONode empty;
    std::string expected;
    for (int i = 0; i < 21; ++i) expected += "<~FLD~>";
    EXPECT_EQ(empty.toRecordString(), expected);

    TWIWONode back;
    back.Employee = "junk";
    back.setFromString(expected);
    EXPECT_EQ(back.toRecordString(), expected);
    EXPECT_EQ(back.Employee, "");
}

TEST(RecordString, SurplusSeparatorsGoIntoTheLastField) {
    TPHONENode phone;
    phone.setFromString("Bob<~FLD~>Acme<~FLD~>555<~FLD~>extra<~FLD~>more");
    EXPECT_EQ(phone.Caller, "Bob");
    EXPECT_EQ(phone.Company, "Acme");
    EXPECT_EQ(phone.PhoneNumber, "555<~FLD~>extra<~FLD~>more");

    TWYWONode message;
    std::string text;
    for (int i = 1; i <= 16; ++i) text += (i > 1 ? "<~FLD~>" : "") + std::to_string(i);
    message.setFromString(text);  // 15 separators where 13 are needed
    EXPECT_EQ(message.Urgent, "13");
    EXPECT_EQ(message.Comments, "14<~FLD~>15<~FLD~>16");

    TDEPTNode dept;
    dept.setFromString("Sales<~FLD~>East");
    EXPECT_EQ(dept.Name, "Sales<~FLD~>East");
}

TEST(RecordString, MissingSeparatorsLeaveTheRemainingFieldsEmpty) {
    TPOSTINode memo;
    memo.Time = "stale";
    memo.setFromString("Smith,John<~FLD~>hello");
    EXPECT_EQ(memo.Recipient, "Smith,John");
    EXPECT_EQ(memo.ClientText2, "hello");
    EXPECT_EQ(memo.Date, "");
    EXPECT_EQ(memo.Time, "");
    EXPECT_EQ(memo.ClientText6, "");

    TLOGNode log;
    log.setFromString("");
    EXPECT_EQ(log.toRecordString(), TLOGNode{}.toRecordString());

    TPHONENode phone;
    phone.setFromString("Bob");
    EXPECT_EQ(phone.Caller, "Bob");
    EXPECT_EQ(phone.Company, "");
    EXPECT_EQ(phone.PhoneNumber, "");

    // A half separator is plain text.
    phone.setFromString("Bob<~FLD~Acme");
    EXPECT_EQ(phone.Caller, "Bob<~FLD~Acme");
}

TEST(RecordString, CreatedRecordsGetFreshSerials) {
    TPHONEList phones;
    auto a = phones.createNodeFromString("A");
    auto b = phones.createNodeFromString("B");
    EXPECT_NE(a->serial, 0u);
    EXPECT_NE(a->serial, b->serial);
    const auto before = b->serial;
    TPHONENode& stored = phones.addNode(std::move(b));
    EXPECT_GT(stored.serial, before);
}

// ---- Whole-list bundles

TEST(Bundle, WholeListBundlesCountRecordsAndEndEachWithTheRecordSeparator) {
    TDEPTList depts;
    EXPECT_EQ(depts.makeBundleFromList(), "0|");
    for (const char* name : {"Support", "Sales"}) {
        auto dept = std::make_unique<TDEPTNode>();
        dept->setFromString(name);
        depts.addNode(std::move(dept));
    }
    EXPECT_EQ(depts.makeBundleFromList(), "2|Sales<~REC~>Support<~REC~>");

    TPHONEList phones;
    EXPECT_EQ(phones.makeBundleFromList(), "0|");
    phones.addNode(phones.createNodeFromString("Bob<~FLD~>Acme<~FLD~>555"));
    phones.addNode(phones.createNodeFromString("Al<~FLD~><~FLD~>"));
    EXPECT_EQ(phones.makeBundleFromList(), "2|Al<~FLD~><~FLD~><~REC~>Bob<~FLD~>Acme<~FLD~>555<~REC~>");

    TWIWOList board;
    EXPECT_EQ(board.makeBundleFromList(), "0|");
    const std::string record = "Smith,John<~FLD~>Smith<~FLD~>John<~FLD~>pw<~FLD~>Sales<~FLD~>1<~FLD~>2"
                               "<~FLD~>In<~FLD~><~FLD~><~FLD~><~FLD~>j@x<~FLD~>NO<~FLD~>3<~FLD~>4<~FLD~>5"
                               "<~FLD~>6<~FLD~>a<~FLD~>b<~FLD~>c<~FLD~>d<~FLD~>e";
    board.addNode(board.createNodeFromString(record));
    EXPECT_EQ(board.makeBundleFromList(), "1|" + record + "<~REC~>");
}

}  // namespace
}  // namespace zv
