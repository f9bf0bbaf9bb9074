#include "admin/dlg_about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/app_icon.h"
#include "admin/screen_centre.h"

namespace zv::admin {

TdlgAbout::TdlgAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About...");
    setWindowFlags(kFixedDialogFlags);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    // Fixed size: the box is as large as its contents and cannot be resized.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(14);

    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    auto* icon = new QLabel(this);
    icon->setObjectName("iconLabel");
    icon->setPixmap(mainIcon().pixmap(48, 48));
    row->addWidget(icon, 0, Qt::AlignTop);
    title_ = new QLabel("Zelvora Admin/Server 2.0.3", this);
    title_->setObjectName("titleLabel");
    QFont bold = title_->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    title_->setFont(bold);
    row->addWidget(title_, 0, Qt::AlignVCenter);
    layout->addLayout(row);

    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setObjectName("okButton");
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(okButton_, 0, Qt::AlignHCenter);
}

void TdlgAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace zv::admin
