// The three maintenance actions of the main window, run against a live server
// in a temporary folder: what is saved or reloaded when each dialog closes, the
// user table after account maintenance, and clients that log in while a
// dialog is open (their sessions run under the dialog's own loop).

#include <unistd.h>

#include <future>

#include <QComboBox>
#include <QPrinter>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include "admin/dlg_account_maintenance.h"
#include "admin/dlg_caller_maintenance.h"
#include "admin/dlg_department_maintenance.h"
#include "admin/dlg_dept_acct.h"
#include "admin/dlg_status_log.h"
#include "admin/qt_loop_bridge.h"
#include "dialogs_fixture.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "protocol/server_context.h"
#include "support/recording_view.h"
#include "support/tcp_client.h"

namespace zv::admin::test {
namespace {

using zv::test::TcpClient;

std::string loginRequest(const std::string& mode, const std::string& key, const std::string& password,
                         const std::string& phone = "NO_DATA") {
    return "SUBMIT_LOGIN:" + mode + ":" + key + "|" + password + ":[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]" +
           phone;
}

// The records of a data file, read through a store of the same kind.
template <class Store>
std::vector<std::string> keysInFile(const std::string& path) {
    Store store;
    store.setFileName(path);
    store.loadFromFile();
    std::vector<std::string> keys;
    for (int i = 0; i < store.getCount(); ++i) keys.push_back(store.getNode(i).toRecordString());
    return keys;
}

std::vector<std::string> callersInFile(const std::string& path) {
    std::vector<std::string> callers;
    for (const std::string& record : keysInFile<TPHONEList>(path)) callers.push_back(record.substr(0, record.find("<~FLD~>")));
    return callers;
}

// A server started in a temporary folder that is also the current directory,
// its main loop running under Qt's loop as in the window.
class HostedDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(::chdir(folder.path().c_str()), 0);
        std::ofstream(folder.file("zva.ini"), std::ios::binary)
            << "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=0\r\nExpDays=0\r\nMaxLogSize=100\r\n";
        seed();

        host = std::make_unique<TServerHost>(view, folder.path().string());
        bridge = std::make_unique<TQtLoopBridge>(host->maintenance().mainLoop());
        host->FormShow();
        ASSERT_TRUE(host->serving()) << view.allMessages();
        port = host->listeningPort();
    }
    void TearDown() override {
        if (host) {
            view.confirmAnswer = true;
            host->FormCloseQuery();
            host->FormDestroy();
            processEventsUntil([] { return false; }, 20);
            host.reset();
        }
        bridge.reset();
        for (QWidget* window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->isVisible() && qobject_cast<QDialog*>(window)) << "a dialog was left open";
        ASSERT_EQ(::chdir(oldCwd_.c_str()), 0);
    }

    // The data files the server starts with.
    virtual void seed() {
        stores.addDepartment("Sales");
        stores.addDepartment("Admin");
        stores.addAccount("Smith", "Ann", "Sales").Status = "Out";
        stores.addAccount("Brown", "Bob", "Admin");
        stores.addCaller("Amy", "Acme", "555-1");
        stores.addCaller("Bea", "Beta", "555-2");
        stores.addCaller("Cy", "Cyan", "555-3");
        stores.addLog({"Brown,Bob", "Admin", "12/6/26", "9:00:00 AM", "In"});
        stores.board.saveToFile();
        stores.departments.saveToFile();
        stores.phonebook.saveToFile();
        stores.log.saveToFile();
    }

    // Logs a client in on a thread of its own, pulls the bundle and confirms,
    // while this thread keeps Qt's events flowing; the login reply comes back.
    std::string clientLogsIn(const std::string& request) {
        auto work = std::async(std::launch::async, [this, request]() -> std::string {
            TcpClient client(port);
            client.send(request);
            const std::string reply = client.receiveLoginReply();
            if (reply != "PREPARE_TO_RECEIVE") return reply;
            client.pullBundle(8192);
            client.send("CONFIRM");
            client.closedWithin(std::chrono::seconds(15));
            return reply;
        });
        EXPECT_TRUE(processEventsUntil(
            [&] { return work.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 4000))
            << "the client was not served";
        // Let the session's end reach the main thread too.
        processEventsUntil([this] { return host->registry().count() == 0; }, 4000);
        return work.get();
    }

    TempFolder folder;
    StoreFiles stores{folder};
    zv::test::RecordingView view;
    std::unique_ptr<TServerHost> host;
    std::unique_ptr<TQtLoopBridge> bridge;
    int port = 0;

private:
    std::string oldCwd_;
};

TEST_F(HostedDialogs, AccountMaintenanceSavesDepartmentsAndAccountsOnlyOnOk) {
    const std::string deptBefore = readWholeFile("department.dat");
    const std::string boardBefore = readWholeFile("wiwo.dat");

    // Close box: the changes stay in memory, no file is written.
    whenModal<TdlgDeptAcct>([](TdlgDeptAcct& d) {
        whenModal<TdlgDepartmentMaintenance>([](TdlgDepartmentMaintenance& m) {
            m.editNewDepartment->setText("Warehouse");
            m.btnOK->click();
        });
        d.btnCreateDept->click();
        whenModal<TdlgAccountMaintenance>([](TdlgAccountMaintenance& a) {
            a.editLastName->setText("Lee");
            a.editFirstName->setText("Kim");
            a.cbDepartment->setCurrentIndex(a.cbDepartment->findText("Warehouse"));
            a.btnOK->click();
        });
        d.btnCreateUser->click();
        d.close();
    });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(view.messages.back().text, "New User \"Lee,Kim\" has been added to Department \"Warehouse\".");
    EXPECT_EQ(readWholeFile("department.dat"), deptBefore);
    EXPECT_EQ(readWholeFile("wiwo.dat"), boardBefore);
    EXPECT_EQ(host->maintenance().accountCount(), 3);
    EXPECT_EQ(host->userTable().cell(2, 0), "Lee,Kim") << "the table is refreshed either way";
    EXPECT_EQ(view.panels[kUsersPanel], "Users: 3");

    // OK: departments and accounts are written.
    whenModal<TdlgDeptAcct>([](TdlgDeptAcct& d) { d.btnOK->click(); });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(keysInFile<TDEPTList>("department.dat"), (std::vector<std::string>{"Admin", "Sales", "Warehouse"}));
    const std::vector<std::string> board = keysInFile<TWIWOList>("wiwo.dat");
    ASSERT_EQ(board.size(), 3u);
    EXPECT_EQ(board[1].substr(0, board[1].find("<~FLD~>")), "Lee,Kim");
}

TEST_F(HostedDialogs, AccountMaintenanceClearsTheRowsOfRemovedAccounts) {
    host->sessionContext().refreshUserTable("Smith,Ann");
    const std::string lastActivity = host->userTable().cell(2, 2);
    ASSERT_FALSE(lastActivity.empty());
    view.questionAnswer = MessageAnswer::Yes;
    whenModal<TdlgDeptAcct>([](TdlgDeptAcct& d) {
        d.treeDeptAcct->setCurrentItem(d.treeDeptAcct->findItems("Brown,Bob", Qt::MatchExactly | Qt::MatchRecursive).value(0));
        d.btnDeleteUser->click();
        d.close();
    });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(host->maintenance().accountCount(), 1);
    EXPECT_EQ(host->userTable().cell(1, 0), "Smith,Ann");
    EXPECT_EQ(host->userTable().cell(2, 0), "");
    EXPECT_EQ(host->userTable().cell(2, 1), "");
    EXPECT_EQ(host->userTable().cell(2, 2), lastActivity) << "the row keeps its last activity";
    EXPECT_EQ(keysInFile<TWIWOList>("wiwo.dat").size(), 2u) << "closed with the close box: nothing written";
}

TEST_F(HostedDialogs, AClientPunchingInWhileAccountMaintenanceIsOpenIsServedAndKeepsItsChange) {
    std::string reply;
    whenModal<TdlgDeptAcct>([&](TdlgDeptAcct& d) {
        reply = clientLogsIn(loginRequest("PUNCH_IN", "Smith,Ann", "pw"));
        d.close();
    });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(reply, "PREPARE_TO_RECEIVE");
    EXPECT_EQ(host->maintenance().account("Smith,Ann")->Status, "In");
    TWIWOList saved;
    saved.setFileName("wiwo.dat");
    saved.loadFromFile();
    EXPECT_EQ(saved.findByKey("Smith,Ann")->Status, "In") << "the punch saved the board itself";
}

TEST_F(HostedDialogs, PhonebookDeletionsAreSavedOnOkAndDroppedOnCancel) {
    const std::string before = readWholeFile("phonebook.dat");
    whenModal<TdlgCallerMaintenance>([](TdlgCallerMaintenance& d) {
        d.btnDelete->click();
        d.btnDeleteAll->click();
        d.btnCancel->click();
    });
    openCallerMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(readWholeFile("phonebook.dat"), before);
    EXPECT_EQ(static_cast<int>(host->maintenance().phonebook().size()), 3) << "reloaded";

    whenModal<TdlgCallerMaintenance>([](TdlgCallerMaintenance& d) { d.close(); });  // close box as Cancel
    openCallerMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(readWholeFile("phonebook.dat"), before);

    whenModal<TdlgCallerMaintenance>([](TdlgCallerMaintenance& d) {
        d.gridCallers->setCurrentCell(1, 0);
        d.btnDelete->click();
        d.btnOK->click();
    });
    openCallerMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(callersInFile("phonebook.dat"), (std::vector<std::string>{"Amy", "Cy"}));
}

TEST_F(HostedDialogs, AClientAddingCallersWhilePhonebookIsOpenIsServedAndItsCallersSurviveCancel) {
    std::string reply;
    std::vector<std::string> gridAfterLogin;
    whenModal<TdlgCallerMaintenance>([&](TdlgCallerMaintenance& d) {
        d.btnDelete->click();  // Amy, in memory only
        reply = clientLogsIn(loginRequest("FULL", "Smith,Ann", "pw", "1|Abe<~FLD~>Alpha<~FLD~>555-0<~REC~>"));
        for (int r = 0; r < d.gridCallers->rowCount(); ++r) gridAfterLogin.push_back(fromQt(d.gridCallers->item(r, 0)->text()));
        d.btnCancel->click();
    });
    openCallerMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(reply, "PREPARE_TO_RECEIVE");
    EXPECT_EQ(gridAfterLogin, (std::vector<std::string>{"Bea", "Cy"})) << "new entries wait for the next showing";
    // Adding the received entries saved the whole store, the deletion with it.
    EXPECT_EQ(callersInFile("phonebook.dat"), (std::vector<std::string>{"Abe", "Bea", "Cy"}));
    ASSERT_EQ(static_cast<int>(host->maintenance().phonebook().size()), 3);
    EXPECT_EQ(host->maintenance().phonebook()[0].Caller, "Abe");
}

TEST_F(HostedDialogs, StatusLogIsSavedOnOkReloadedOtherwiseAndKeepsAClientsPunch) {
    std::string reply;
    int rowsBeforeFilter = 0;
    int rowsAfterFilter = 0;
    whenModal<TdlgStatusLog>([&](TdlgStatusLog& d) {
        reply = clientLogsIn(loginRequest("PUNCH_IN", "Smith,Ann", "pw"));
        rowsBeforeFilter = d.gridLog->rowCount();
        d.btnFilter->click();
        rowsAfterFilter = d.gridLog->rowCount();
        d.close();  // the close box cancels: the log is reloaded
    });
    openStatusChangeLog(nullptr, host->maintenance());
    EXPECT_EQ(reply, "PREPARE_TO_RECEIVE");
    EXPECT_EQ(rowsBeforeFilter, 1);
    EXPECT_EQ(rowsAfterFilter, 2);
    ASSERT_EQ(host->maintenance().statusLogCount(), 2) << "the punch was logged and saved, the reload keeps it";
    EXPECT_EQ(host->maintenance().statusLog()[1].Employee, "Smith,Ann");
    EXPECT_EQ(host->maintenance().statusLog()[1].Status, "In");
    EXPECT_EQ(keysInFile<TLOGList>("log_stat.dat").size(), 2u);

    // With a filter in force, a client's punch out, then OK: the log is saved whole.
    whenModal<TdlgStatusLog>([&](TdlgStatusLog& d) {
        d.cbFilterKind->setCurrentIndex(2);
        d.cbFilterValue->setCurrentIndex(d.cbFilterValue->findText("Sales"));
        EXPECT_EQ(d.gridLog->rowCount(), 1);
        TcpClient client(port);
        client.send("PUNCH_OUT:Smith,Ann:");
        processEventsUntil([this] { return host->maintenance().statusLogCount() == 3; }, 4000);
        d.btnOK->click();
    });
    openStatusChangeLog(nullptr, host->maintenance());
    ASSERT_EQ(host->maintenance().statusLogCount(), 3);
    EXPECT_EQ(host->maintenance().statusLog()[2].Status, "Out");
    EXPECT_EQ(keysInFile<TLOGList>("log_stat.dat").size(), 3u);
}

// A server started in an empty folder.
class HostedDialogsFromScratch : public HostedDialogs {
protected:
    void seed() override {}
};

TEST_F(HostedDialogsFromScratch, AnAccountCreatedInTheDialogsLogsInAndItsPunchIsLoggedAndPrinted) {
    ASSERT_EQ(host->maintenance().accountCount(), 0);
    whenModal<TdlgDeptAcct>([](TdlgDeptAcct& d) {
        whenModal<TdlgDepartmentMaintenance>([](TdlgDepartmentMaintenance& m) {
            m.editNewDepartment->setText("Sales");
            m.btnOK->click();
        });
        d.btnCreateDept->click();
        whenModal<TdlgAccountMaintenance>([](TdlgAccountMaintenance& a) {
            a.editLastName->setText("Smith");
            a.editFirstName->setText("Ann");
            a.cbDepartment->setCurrentIndex(0);
            a.btnOK->click();
        });
        d.btnCreateUser->click();
        d.btnOK->click();
    });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    EXPECT_EQ(keysInFile<TDEPTList>("department.dat"), std::vector<std::string>{"Sales"});
    ASSERT_EQ(keysInFile<TWIWOList>("wiwo.dat").size(), 1u);

    EXPECT_EQ(clientLogsIn(loginRequest("PUNCH_IN", "Smith,Ann", "wrong")), "LOGIN_DENIED");
    EXPECT_EQ(clientLogsIn(loginRequest("PUNCH_IN", "Smith,Ann", "580214")), "PREPARE_TO_RECEIVE");

    const std::string pdf = folder.file("log.pdf");
    std::vector<std::string> shown;
    whenModal<TdlgStatusLog>([&](TdlgStatusLog& d) {
        for (int r = 0; r < d.gridLog->rowCount(); ++r) shown.push_back(fromQt(d.gridLog->item(r, 0)->text() + "|" +
                                                                             d.gridLog->item(r, 1)->text() + "|" +
                                                                             d.gridLog->item(r, 4)->text()));
        d.setPrinterChooser([pdf](QPrinter& printer, QWidget*) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
        d.btnPrint->click();
        d.btnOK->click();
    });
    openStatusChangeLog(nullptr, host->maintenance());
    EXPECT_EQ(shown, std::vector<std::string>{"Smith,Ann|Sales|In"});
    EXPECT_TRUE(fileExists(pdf));
    EXPECT_GT(std::filesystem::file_size(pdf), 0u);
}

TEST_F(HostedDialogs, AStoreThatCannotBeSavedOrReloadedIsReportedAndTheFileKept) {
    const std::string deptBefore = readWholeFile("department.dat");
    const std::string phonesBefore = readWholeFile("phonebook.dat");
    view.confirmAnswer = true;
    ASSERT_TRUE(host->FormCloseQuery());  // shutdown begun: the stores are emptied and never written again
    view.messages.clear();

    whenModal<TdlgDeptAcct>([](TdlgDeptAcct& d) { d.btnOK->click(); });
    openDepartmentUserMaintenance(nullptr, host->maintenance());
    ASSERT_EQ(view.messages.size(), 2u) << view.allMessages();
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].text.rfind("The departments were not saved.\r", 0), 0u) << view.messages[0].text;
    EXPECT_EQ(view.messages[1].text.rfind("The accounts were not saved.\r", 0), 0u) << view.messages[1].text;
    EXPECT_EQ(readWholeFile("department.dat"), deptBefore);

    view.messages.clear();
    whenModal<TdlgCallerMaintenance>([](TdlgCallerMaintenance& d) { d.btnCancel->click(); });
    openCallerMaintenance(nullptr, host->maintenance());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text.rfind("The phonebook was not reloaded.\r", 0), 0u) << view.messages[0].text;
    EXPECT_EQ(readWholeFile("phonebook.dat"), phonesBefore);
}

}  // namespace
}  // namespace zv::admin::test
