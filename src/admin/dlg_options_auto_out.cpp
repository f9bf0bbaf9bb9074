#include "admin/dlg_options_auto_out.h"

#include <QLineEdit>

namespace zv::admin {

TdlgOptionsAutoOut::TdlgOptionsAutoOut(QWidget* parent)
    : TdlgOptionFrame("End-of-Day Punch-Out", "Punch Everyone Out At:",
                      {"At this time of day every employee whose status is In",
                       "is punched out, as if they had punched out themselves.",
                       "Type a time such as 17:30 or 5:30 PM, or leave it empty",
                       "so that nobody is punched out.  A server that was not",
                       "running at that time does it when it starts, once."},
                      parent) {
    edit_ = placeTextEdit();
    edit_->setPlaceholderText("none");
}

void TdlgOptionsAutoOut::setAutoOutAt(const QString& text) { edit_->setText(text); }

QString TdlgOptionsAutoOut::autoOutAt() const { return edit_->text().trimmed(); }

}  // namespace zv::admin
