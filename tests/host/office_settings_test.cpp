// The office's systems' settings as the administration sets them: the
// [Directory] keys checked and written, webhooks added, refused and
// removed with their section, the rest of the file left as it was; and a
// server without a directory, whose backups hold no file of one.

#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "server_host_fixture.h"

namespace zv {
namespace {

using Kind = TAdminResult::Kind;

TEST_F(ServerHostTest, TheOfficesSettingsAreSetAndAWebhookLeavesTheFileWithItsSection) {
    writeIniWith(
        "[Chat.Old]\r\nURL=https://chat.example.com/hooks/old\r\nKind=slack\r\n"
        "; the office's own note\r\n[Board]\r\nAutoOutAt=\r\n");
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    TMaintenanceApi& api = host.maintenance();

    // A server without a directory makes no file of one, nor puts one in a backup.
    const TBackupSnapshot snapshot = api.backupSnapshot("the test");
    for (const TBackupFile& file : snapshot.files) EXPECT_NE(file.name, "directory.dat");
    EXPECT_EQ(snapshot.files.size(), 8u);  // seven data files and zva.ini
    EXPECT_FALSE(test::fileExists("directory.dat"));

    // The [Directory] keys: all checked before any is set.
    const TAdminResult badTimeout =
        api.changeDirectorySettings("the test", {{"URI", "ldap://x"}, {"Timeout", "ten"}});
    EXPECT_EQ(badTimeout.kind, Kind::Refused);
    EXPECT_EQ(badTimeout.field, "Timeout");
    EXPECT_EQ(api.changeDirectorySettings("the test", {{"Nope", "x"}}).kind, Kind::Refused);
    EXPECT_EQ(api.settings().DirectoryURI, "");
    ASSERT_EQ(api.changeDirectorySettings(
                     "the test",
                     {{"URI", " ldaps://ldap.example.com "}, {"BindPassword", "s3cret"}, {"Timeout", "5"}})
                  .kind,
              Kind::Done);
    EXPECT_EQ(api.settings().DirectoryURI, "ldaps://ldap.example.com");
    EXPECT_EQ(api.settings().directoryTimeoutSeconds, 5);
    std::string ini = test::readFile("zva.ini");
    EXPECT_NE(ini.find("[Directory]\r\nURI=ldaps://ldap.example.com\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("BindPassword=s3cret\r\n"), std::string::npos);
    EXPECT_EQ(view_.linesWith("the test: changed [Directory] BindPassword"), 1);
    EXPECT_EQ(view_.linesWith("s3cret"), 0);  // a password is never shown

    // A webhook that could not be posted to is refused; a sound one is added.
    TChatHookTexts signedHook{"Intranet", "https://intranet.example.com/hooks", "json", "", "", ""};
    const TAdminResult unsigned_ = api.setChatHook("the test", signedHook);
    EXPECT_EQ(unsigned_.kind, Kind::Refused);
    EXPECT_NE(unsigned_.message().find("needs a Secret"), std::string::npos) << unsigned_.message();
    signedHook.Secret = "shared";
    ASSERT_EQ(api.setChatHook("the test", signedHook).kind, Kind::Done);
    // A change without the address keeps the one set.
    ASSERT_EQ(api.setChatHook("the test", {"Intranet", "", "json", "", "Sales", "status"}).kind, Kind::Done);
    ini = test::readFile("zva.ini");
    EXPECT_NE(
        ini.find("[Chat.Intranet]\r\nURL=https://intranet.example.com/hooks\r\nKind=json\r\nSecret=shared\r\n"
                 "Departments=Sales\r\nEvents=status\r\n"),
        std::string::npos)
        << ini;
    EXPECT_EQ(api.setChatHook("the test", {"Bad]Name", "https://x", "slack", "", "", ""}).kind,
              Kind::Refused);

    // Removed, a webhook takes its section along; the rest stays as it was.
    ASSERT_EQ(api.removeChatHook("the test", "Old").kind, Kind::Done);
    EXPECT_EQ(api.removeChatHook("the test", "Old").kind, Kind::Gone);
    ini = test::readFile("zva.ini");
    EXPECT_EQ(ini.find("Chat.Old"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("hooks/old"), std::string::npos);
    EXPECT_NE(ini.find("; the office's own note"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Board]\r\nAutoOutAt=\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Chat.Intranet]"), std::string::npos);
    ASSERT_EQ(api.settings().chatHooks.size(), 1u);
    EXPECT_EQ(view_.linesWith("the test: removed the chat webhook \"Old\""), 1);
    EXPECT_TRUE(host.FormCloseQuery());
}

}  // namespace
}  // namespace zv
