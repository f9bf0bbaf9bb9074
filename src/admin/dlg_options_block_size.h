// The data block size option: a pick-only list of the four block sizes.
#pragma once

#include "admin/dlg_option_frame.h"

class QComboBox;

namespace zv::admin {

class TdlgOptionsBlockSize : public TdlgOptionFrame {
    Q_OBJECT

public:
    explicit TdlgOptionsBlockSize(QWidget* parent = nullptr);

    // Refills the list with "1024", "2048", "4096", "8192" and selects the entry
    // equal to the text; any other text leaves nothing selected.
    void setBlockSize(const QString& text);
    // True when an entry is selected.
    bool hasSelection() const;
    // The selected entry, or an empty text when nothing is selected.
    QString blockSize() const;
    QComboBox* list() const { return list_; }

private:
    QComboBox* list_ = nullptr;
};

}  // namespace zv::admin
