// The SMTP mail host option: the host through which new messages are e-mailed.
#pragma once

#include "admin/dlg_option_frame.h"

class QLineEdit;

namespace zv::admin {

class TdlgOptionsSMTP : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgOptionsSMTP(QWidget* parent = nullptr);

    // The setting's current text, shown when the dialog opens.
    void setSmtpHost(const QString& text);
    QString smtpHost() const;
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace zv::admin
