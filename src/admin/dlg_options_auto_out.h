// The end-of-day punch-out option: the time of day at which everyone still
// "In" is punched out ([Board] AutoOutAt); empty turns it off.
#pragma once

#include "admin/dlg_option_frame.h"

class QLineEdit;

namespace zv::admin {

class TdlgOptionsAutoOut : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgOptionsAutoOut(QWidget* parent = nullptr);

    // The setting's current text, shown when the dialog opens.
    void setAutoOutAt(const QString& text);
    QString autoOutAt() const;
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace zv::admin
