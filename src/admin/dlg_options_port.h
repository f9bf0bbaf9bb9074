// The TCP/IP port option: the port the server listens on from its next start.
#pragma once

#include "admin/dlg_option_frame.h"

class QLineEdit;

namespace zv::admin {

class TdlgOptionsPort : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgOptionsPort(QWidget* parent = nullptr);

    // The setting's current text, shown when the dialog opens.
    void setPort(const QString& text);
    QString port() const;
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace zv::admin
