// The main window's menus, messages, About box, tray, placement, start-up
// failures and shutdown warning, with a live server.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include "admin/dlg_about.h"
#include "admin/dlg_close.h"
#include "admin/dlg_options_smtp.h"
#include "admin/instance_restore.h"
#include "admin/server_tray.h"
#include "host/server_host.h"
#include "net/single_instance.h"
#include "window_test_support.h"

namespace zv::admin::test {
namespace {

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, MenuHoldsEveryItemWithItsAccessKey) {
    startServer({});
    QStringList menus;
    for (QAction* menu : form().menuBar()->actions()) menus << menu->text();
    EXPECT_EQ(menus, QStringList({"&Options", "&Accounts", "&Data", "&Logging", "&Help"}));
    const std::vector<std::pair<const char*, const char*>> items = {
        {"actSMTPMailHost", "&SMTP Mail Host"},
        {"actTCPIPPort", "&TCP/IP Port"},
        {"actDataBlockSize", "&Data Block Size"},
        {"actMemoExpiration", "&Memo Expiration"},
        {"actMaxLogSize", "Ma&ximum Status Change Log Size"},
        {"actEndOfDayPunchOut", "&End-of-Day Punch-Out"},
        {"actWebAccess", "&Web Access"},
        {"actDeptUserMaintenance", "&Department/User Maintenance"},
        {"actPhonebook", "&Phonebook"},
        {"actStatusChangeLog", "&Status Change Log"},
        {"actWhereHelp", "Where Can I Get &Help?"},
        {"actAbout", "&About Zelvora"},
    };
    for (const auto& [name, caption] : items) {
        QAction* action = form().menuAction(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), caption);
    }
    QMenu* options = form().menuBar()->actions().at(0)->menu();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->actions().size(), 7);
}

TEST_F(MainWindowTest, HelpItemInvitesToWriteToSupportAndAboutNamesTheVersion) {
    startServer({});
    form().menuAction("actWhereHelp")->trigger();
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].first, MessageKind::Information);
    EXPECT_NE(prompts_.shown[0].second.find("support@zelvora.example"), std::string::npos);
    EXPECT_NE(prompts_.shown[0].second.find("e-mail"), std::string::npos);

    whenModal<TdlgAbout>([](TdlgAbout& about) {
        EXPECT_EQ(about.windowTitle(), "About...");
        EXPECT_EQ(about.titleLabel()->text(), "Zelvora Admin/Server 2.0.3");
        EXPECT_TRUE(about.titleLabel()->font().bold());
        EXPECT_FALSE(about.findChild<QLabel*>("iconLabel")->pixmap().isNull());
        EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "fixed size";
        about.okButton()->click();
    });
    form().menuAction("actAbout")->trigger();
}

TEST_F(MainWindowTest, ShutdownWarningNoOrItsCloseBoxKeepsTheServerRunning) {
    startServer({"Baker,Ann"});
    QSignalSpy closed(&form(), &TServerForm::serverClosed);
    whenModal<TdlgClose>([](TdlgClose& warning) {
        EXPECT_EQ(warning.windowTitle(), "Server Shutdown Warning");
        EXPECT_EQ(warning.warningLabel()->text(), "Warning:");
        EXPECT_EQ(warning.warningLabel()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_GT(warning.warningLabel()->font().pointSizeF(), warning.font().pointSizeF());
        EXPECT_EQ(warning.explanationText(),
                  "This Server program must be left running on your Server\n"
                  "computer in order for Zelvora Clients to function.\n"
                  "If you close this Server program, Zelvora Clients will\n"
                  "not be served any data, thus will not function properly.");
        EXPECT_EQ(warning.questionLabel()->text(), "Are you sure you want to shut down the Server?");
        EXPECT_TRUE(warning.questionLabel()->font().bold());
        EXPECT_EQ(warning.yesButton()->text(), "&Yes");
        warning.noButton()->click();
    });
    EXPECT_FALSE(form().close());
    EXPECT_FALSE(form().shutDown());
    EXPECT_TRUE(form().isVisible());

    whenModal<TdlgClose>([](TdlgClose& warning) { warning.close(); });
    EXPECT_FALSE(form().close());

    // The tray's "&Shutdown" asks the same question.
    bool asked = false;
    whenModal<TdlgClose>([&asked](TdlgClose& warning) {
        asked = true;
        warning.noButton()->click();
    });
    form().tray()->shutdownAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&asked] { return asked; }, 10000));

    // A client served afterwards (its login a turn of the loop after the
    // answer) finds the server going on, and the window never closed.
    TTestClient client(port());
    EXPECT_EQ(client.login("Baker,Ann"), "PREPARE_TO_RECEIVE") << "still serving";
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(form().shutDown());
}

TEST_F(MainWindowTest, ShutdownWarningYesStopsSessionsAndSavesTheSettings) {
    startServer({"Baker,Ann"});
    QSignalSpy closed(&form(), &TServerForm::serverClosed);
    TTestClient client(port());
    ASSERT_EQ(client.login("Baker,Ann"), "PREPARE_TO_RECEIVE");
    writeFile(dir_.file("zva.ini"), "");
    whenModal<TdlgClose>([](TdlgClose& warning) { warning.yesButton()->click(); });
    EXPECT_TRUE(form().close());
    EXPECT_TRUE(form().shutDown());
    EXPECT_EQ(closed.count(), 1);
    // The stop writes the window's placement, and keeps every other key as
    // the file holds it: here, emptied by hand while the server ran.
    EXPECT_EQ(iniValue(iniText(), "Status"), "1");
    EXPECT_EQ(iniValue(iniText(), "BlockSize"), "");
    // The session was told to stop: the server closes the connection.
    const std::string rest = client.request("", [](const std::string&) { return false; });
    EXPECT_EQ(rest, "");
    EXPECT_TRUE(waitForNoSessions());
}

TEST_F(MainWindowTest, AStopSignalCancelsTheOpenDialogAndStopsAsAConfirmedCloseDoes) {
    startServer({"Baker,Ann"});
    QSignalSpy closed(&form(), &TServerForm::serverClosed);
    TTestClient client(port());
    ASSERT_EQ(client.login("Baker,Ann"), "PREPARE_TO_RECEIVE");
    bool asked = false;
    QObject watching;  // ends the watch for a question with the test
    whenModal<TdlgClose>(
        [&asked](TdlgClose& warning) {
            asked = true;
            warning.noButton()->click();
        },
        &watching);
    whenModal<TdlgOptionsSMTP>([this](TdlgOptionsSMTP& dialog) {
        dialog.edit()->setText("typed.but.cancelled");
        form().stopOnSignal();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed.count() == 1; }, 10000));
    EXPECT_FALSE(asked) << "a stop signal asks nobody";
    EXPECT_TRUE(form().shutDown());
    const std::string ini = iniText();
    EXPECT_EQ(iniValue(ini, "SMTPHost"), "") << "the open dialog was cancelled";
    EXPECT_EQ(iniValue(ini, "Status"), "1");
    EXPECT_EQ(iniValue(ini, "Left"), std::to_string(form().frameGeometry().left()));
    EXPECT_EQ(iniValue(ini, "Width"), std::to_string(form().frameGeometry().width()));
    // The session was told to stop, as at a confirmed close.
    EXPECT_EQ(client.request("", [](const std::string&) { return false; }), "");
    EXPECT_TRUE(waitForNoSessions());
}

TEST_F(MainWindowTest, AClientIsServedWhileAModalDialogIsOpen) {
    startServer({"Baker,Ann"});
    std::string answer;
    std::string rowWhileOpen;
    whenModal<TdlgOptionsSMTP>([&](TdlgOptionsSMTP& dialog) {
        TTestClient client(port());
        answer = client.login("Baker,Ann");
        rowWhileOpen = cell(1, 1);
        client.close();
        EXPECT_TRUE(waitForNoSessions()) << "the end handler runs under the dialog too";
        dialog.cancelButton()->click();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(answer, "PREPARE_TO_RECEIVE");
    EXPECT_EQ(rowWhileOpen, "Updating");
    EXPECT_EQ(cell(1, 1), "Idle");
}

TEST_F(MainWindowTest, AConnectionBeyondMaxClientsIsToldWithoutABoxThatWaitsForAnAnswer) {
    writeFile(dir_.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=0\r\nExpDays=1\r\n"
                                    "MaxLogSize=100\r\nMaxClients=1\r\n");
    startServer({});
    const std::size_t boxes = prompts_.shown.size();
    TTestClient first(port());
    ASSERT_TRUE(QTest::qWaitFor([this] { return host().registry().count() == 1; }, 5000));
    TTestClient second(port());
    // No tray on this desktop: the status bar tells it.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form().statusBar()->currentMessage().isEmpty(); }, 5000));
    EXPECT_TRUE(form().statusBar()->currentMessage().contains("MaxClients"))
        << form().statusBar()->currentMessage().toStdString();
    EXPECT_EQ(prompts_.shown.size(), boxes);
    EXPECT_EQ(host().registry().count(), 1);
}

TEST_F(MainWindowTest, ScreenStatusTwoStartsMinimisedAndIsSavedAsTwo) {
    writeFile(dir_.file("zva.ini"),
              settingsText("8192", 2, "Left=10\r\nTop=10\r\nWidth=500\r\nHeight=300\r\n"));
    startServer({});
    ASSERT_TRUE(QTest::qWaitFor([this] { return form().isMinimized() || form().inTray(); }, 5000));
    EXPECT_EQ(form().currentPlacement().state, WindowState::Minimized);
    if (!TServerTray::available()) {
        EXPECT_TRUE(form().isVisible()) << "no tray: minimised normally";
    }

    form().restoreWindow();
    EXPECT_FALSE(form().isMinimized());
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(form().currentPlacement().state, WindowState::Normal);

    // A minimised window at shutdown writes only Status 2.
    form().move(200, 100);
    form().showMinimized();
    ASSERT_TRUE(waitForMinimised());
    whenModal<TdlgClose>([](TdlgClose& warning) { warning.yesButton()->click(); });
    EXPECT_TRUE(form().close());
    const std::string ini = iniText();
    EXPECT_EQ(iniValue(ini, "Status"), "2");
    EXPECT_EQ(iniValue(ini, "Left"), "10");
}

TEST_F(MainWindowTest, ScreenStatusZeroLeavesTheWindowWhereTheSystemPutIt) {
    writeFile(dir_.file("zva.ini"),
              settingsText("8192", 0, "Left=300\r\nTop=200\r\nWidth=400\r\nHeight=250\r\n"));
    startServer({});
    EXPECT_NE(form().size(), QSize(400, 250));
    EXPECT_NE(form().pos(), QPoint(300, 200));
}

TEST_F(MainWindowTest, ScreenStatusThreeStartsMaximisedAndIsSavedAsThree) {
    writeFile(dir_.file("zva.ini"),
              settingsText("8192", 3, "Left=15\r\nTop=25\r\nWidth=500\r\nHeight=300\r\n"));
    startServer({});
    EXPECT_TRUE(form().isMaximized());
    EXPECT_EQ(form().currentPlacement().state, WindowState::Maximized);
    whenModal<TdlgClose>([](TdlgClose& warning) { warning.yesButton()->click(); });
    EXPECT_TRUE(form().close());
    const std::string ini = iniText();
    EXPECT_EQ(iniValue(ini, "Status"), "3");
    EXPECT_EQ(iniValue(ini, "Left"), "15");
    EXPECT_EQ(iniValue(ini, "Width"), "500");
}

TEST_F(MainWindowTest, NoShutdownWhileADialogIsOpenAndDialogsAreCentred) {
    startServer({});
    bool warned = false;
    QObject watching;  // ends the watch for a warning with the test
    whenModal<TdlgClose>(
        [&warned](TdlgClose& warning) {
            warned = true;
            warning.noButton()->click();
        },
        &watching);
    bool closeRefused = false;
    QPoint dialogCentre;
    whenModal<TdlgOptionsSMTP>([&](TdlgOptionsSMTP& dialog) {
        dialogCentre = dialog.frameGeometry().center();
        closeRefused = !form().close();
        dialog.cancelButton()->click();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_TRUE(closeRefused);
    EXPECT_FALSE(form().shutDown());
    const QPoint screenCentre = form().screen()->availableGeometry().center();
    EXPECT_LE((dialogCentre - screenCentre).manhattanLength(), 4);
    // The close refused while the dialog was open is not made up once it has
    // gone: a client's login (a turn of the loop) is served without a question.
    TTestClient client(port());
    EXPECT_EQ(client.login("Nobody,Here"), "NON_EXIST");
    EXPECT_FALSE(warned) << "no close question while a dialog is open";
    EXPECT_FALSE(form().shutDown());
}

TEST_F(MainWindowTest, TrayHasItsTipAndMenuAndOpenRestoresTheWindow) {
    startServer({});
    TServerTray* tray = form().tray();
    EXPECT_EQ(tray->icon()->toolTip(), "Zelvora Admin/Server");
    const QList<QAction*> actions = tray->menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Open");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "&Shutdown");

    // A right click brings a window on the screen forward (the menu opens
    // beside it) and leaves a minimised one where it is.
    emit tray->icon()->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(form().isVisible());
    EXPECT_FALSE(form().isMinimized());
    form().showMinimized();
    ASSERT_TRUE(waitForMinimised());
    emit tray->icon()->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(form().isMinimized() || form().inTray());
    tray->openAction()->trigger();
    EXPECT_FALSE(form().isMinimized());
    EXPECT_TRUE(form().isVisible());
    EXPECT_FALSE(form().inTray());
}

TEST_F(MainWindowTest, ASecondStartBringsTheWindowBackAndTouchesNoFile) {
    startServer({});
    SingleInstanceGuard running(dir_.path());
    ASSERT_EQ(running.acquire(), SingleInstanceGuard::Result::Acquired) << running.error();
    restoreOnSecondStart(running, form());
    form().showMinimized();
    ASSERT_TRUE(waitForMinimised());
    const std::string iniBefore = iniText();

    const auto second = whileProcessingEvents<SingleInstanceGuard::Result>([this] {
        SingleInstanceGuard another(dir_.path());
        return another.acquire();
    });
    EXPECT_EQ(second, SingleInstanceGuard::Result::OtherRunning);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form().isMinimized() && !form().inTray(); }, 10000));
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(iniText(), iniBefore);
}

TEST_F(MainWindowTest, APortInUseStopsTheStartWithAMessageAndNoQuestion) {
    // Hold a port so that the server cannot listen on it.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string busy = std::to_string(ntohs(address.sin_port));

    std::string ini = settingsText();
    ini.replace(ini.find("Port=0"), 6, "Port=" + busy);
    writeFile(dir_.file("zva.ini"), ini);
    writeAccounts({"Baker,Ann"});
    const std::string boardBefore = readFile(dir_.file("wiwo.dat"));

    createWindow();
    QSignalSpy closed(form_.get(), &TServerForm::serverClosed);
    form_->show();
    ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed.count() == 1; }, 10000));
    ::close(holder);
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_EQ(prompts_.shown[0].first, MessageKind::Error);
    EXPECT_NE(prompts_.shown[0].second.find("already using port " + busy), std::string::npos);
    EXPECT_NE(prompts_.shown[0].second.find("Address already in use"), std::string::npos)
        << "the socket layer's text follows";
    EXPECT_TRUE(host().fatalStartup());
    EXPECT_FALSE(form().isVisible());
    EXPECT_EQ(readFile(dir_.file("wiwo.dat")), boardBefore);
}

}  // namespace
}  // namespace zv::admin::test
