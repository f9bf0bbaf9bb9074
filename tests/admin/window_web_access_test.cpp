// The two options of running the office from a browser: "&Web Access" (the
// web port from the next start, the administrator's password stored as its
// hash) and "&End-of-Day Punch-Out".

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "admin/dlg_options_auto_out.h"
#include "admin/dlg_web_access.h"
#include "host/admin_password.h"
#include "host/server_host.h"
#include "support/http_client.h"
#include "support/tcp_client.h"
#include "web/web_server.h"
#include "window_test_support.h"

namespace zv::admin::test {
namespace {

using WebAccessTest = WindowTest;

TEST_F(WebAccessTest, SetsThePortFromTheNextStartAndStoresOnlyTheHashOfTwiceTypedPassword) {
    startServer({"Baker,Ann"});
    const int webPortInUse = host().settings().webPortInUse;
    whenModal<TdlgWebAccess>([this](TdlgWebAccess& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Web Access");
        EXPECT_EQ(dialog.controlLabel()->text(), "Web Port:");
        EXPECT_EQ(dialog.webPort(), "8480");
        EXPECT_EQ(dialog.passwordState()->text(), "none yet");
        EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
        // Tab walks port, password, confirmation, OK, Cancel.
        std::vector<QWidget*> seen{dialog.focusWidget()};
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            seen.push_back(dialog.focusWidget());
        }
        EXPECT_EQ(seen, (std::vector<QWidget*>{dialog.portEdit(), dialog.passwordEdit(), dialog.confirmEdit(),
                                               dialog.okButton(), dialog.cancelButton()}));

        // Refused, each keeping the dialog open.
        dialog.portEdit()->setText("70000");
        dialog.okButton()->click();
        EXPECT_EQ(prompts_.shown.back().second, "The web port \"70000\" is not a port from 0 (off) to 65535.");
        EXPECT_TRUE(dialog.isVisible());
        dialog.portEdit()->setText("9090");
        dialog.passwordEdit()->setText("office-keys-1");
        dialog.confirmEdit()->setText("office-keys-2");
        dialog.okButton()->click();
        EXPECT_EQ(prompts_.shown.back().second, "The two passwords differ.  Please type the new password twice.");
        EXPECT_TRUE(dialog.isVisible());
        dialog.confirmEdit()->setText("office-keys-1");
        dialog.okButton()->click();
    });
    form().menuAction("actWebAccess")->trigger();

    const std::string hash = iniValue(iniText(), "AdminPassword");
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u);
    EXPECT_TRUE(adminPasswordMatches(hash, "office-keys-1"));
    EXPECT_EQ(iniText().find("office-keys-1"), std::string::npos);
    EXPECT_EQ(host().settings().webPortInUse, webPortInUse) << "the new port from the next start";
    EXPECT_NE(iniText().find("[Web]\r\nPort=9090\r\n"), std::string::npos);

    // Opened again: a password is set; empty fields keep it; Cancel reads
    // the file back.
    whenModal<TdlgWebAccess>([](TdlgWebAccess& dialog) {
        EXPECT_EQ(dialog.passwordState()->text(), "set");
        dialog.okButton()->click();
    });
    form().menuAction("actWebAccess")->trigger();
    EXPECT_EQ(iniValue(iniText(), "AdminPassword"), hash);
    whenModal<TdlgWebAccess>([](TdlgWebAccess& dialog) {
        dialog.portEdit()->setText("0");
        dialog.cancelButton()->click();
    });
    form().menuAction("actWebAccess")->trigger();
    EXPECT_EQ(host().settings().WebPort, "9090");
}

TEST_F(WebAccessTest, APasswordChangedInTheWindowEndsEveryBrowserAdministratorsSession) {
    // The window with the board in a browser beside it, as zelvora-admin runs
    // them, and an administrator's password set already.
    const int webPort = zv::test::freeTcpPort();
    writeFile(dir_.file("zva.ini"), settingsText() + "[Web]\r\nPort=" + std::to_string(webPort) +
                                        "\r\nAdminPassword=" + hashAdminPassword("first-password") + "\r\n");
    writeAccounts({"Baker,Ann"});
    createWindow();
    web::TWebServer web(host().maintenance());
    form().show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form().startedUp(); }, 10000));
    ASSERT_TRUE(web.running());

    // Two browsers signed in as the administrator; each request is answered
    // by a step on the main loop, which Qt's loop turns meanwhile.
    zv::test::HttpClient first(webPort), second(webPort);
    const auto status = [](std::function<zv::test::HttpResponse()> request) {
        return whileProcessingEvents<zv::test::HttpResponse>(std::move(request)).status;
    };
    for (zv::test::HttpClient* browser : {&first, &second}) {
        ASSERT_EQ(status([browser] { return browser->adminSignIn("first-password"); }), 200);
        ASSERT_EQ(status([browser] { return browser->get("/api/admin/users"); }), 200);
    }

    whenModal<TdlgWebAccess>([](TdlgWebAccess& dialog) {
        dialog.passwordEdit()->setText("second-password");
        dialog.confirmEdit()->setText("second-password");
        dialog.okButton()->click();
    });
    form().menuAction("actWebAccess")->trigger();
    ASSERT_TRUE(adminPasswordMatches(iniValue(iniText(), "AdminPassword"), "second-password"));

    // Every session signed in with the old password has ended; the new one
    // signs in.
    for (zv::test::HttpClient* browser : {&first, &second}) {
        const zv::test::HttpResponse refused =
            whileProcessingEvents<zv::test::HttpResponse>([browser] { return browser->get("/api/admin/users"); });
        EXPECT_EQ(refused.status, 401);
        EXPECT_NE(refused.body.find("The administrator's password was changed; please sign in again."),
                  std::string::npos)
            << refused.body;
        EXPECT_EQ(status([browser] { return browser->get("/api/admin/users"); }), 401) << "ended for good";
    }
    zv::test::HttpClient third(webPort);
    EXPECT_EQ(status([&third] { return third.adminSignIn("first-password"); }), 401);
    EXPECT_EQ(status([&third] { return third.adminSignIn("second-password"); }), 200);
}

TEST_F(WebAccessTest, EndOfDayPunchOutTakesATimeOfDayOrNothingAndRefusesAnythingElse) {
    startServer({"Baker,Ann"});
    auto set = [this](const char* typed) {
        whenModal<TdlgOptionsAutoOut>([typed](TdlgOptionsAutoOut& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "End-of-Day Punch-Out");
            EXPECT_EQ(dialog.controlLabel()->text(), "Punch Everyone Out At:");
            dialog.edit()->setText(typed);
            dialog.okButton()->click();
        });
        form().menuAction("actEndOfDayPunchOut")->trigger();
    };
    set("17:30");
    EXPECT_EQ(iniValue(iniText(), "AutoOutAt"), "17:30");
    EXPECT_EQ(host().settings().autoOutSecond, 17 * 3600 + 30 * 60);
    EXPECT_EQ(iniValue(iniText(), "AutoOutDone").size(), 10u) << "a day already past is not made up";
    EXPECT_TRUE(prompts_.shown.empty());

    set("after lunch");
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].second,
              "The end-of-day punch-out time \"after lunch\" is not a time of day such as 17:30 (or empty, for "
              "none).\rThe setting is left as it was.");
    EXPECT_EQ(iniValue(iniText(), "AutoOutAt"), "17:30");

    set("");
    EXPECT_EQ(iniValue(iniText(), "AutoOutAt"), "");
    EXPECT_FALSE(host().settings().autoOutSecond);
}

}  // namespace
}  // namespace zv::admin::test
