#include "admin/dlg_close.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"

namespace zv::admin {

TdlgClose::TdlgClose(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Server Shutdown Warning");
    setWindowFlags(kFixedDialogFlags);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(20, 14, 20, 12);
    layout->setSpacing(10);

    warning_ = new QLabel("Warning:", this);
    warning_->setObjectName("warningLabel");
    QFont big = warning_->font();
    big.setPointSize(16);
    big.setBold(true);
    warning_->setFont(big);
    QPalette red = warning_->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    warning_->setPalette(red);
    layout->addWidget(warning_);

    lines_ = new QLabel(this);
    lines_->setObjectName("explanation");
    lines_->setTextFormat(Qt::PlainText);
    lines_->setText(
      "This Server program must be left running on your Server\n"
      "computer in order for Zelvora Clients to function.\n"
      "If you close this Server program, Zelvora Clients will\n"
      "not be served any data, thus will not function properly.");
    layout->addWidget(lines_);

    question_ = new QLabel("Are you sure you want to shut down the Server?", this);
    question_->setObjectName("questionLabel");
    QFont bold = question_->font();
    bold.setBold(true);
    question_->setFont(bold);
    QPalette black = question_->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    question_->setPalette(black);
    layout->addWidget(question_);

    auto* buttons = new QDialogButtonBox(this);
    yesButton_ = buttons->addButton(tr("&Yes"), QDialogButtonBox::YesRole);
    yesButton_->setObjectName("yesButton");
    noButton_ = buttons->addButton(tr("&No"), QDialogButtonBox::NoRole);
    noButton_->setObjectName("noButton");
    // No is the default: Enter alone never stops the server.
    noButton_->setDefault(true);
    connect(yesButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(noButton_, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons, 0, Qt::AlignHCenter);
}

QString TdlgClose::explanationText() const { return lines_->text(); }

void TdlgClose::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace zv::admin
