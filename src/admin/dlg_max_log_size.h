// The maximum status change log size option: a spin box from 0 to 500.
#pragma once

#include "admin/dlg_option_frame.h"

class QSpinBox;

namespace zv::admin {

class TdlgMaxLogSize : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgMaxLogSize(QWidget* parent = nullptr);

    // Shows the setting's text; a text that is not a whole number shows 0, one
    // out of range shows the nearest end of the range.
    void setMaxLogSize(const QString& text);
    // The spin box's text, the whole number chosen.
    QString maxLogSize() const;
    int maxLogSizeValue() const;
    QSpinBox* spinBox() const { return spin_; }

private:
    QSpinBox* spin_ = nullptr;
};

}  // namespace zv::admin
