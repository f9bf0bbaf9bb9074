// What the administration keeps beside the board: the front desk's accounts
// follow an account renamed in the browser or in the window's dialog and
// leave with a removed one; phonebook entries are added and changed in
// caller order, refused without a caller, and reach the file at once.

#include <algorithm>

#include "host/account_rules.h"
#include "host/admin_operations.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "server_host_fixture.h"

namespace zv {
namespace {

using Kind = TAdminResult::Kind;

TAccountEdit renamed(const std::string& lastName) {
    TAccountEdit edit;
    edit[kLastNameField] = lastName;
    return edit;
}

TEST_F(ServerHostTest, AFrontDeskAccountStaysAtTheDeskWhenRenamedAnywhereAndLeavesItWhenRemoved) {
    writeIniWith("[FrontDesk]\r\nAccounts=Doe,Jane|Roe,Rick\r\n; the office's own note\r\n");
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    TMaintenanceApi& api = host.maintenance();
    ASSERT_EQ(api.createDepartment("the test", "Sales").kind, Kind::Done);
    for (const char* last : {"Doe", "Roe", "Poe"}) {
        const std::string first = std::string(last) == "Doe"   ? "Jane"
                                  : std::string(last) == "Roe" ? "Rick"
                                                               : "Pat";
        ASSERT_EQ(api.createAccount("the test", {last, first, "pw", "Sales"}).kind, Kind::Done);
    }

    // Renamed in a browser: at the desk under the new name, in the file too.
    ASSERT_EQ(api.modifyAccount("the test", "Doe,Jane", renamed("Smith")).kind, Kind::Done);
    EXPECT_TRUE(api.isFrontDesk("Smith,Jane"));
    EXPECT_FALSE(api.isFrontDesk("Doe,Jane"));
    std::string ini = test::readFile("zva.ini");
    EXPECT_NE(ini.find("[FrontDesk]\r\nAccounts=Roe,Rick|Smith,Jane\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("; the office's own note\r\n"), std::string::npos);

    // Renamed in the window's dialog, which saves the board when it closes:
    // the desk follows at once all the same.
    ASSERT_EQ(api.modifyAccount("the window", "Roe,Rick", renamed("Rowe"), Saving::WithTheDialog).kind,
              Kind::Done);
    EXPECT_EQ(api.frontDeskAccounts(), (std::vector<std::string>{"Smith,Jane", "Rowe,Rick"}));

    // An account not at the desk changes nothing there; a removed one leaves.
    ASSERT_EQ(api.modifyAccount("the test", "Poe,Pat", renamed("Moe")).kind, Kind::Done);
    EXPECT_EQ(api.frontDeskAccounts().size(), 2u);
    ASSERT_EQ(api.removeAccount("the test", "Smith,Jane").kind, Kind::Done);
    EXPECT_EQ(api.frontDeskAccounts(), std::vector<std::string>{"Rowe,Rick"});
    ini = test::readFile("zva.ini");
    EXPECT_NE(ini.find("Accounts=Rowe,Rick\r\n"), std::string::npos) << ini;

    // A new name the file cannot list takes the account off the desk, and says why.
    ASSERT_EQ(api.modifyAccount("the test", "Rowe,Rick", renamed("Rowe|Two")).kind, Kind::Done);
    EXPECT_TRUE(api.frontDeskAccounts().empty());
    EXPECT_NE(view_.allMessages().find("\"Rowe|Two,Rick\" left the front desk"), std::string::npos)
        << view_.allMessages();
    EXPECT_TRUE(host.FormCloseQuery());
}

TEST_F(ServerHostTest, PhonebookEntriesAreAddedAndChangedInCallerOrderAndSavedAtOnce) {
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    TMaintenanceApi& api = host.maintenance();

    TPHONENode entry;
    entry.Company = "Northwind";
    const TAdminResult noCaller = api.addPhoneEntry("the test", entry);
    EXPECT_EQ(noCaller.kind, Kind::Refused);
    EXPECT_EQ(noCaller.field, "caller");
    EXPECT_EQ(noCaller.message(), "Caller is required.");
    entry.Caller = "Zed Caller";
    entry.PhoneNumber = "555-0199";
    const TAdminResult zed = api.addPhoneEntry("the test", entry);
    ASSERT_EQ(zed.kind, Kind::Done);
    entry.Caller = "Bea Caller";
    ASSERT_EQ(api.addPhoneEntry("the test", entry).kind, Kind::Done);
    EXPECT_EQ(api.phonebook().front().Caller, "Bea Caller");

    // Zed becomes Abe: first in caller order, with a new serial; the old one is gone.
    entry.Caller = "Abe Caller";
    entry.Company = "Contoso";
    const TAdminResult abe = api.changePhoneEntry("the test", std::stoull(zed.record), entry);
    ASSERT_EQ(abe.kind, Kind::Done);
    std::vector<TPHONENode> book = api.phonebook();
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0].Caller, "Abe Caller");
    EXPECT_EQ(book[0].Company, "Contoso");
    EXPECT_EQ(std::to_string(book[0].serial), abe.record);
    EXPECT_EQ(api.changePhoneEntry("the test", std::stoull(zed.record), entry).kind, Kind::Gone);
    entry.Caller.clear();
    EXPECT_EQ(api.changePhoneEntry("the test", book[0].serial, entry).kind, Kind::Refused);

    // In the file at once, in caller order; each change in the record.
    const std::string file = test::readFile("phonebook.dat");
    ASSERT_EQ(file.size(), 2u * 641u);
    EXPECT_EQ(file.compare(0, 10, "Abe Caller"), 0);
    EXPECT_EQ(file.compare(641, 10, "Bea Caller"), 0);
    EXPECT_EQ(view_.linesWith("added phonebook entry"), 2);
    EXPECT_EQ(view_.linesWith(
                  "changed phonebook entry \"Zed Caller\" (\"Northwind\", \"555-0199\") to \"Abe Caller\""),
              1)
        << view_.allMessages();
    EXPECT_TRUE(host.FormCloseQuery());
}

}  // namespace
}  // namespace zv
