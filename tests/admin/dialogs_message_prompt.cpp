// The message boxes of the window's prompt: text lines, buttons, answers.

#include <QAbstractButton>
#include <QMessageBox>

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

    whenModal<QMessageBox>([&](QMessageBox& box) {
        icon = box.icon();
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt(MessageKind::Information, "New User"), MessageAnswer::Ok);
    EXPECT_EQ(icon, QMessageBox::Information);
}

}  // namespace
}  // namespace zv::admin::test
