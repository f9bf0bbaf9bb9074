#include "admin/dlg_max_log_size.h"

#include <QSpinBox>
#include <algorithm>

namespace zv::admin {

TdlgMaxLogSize::TdlgMaxLogSize(QWidget* parent)
    : TdlgOptionFrame("Status Change Log Maximum Size", "Maximum Status Log Size:",
                      {"This option specifies the Maximum number of Status",
                       " Change entries the database will hold.  A smaller value",
                       "will give better overall system performance."},
                      parent) {
    spin_ = new QSpinBox(this);
    spin_->setObjectName("spinBox");
    spin_->setRange(0, 500);
    spin_->setMinimumWidth(80);
    placeControl(spin_, nullptr, ControlWidth::Own);
}

void TdlgMaxLogSize::setMaxLogSize(const QString& text) {
    bool ok = false;
    const long long value = text.trimmed().toLongLong(&ok);
    spin_->setValue(ok ? static_cast<int>(std::clamp<long long>(value, 0, 500)) : 0);
}

QString TdlgMaxLogSize::maxLogSize() const { return QString::number(spin_->value()); }

int TdlgMaxLogSize::maxLogSizeValue() const { return spin_->value(); }

}  // namespace zv::admin
