// The memo expiration option: how many days memos and messages stay unread.
#pragma once

#include "admin/dlg_option_frame.h"

class QLineEdit;

namespace zv::admin {

class TdlgOptionsExpDays : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgOptionsExpDays(QWidget* parent = nullptr);

    // The setting's current text, shown when the dialog opens.
    void setExpDays(const QString& text);
    QString expDays() const;
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace zv::admin
