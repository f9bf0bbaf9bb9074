// The message boxes of the window's prompt: text lines, buttons, answers.

#include <QAbstractButton>
#include <QMessageBox>

#include "admin/message_box.h"
#include "dialogs_fixture.h"

namespace zv::admin::test {
namespace {

TEST(MessageBoxPrompt, ShowsTheTextLineByLineAndReturnsTheButtonPressed) {
    const MessagePrompt prompt = messageBoxPrompt(nullptr);

    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        icon = box.icon();
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt(MessageKind::Warning, "first line\rsecond line"), MessageAnswer::Ok);
    EXPECT_EQ(text, "first line\nsecond line");
    EXPECT_EQ(icon, QMessageBox::Warning);

    whenModal<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(prompt(MessageKind::Question, "Remove User \"Smith,Ann\"?"), MessageAnswer::Yes);
    EXPECT_EQ(text, "Remove User \"Smith,Ann\"?");

    whenModal<QMessageBox>([&](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_EQ(prompt(MessageKind::Question, "Remove Department \"Sales\"?"), MessageAnswer::No);

    // A short text still leaves the caption room in the title bar.
    int width = 0;
    int neededForCaption = 0;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        icon = box.icon();
        width = box.width();
        neededForCaption = captionWidth(box);
        EXPECT_EQ(box.windowTitle(), "Zelvora Admin/Server");
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt(MessageKind::Information, "New User"), MessageAnswer::Ok);
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_GE(width, neededForCaption);

    // The socket layer ends its lines with CR LF: one line break each.
    whenModal<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        box.button(QMessageBox::Ok)->click();
    });
    prompt(MessageKind::Error, "Port 6480 is in use.\r\rError 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(text, "Port 6480 is in use.\n\nError 10048 in function Bind\nAddress already in use");
}

}  // namespace
}  // namespace zv::admin::test
