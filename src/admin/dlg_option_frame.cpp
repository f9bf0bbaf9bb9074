#include "admin/dlg_option_frame.h"

#include <QAbstractSpinBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"

namespace zv::admin {

TdlgOptionFrame::TdlgOptionFrame(const QString& caption, const QString& labelText,
                                                                 const QStringList& explanationLines, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    setWindowFlags(kFixedDialogFlags);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(12);

    controlRow_ = new QGridLayout;
    controlRow_->setHorizontalSpacing(8);
    controlLabel_ = new QLabel(labelText, this);
    controlLabel_->setObjectName("controlLabel");
    controlRow_->addWidget(controlLabel_, 0, 0);
    layout->addLayout(controlRow_);

    explanation_ = new QLabel(this);
    explanation_->setObjectName("explanation");
    // Plain text keeps the double blanks of the wording.
    explanation_->setTextFormat(Qt::PlainText);
    explanation_->setWordWrap(false);
    explanation_->setText(explanationLines.join('\n'));
    layout->addWidget(explanation_);

    auto* buttons = new QDialogButtonBox(this);
    okButton_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    okButton_->setObjectName("okButton");
    okButton_->setDefault(true);
    cancelButton_ = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancelButton_->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString TdlgOptionFrame::explanationText() const { return explanation_->text(); }

void TdlgOptionFrame::placeControl(QWidget* control, QWidget* trailing, ControlWidth width) {
    control_ = control;
    controlLabel_->setBuddy(control);
    controlRow_->addWidget(control, 0, 1);
    if (trailing != nullptr) controlRow_->addWidget(trailing, 0, 2);
    controlRow_->setColumnStretch(width == ControlWidth::Stretch ? 1 : 3, 1);
    // Tab walks the dialog as the eye reads it, though the buttons were made
    // first; the dialog opens on the control.
    setTabOrder(control, okButton_);
    setTabOrder(okButton_, cancelButton_);
    lastInTabOrder_ = control;
    control->setFocus();
}

QLabel* TdlgOptionFrame::addRow(const QString& labelText, QWidget* widget) {
    const int row = controlRow_->rowCount();
    auto* label = new QLabel(labelText, this);
    label->setBuddy(widget);
    controlRow_->addWidget(label, row, 0);
    controlRow_->addWidget(widget, row, 1);
    setTabOrder(lastInTabOrder_, widget);
    setTabOrder(widget, okButton_);
    lastInTabOrder_ = widget;
    return label;
}

QLineEdit* TdlgOptionFrame::placeTextEdit() {
    auto* edit = new QLineEdit(this);
    edit->setObjectName("edit");
    edit->setMaxLength(255);
    edit->setMinimumWidth(220);
    placeControl(edit);
    return edit;
}

void TdlgOptionFrame::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
    if (control_ == nullptr) return;
    // What the administrator types replaces the value shown; Enter (the OK
    // button is the default) confirms it.
    control_->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control_)) edit->selectAll();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control_)) spin->selectAll();
}

}  // namespace zv::admin
