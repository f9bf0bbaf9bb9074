#include "admin/dlg_options_port.h"

#include <QLineEdit>

namespace zv::admin {

TdlgOptionsPort::TdlgOptionsPort(QWidget* parent)
    : TdlgOptionFrame("TCP/IP Port", "Port:",
                      {"This option is for administrators who want to place the",
                       "Zelvora Server on a specific Port.  If you change",
                       "this value, be sure to use the Preferences dialog on",
                       "each Zelvora Client such that the Port number",
                       "matches this Port number."},
                      parent) {
    edit_ = placeTextEdit();
}

void TdlgOptionsPort::setPort(const QString& text) { edit_->setText(text); }

QString TdlgOptionsPort::port() const { return edit_->text(); }

}  // namespace zv::admin
