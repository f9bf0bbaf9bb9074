#include "admin/dlg_options_smtp.h"

#include <QLineEdit>

namespace zv::admin {

TdlgOptionsSMTP::TdlgOptionsSMTP(QWidget* parent)
    : TdlgOptionFrame("SMTP Mail Options", "SMTP Host:",
                      {"If you specify the IP address of your SMTP Mail Host,",
                       "then Zelvora can E-Mail memos to those employees",
                       "who have requested Internet E-Mail Notification on",
                       "their Zelvora \"Option:Preferences\" screen."},
                      parent) {
    edit_ = placeTextEdit();
}

void TdlgOptionsSMTP::setSmtpHost(const QString& text) { edit_->setText(text); }

QString TdlgOptionsSMTP::smtpHost() const { return edit_->text(); }

}  // namespace zv::admin
