#include "admin/dlg_options_exp_days.h"

#include <QLineEdit>

namespace zv::admin {

TdlgOptionsExpDays::TdlgOptionsExpDays(QWidget* parent)
    : TdlgOptionFrame("Auto-Expiration", "Expiration Days:",
                      {"This option specifies how many days an unread memo",
                       "is allowed to stay on the Admin Server before it is",
                       "automatically deleted."},
                      parent) {
    edit_ = placeTextEdit();
}

void TdlgOptionsExpDays::setExpDays(const QString& text) { edit_->setText(text); }

QString TdlgOptionsExpDays::expDays() const { return edit_->text(); }

}  // namespace zv::admin
