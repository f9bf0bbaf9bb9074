#include "admin/dlg_web_access.h"

#include <QLabel>
#include <QLineEdit>

#include "host/admin_password.h"
#include "host/option_rules.h"

namespace zv::admin {

TdlgWebAccess::TdlgWebAccess(MessagePrompt prompt, QWidget* parent)
    : TdlgOptionFrame("Web Access", "Web Port:",
                      {"The board in a browser listens on this port from the",
                       "next start of the server; 0 turns it off.  The",
                       "administrator's password opens the administration",
                       "pages (/admin): type a new one twice to change it, or",
                       "leave both empty to keep the password as it is."},
                      parent),
      prompt_(std::move(prompt)) {
    port_ = placeTextEdit();
    port_->setMaxLength(5);
    state_ = new QLabel(this);
    state_->setObjectName("passwordState");
    addRow("Password:", state_);
    password_ = new QLineEdit(this);
    password_->setObjectName("newPassword");
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(kAdminPasswordMaxLength));
    addRow("New Password:", password_);
    confirm_ = new QLineEdit(this);
    confirm_->setObjectName("confirmPassword");
    confirm_->setEchoMode(QLineEdit::Password);
    confirm_->setMaxLength(static_cast<int>(kAdminPasswordMaxLength));
    addRow("Confirm Password:", confirm_);
}

void TdlgWebAccess::setWebPort(const QString& text) { port_->setText(text); }

void TdlgWebAccess::setPasswordIsSet(bool set) {
    state_->setText(set ? QStringLiteral("set") : QStringLiteral("none yet"));
}

QString TdlgWebAccess::webPort() const { return port_->text().trimmed(); }

QString TdlgWebAccess::newPassword() const { return password_->text(); }

void TdlgWebAccess::accept() {
    if (const std::string why = webPortRefusal(webPort().toStdString()); !why.empty()) {
        prompt_(MessageKind::Warning, why);
        port_->setFocus();
        port_->selectAll();
        return;
    }
    if (password_->text() != confirm_->text()) {
        prompt_(MessageKind::Warning, "The two passwords differ.  Please type the new password twice.");
        password_->setFocus();
        password_->selectAll();
        return;
    }
    if (!password_->text().isEmpty()) {
        if (const std::string why = adminPasswordRefusal(password_->text().toStdString()); !why.empty()) {
            prompt_(MessageKind::Warning, why);
            password_->setFocus();
            return;
        }
    }
    TdlgOptionFrame::accept();
}

}  // namespace zv::admin
