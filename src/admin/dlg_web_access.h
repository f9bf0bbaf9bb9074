// "Web Access": the port of the board in a browser ([Web] Port, from the
// next start as the client port) and the administrator's password for the
// administration pages ([Web] AdminPassword, stored only as its hash). OK
// refuses a port that is not one and two passwords that differ, keeping the
// dialog open.
#pragma once

#include "admin/dlg_option_frame.h"
#include "admin/maintenance_actions.h"

class QLabel;
class QLineEdit;

namespace zv::admin {

class TdlgWebAccess : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgWebAccess(MessagePrompt prompt, QWidget* parent = nullptr);

    // What the dialog shows when it opens.
    void setWebPort(const QString& text);
    void setPasswordIsSet(bool set);

    QString webPort() const;
    // The new password, or an empty text to keep the password as it is.
    QString newPassword() const;

    QLineEdit* portEdit() const { return port_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* confirmEdit() const { return confirm_; }
    QLabel* passwordState() const { return state_; }

public slots:
    void accept() override;

private:
    MessagePrompt prompt_;
    QLineEdit* port_ = nullptr;
    QLabel* state_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* confirm_ = nullptr;
};

}  // namespace zv::admin
