// The five option dialogs: their texts and controls, and what OK and Cancel
// do to the settings, the settings file, the status bar and the log limit.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "admin/dlg_max_log_size.h"
#include "admin/dlg_options_block_size.h"
#include "admin/dlg_options_exp_days.h"
#include "admin/dlg_options_port.h"
#include "admin/dlg_options_smtp.h"
#include "host/server_host.h"
#include "stores/log_store.h"
#include "protocol/server_context.h"
#include "window_test_support.h"

namespace zv::admin::test {
namespace {

using OptionDialogTest = WindowTest;

// Every label of a shown dialog is at least as large as its text needs.
void expectNothingClipped(TdlgOptionFrame& dialog) {
    dialog.show();
    QTest::qWait(1);
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_GE(label->height(), label->sizeHint().height()) << label->text().toStdString();
    }
    EXPECT_TRUE(dialog.okButton()->isVisible());
    dialog.hide();
}

TEST_F(OptionDialogTest, ShowTheirCaptionsLabelsAndExplanationsWordForWord) {
    TdlgOptionsSMTP smtp;
    EXPECT_EQ(smtp.windowTitle(), "SMTP Mail Options");
    EXPECT_EQ(smtp.controlLabel()->text(), "SMTP Host:");
    EXPECT_EQ(smtp.explanationText(),
              "If you specify the IP address of your SMTP Mail Host,\n"
              "then Zelvora can E-Mail memos to those employees\n"
              "who have requested Internet E-Mail Notification on\n"
              "their Zelvora \"Option:Preferences\" screen.");
    EXPECT_EQ(smtp.edit()->maxLength(), 255);
    expectNothingClipped(smtp);

    TdlgOptionsPort port;
    EXPECT_EQ(port.windowTitle(), "TCP/IP Port");
    EXPECT_EQ(port.controlLabel()->text(), "Port:");
    EXPECT_EQ(port.explanationText(),
              "This option is for administrators who want to place the\n"
              "Zelvora Server on a specific Port.  If you change\n"
              "this value, be sure to use the Preferences dialog on\n"
              "each Zelvora Client such that the Port number\n"
              "matches this Port number.");
    EXPECT_EQ(port.edit()->maxLength(), 255);
    expectNothingClipped(port);

    TdlgOptionsBlockSize block;
    EXPECT_EQ(block.windowTitle(), "Socket Data Block Size");
    EXPECT_EQ(block.controlLabel()->text(), "Block Size:");
    EXPECT_EQ(block.findChild<QLabel*>("bytesLabel")->text(), "Bytes");
    EXPECT_EQ(block.explanationText(),
              "This setting allows you to optimize Zelvora's network\n"
              "usage.  A higher block number means more data  in\n"
              "each Send, so fewer Sends.  However, some networks\n"
              "have a maximum number of bytes that can be sent at one\n"
              "time.  If you experience network problems, try adjusting\n"
              "this setting such that the block size is lower.  But keep\n"
              "in mind that a lower Block Size means more data Sends,\n"
              "thus slightly slower performance.  We recommend the\n"
              "highest value your network supports (ie, 8192 is ideal).");
    EXPECT_FALSE(block.list()->isEditable());
    expectNothingClipped(block);

    TdlgOptionsExpDays days;
    EXPECT_EQ(days.windowTitle(), "Auto-Expiration");
    EXPECT_EQ(days.controlLabel()->text(), "Expiration Days:");
    EXPECT_EQ(days.explanationText(),
              "This option specifies how many days an unread memo\n"
              "is allowed to stay on the Admin Server before it is\n"
              "automatically deleted.");
    EXPECT_EQ(days.edit()->maxLength(), 255);
    expectNothingClipped(days);

    TdlgMaxLogSize log;
    EXPECT_EQ(log.windowTitle(), "Status Change Log Maximum Size");
    EXPECT_EQ(log.controlLabel()->text(), "Maximum Status Log Size:");
    EXPECT_EQ(log.explanationText(),
              "This option specifies the Maximum number of Status\n"
              " Change entries the database will hold.  A smaller value\n"
              "will give better overall system performance.");
    EXPECT_EQ(log.spinBox()->minimum(), 0);
    EXPECT_EQ(log.spinBox()->maximum(), 500);
    expectNothingClipped(log);

    for (TdlgOptionFrame* dialog : std::initializer_list<TdlgOptionFrame*>{&smtp, &port, &block, &days, &log}) {
        EXPECT_EQ(dialog->okButton()->text(), "OK");
        EXPECT_EQ(dialog->cancelButton()->text(), "Cancel");
    }
}

// Where the focus goes at each Tab, starting from where the dialog opened.
std::vector<QWidget*> tabWalk(TdlgOptionFrame& dialog) {
    std::vector<QWidget*> seen{dialog.focusWidget()};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        seen.push_back(dialog.focusWidget());
    }
    return seen;
}

// Opens the dialog of `action` with the menu; in it checks the tab order,
// types `typed` over the value shown and presses Enter.
template <class Dialog>
void typeAndPressEnter(TServerForm& form, const char* action, const char* typed) {
    bool seen = false;
    whenModal<Dialog>([&seen, typed](Dialog& dialog) {
        seen = true;
        EXPECT_EQ(tabWalk(dialog), (std::vector<QWidget*>{dialog.control(), dialog.okButton(),
                                                          dialog.cancelButton(), dialog.control()}))
            << dialog.windowTitle().toStdString();
        QTest::keyClicks(dialog.focusWidget(), typed);
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    });
    form.menuAction(action)->trigger();
    EXPECT_TRUE(seen) << action;
}

TEST_F(OptionDialogTest, OpenOnTheirControlTabToOkThenCancelAndEnterConfirmsWhatWasTyped) {
    startServer({"Baker,Ann"});
    // The value shown is selected, so what is typed replaces it.
    typeAndPressEnter<TdlgOptionsSMTP>(form(), "actSMTPMailHost", "mail.example.com");
    typeAndPressEnter<TdlgOptionsPort>(form(), "actTCPIPPort", "7123");
    typeAndPressEnter<TdlgOptionsBlockSize>(form(), "actDataBlockSize", "2");
    typeAndPressEnter<TdlgOptionsExpDays>(form(), "actMemoExpiration", "14");
    typeAndPressEnter<TdlgMaxLogSize>(form(), "actMaxLogSize", "250");

    const std::string ini = iniText();
    EXPECT_EQ(iniValue(ini, "SMTPHost"), "mail.example.com");
    EXPECT_EQ(iniValue(ini, "Port"), "7123");
    EXPECT_EQ(panelText(2), "Port: 7123");
    EXPECT_EQ(iniValue(ini, "BlockSize"), "2048");
    EXPECT_EQ(iniValue(ini, "ExpDays"), "14");
    EXPECT_EQ(iniValue(ini, "MaxLogSize"), "250");
    EXPECT_EQ(host().maintenance().statusLogLimit(), 250);
}

TEST_F(OptionDialogTest, BlockSizeListSelectsOnlyOneOfItsFourEntries) {
    TdlgOptionsBlockSize dialog;
    dialog.setBlockSize("4096");
    ASSERT_EQ(dialog.list()->count(), 4);
    EXPECT_EQ(dialog.list()->itemText(0), "1024");
    EXPECT_EQ(dialog.list()->itemText(3), "8192");
    EXPECT_EQ(dialog.blockSize(), "4096");
    dialog.setBlockSize("3000");
    EXPECT_EQ(dialog.list()->count(), 4) << "refilled, not added to";
    EXPECT_FALSE(dialog.hasSelection());
    EXPECT_EQ(dialog.blockSize(), "");
    dialog.setBlockSize("1024 ");
    EXPECT_FALSE(dialog.hasSelection());

    TdlgMaxLogSize log;
    log.setMaxLogSize("250");
    EXPECT_EQ(log.maxLogSize(), "250");
    log.setMaxLogSize("9000");
    EXPECT_EQ(log.maxLogSize(), "500");
    log.setMaxLogSize("many");
    EXPECT_EQ(log.maxLogSize(), "0");
}

TEST_F(OptionDialogTest, SmtpHostOkWritesTheFileAndCancelReadsItBack) {
    startServer({"Baker,Ann"});
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) {
        EXPECT_EQ(dialog.smtpHost(), "");
        dialog.edit()->setText("mail.example.com");
        dialog.okButton()->click();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(host().settings().SMTPHost, "mail.example.com");
    EXPECT_EQ(iniValue(iniText(), "SMTPHost"), "mail.example.com");

    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) {
        EXPECT_EQ(dialog.smtpHost(), "mail.example.com");
        dialog.edit()->setText("other.example.com");
        dialog.cancelButton()->click();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(host().settings().SMTPHost, "mail.example.com");

    // A setting changed in memory only goes back to the file's at a cancel;
    // the empty text is accepted by OK.
    host().settings().ExpDays = "9";
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) { dialog.close(); });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(host().settings().ExpDays, "1");
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) {
        dialog.edit()->clear();
        dialog.okButton()->click();
    });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(host().settings().SMTPHost, "");
    EXPECT_EQ(iniValue(iniText(), "SMTPHost"), "");
}

TEST_F(OptionDialogTest, PortOkShowsTheNewPortWhileClientsStillUseTheOldOne) {
    startServer({"Baker,Ann"});
    const int listening = port();
    whenModal<TdlgOptionsPort>([](TdlgOptionsPort& dialog) {
        EXPECT_EQ(dialog.port(), "0");
        dialog.edit()->setText("7123");
        dialog.okButton()->click();
    });
    form().menuAction("actTCPIPPort")->trigger();
    EXPECT_EQ(panelText(2), "Port: 7123");
    EXPECT_EQ(iniValue(iniText(), "Port"), "7123");
    EXPECT_EQ(port(), listening);
    {
        TTestClient client(listening);
        EXPECT_EQ(client.login("Baker,Ann"), "PREPARE_TO_RECEIVE");
    }

    whenModal<TdlgOptionsPort>([](TdlgOptionsPort& dialog) {
        dialog.edit()->setText("9999");
        dialog.cancelButton()->click();
    });
    form().menuAction("actTCPIPPort")->trigger();
    EXPECT_EQ(panelText(2), "Port: 7123");
    EXPECT_EQ(host().settings().Port, "7123");
}

TEST_F(OptionDialogTest, BlockSizeOutsideTheListSelectsNothingAndOkActsAsCancel) {
    writeFile(dir_.file("zva.ini"), settingsText("3000"));
    startServer({"Baker,Ann"});
    EXPECT_EQ(host().settings().blockSizeInUse, 3000);

    host().settings().SMTPHost = "changed.in.memory";
    whenModal<TdlgOptionsBlockSize>([](TdlgOptionsBlockSize& dialog) {
        EXPECT_FALSE(dialog.hasSelection());
        EXPECT_EQ(dialog.list()->currentIndex(), -1);
        dialog.okButton()->click();
    });
    form().menuAction("actDataBlockSize")->trigger();
    EXPECT_EQ(host().settings().BlockSize, "3000");
    EXPECT_EQ(host().settings().SMTPHost, "") << "the settings were read back";
    EXPECT_EQ(iniValue(iniText(), "BlockSize"), "3000");
}

TEST_F(OptionDialogTest, ChosenBlockSizeIsWrittenButUsedOnlyFromTheNextLoad) {
    startServer({"Baker,Ann"});
    whenModal<TdlgOptionsBlockSize>([](TdlgOptionsBlockSize& dialog) {
        EXPECT_EQ(dialog.blockSize(), "8192");
        dialog.list()->setCurrentIndex(0);
        dialog.okButton()->click();
    });
    form().menuAction("actDataBlockSize")->trigger();
    EXPECT_EQ(iniValue(iniText(), "BlockSize"), "1024");
    EXPECT_EQ(host().settings().BlockSize, "1024");
    EXPECT_EQ(host().sessionContext().blockSizeInUse(), 8192);

    // Any cancelled option dialog reloads the settings.
    whenModal<TdlgOptionsExpDays>([](TdlgOptionsExpDays& dialog) { dialog.cancelButton()->click(); });
    form().menuAction("actMemoExpiration")->trigger();
    EXPECT_EQ(host().sessionContext().blockSizeInUse(), 1024);
}

TEST_F(OptionDialogTest, ExpirationDaysTakesAnyText) {
    startServer({"Baker,Ann"});
    whenModal<TdlgOptionsExpDays>([](TdlgOptionsExpDays& dialog) {
        EXPECT_EQ(dialog.expDays(), "1");
        dialog.edit()->setText("14");
        dialog.okButton()->click();
    });
    form().menuAction("actMemoExpiration")->trigger();
    EXPECT_EQ(host().sessionContext().expDaysText(), "14");
    EXPECT_EQ(iniValue(iniText(), "ExpDays"), "14");
    EXPECT_TRUE(prompts_.shown.empty()) << "the dialogs show no messages of their own";
}

TEST_F(OptionDialogTest, MaximumLogSizeOkSetsTheLogLimitAtOnce) {
    startServer({"Baker,Ann"});
    EXPECT_EQ(host().maintenance().statusLogLimit(), 100);
    whenModal<TdlgMaxLogSize>([](TdlgMaxLogSize& dialog) {
        EXPECT_EQ(dialog.maxLogSize(), "100");
        dialog.spinBox()->setValue(3);
        dialog.okButton()->click();
    });
    form().menuAction("actMaxLogSize")->trigger();
    EXPECT_EQ(host().maintenance().statusLogLimit(), 3);
    EXPECT_EQ(host().settings().MaxLogSize, "3");
    EXPECT_EQ(iniValue(iniText(), "MaxLogSize"), "3");

    whenModal<TdlgMaxLogSize>([](TdlgMaxLogSize& dialog) {
        dialog.spinBox()->setValue(400);
        dialog.cancelButton()->click();
    });
    form().menuAction("actMaxLogSize")->trigger();
    EXPECT_EQ(host().maintenance().statusLogLimit(), 3);

    // Punch-ins log a status change each; the log keeps at most 3.
    for (int i = 0; i < 5; ++i) {
        TTestClient client(port());
        EXPECT_EQ(client.request("SUBMIT_LOGIN:PUNCH_IN:Baker,Ann|pw:[*WIWO*]NO_DATA[*POSTI*]"
                                 "NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA",
                                 [](const std::string& a) { return a.size() >= 18; }),
                  "PREPARE_TO_RECEIVE");
    }
    ASSERT_TRUE(waitForNoSessions());
    EXPECT_EQ(host().maintenance().statusLogCount(), 3);
}

TEST_F(OptionDialogTest, CancelPutsTheWindowBackWhereTheSettingsSayAndOkRecordsIt) {
    // The four numbers are the outer frame's, as a person sees the window.
    writeFile(dir_.file("zva.ini"),
              settingsText("8192", 1, "Left=30\r\nTop=40\r\nWidth=640\r\nHeight=360\r\n"));
    startServer({"Baker,Ann"});
    EXPECT_EQ(form().frameGeometry(), QRect(30, 40, 640, 360));

    // A cancel where the window stands changes nothing; after a move it puts
    // the window back.
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) { dialog.cancelButton()->click(); });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(form().frameGeometry(), QRect(30, 40, 640, 360));
    form().move(120, 90);
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) { dialog.cancelButton()->click(); });
    form().menuAction("actSMTPMailHost")->trigger();
    EXPECT_EQ(form().frameGeometry(), QRect(30, 40, 640, 360));

    form().move(70, 60);
    form().resize(700, 400);
    const QRect frame = form().frameGeometry();
    whenModal<TdlgOptionsSMTP>([](TdlgOptionsSMTP& dialog) { dialog.okButton()->click(); });
    form().menuAction("actSMTPMailHost")->trigger();
    const std::string ini = iniText();
    EXPECT_EQ(iniValue(ini, "Left"), "70");
    EXPECT_EQ(iniValue(ini, "Top"), "60");
    EXPECT_EQ(iniValue(ini, "Width"), std::to_string(frame.width()));
    EXPECT_EQ(iniValue(ini, "Height"), std::to_string(frame.height()));
    EXPECT_EQ(iniValue(ini, "Status"), "1");
}

}  // namespace
}  // namespace zv::admin::test
