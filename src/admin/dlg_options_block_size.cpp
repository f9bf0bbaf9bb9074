#include "admin/dlg_options_block_size.h"

#include <QComboBox>
#include <QLabel>

namespace zv::admin {

namespace {
const QStringList kBlockSizes = {"1024", "2048", "4096", "8192"};
}

TdlgOptionsBlockSize::TdlgOptionsBlockSize(QWidget* parent)
    : TdlgOptionFrame("Socket Data Block Size", "Block Size:",
                      {"This setting allows you to optimize Zelvora's network",
                       "usage.  A higher block number means more data  in",
                       "each Send, so fewer Sends.  However, some networks",
                       "have a maximum number of bytes that can be sent at one",
                       "time.  If you experience network problems, try adjusting",
                       "this setting such that the block size is lower.  But keep",
                       "in mind that a lower Block Size means more data Sends,",
                       "thus slightly slower performance.  We recommend the",
                       "highest value your network supports (ie, 8192 is ideal)."},
                      parent) {
    list_ = new QComboBox(this);
    list_->setObjectName("list");
    list_->setEditable(false);
    list_->setMinimumWidth(100);
    auto* bytes = new QLabel("Bytes", this);
    bytes->setObjectName("bytesLabel");
    placeControl(list_, bytes, ControlWidth::Own);
    setBlockSize(QString());
}

void TdlgOptionsBlockSize::setBlockSize(const QString& text) {
    list_->clear();
    list_->addItems(kBlockSizes);
    list_->setCurrentIndex(static_cast<int>(kBlockSizes.indexOf(text)));
}

bool TdlgOptionsBlockSize::hasSelection() const { return list_->currentIndex() >= 0; }

QString TdlgOptionsBlockSize::blockSize() const {
    return hasSelection() ? list_->currentText() : QString();
}

}  // namespace zv::admin
