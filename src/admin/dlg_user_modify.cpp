#include "admin/dlg_user_modify.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"
#include "stores/date_time.h"
#include "stores/records.h"

namespace zv::admin {

namespace {

// maxLength 0 means no limit in the edit.
QLineEdit* makeEdit(QWidget* parent, int maxLength, int width = 200) {
    auto* edit = new QLineEdit(parent);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    edit->setMinimumWidth(width);
    return edit;
}

}  // namespace

TdlgUserModify::TdlgUserModify(MaintenanceData& data, MessagePrompt prompt,
                               QWidget* parent)
    : QDialog(parent), data_(data), prompt_(std::move(prompt)) {
    setWindowTitle(QStringLiteral("Modify User"));
    setWindowFlags(kFixedDialogFlags);

    auto* employeeCaption = new QLabel(QStringLiteral("Employee:"), this);
    lblEmployee = new QLabel(this);
    QFont bold = lblEmployee->font();
    bold.setBold(true);
    lblEmployee->setFont(bold);
    lblEmployee->setTextFormat(Qt::PlainText);
    lblEmployee->setMinimumWidth(300);

    editPassword = makeEdit(this, 64);
    editLastName = makeEdit(this, 64);
    editFirstName = makeEdit(this, 64);
    cbDepartment = new QComboBox(this);
    cbDepartment->setEditable(false);
    editEMail = makeEdit(this, 128);
    editWorkPhone = makeEdit(this, 24);
    editExtension = makeEdit(this, 16);
    editHomePhone = makeEdit(this, 24);
    editCarPhone = makeEdit(this, 24);
    editPager = makeEdit(this, 128);
    editOther = makeEdit(this, 128);
    editStatus = makeEdit(this, 0, 240);
    editReturning = makeEdit(this, 0, 240);
    editReachedAt = makeEdit(this, 0, 240);
    editComments = makeEdit(this, 0, 240);
    editEmergName = makeEdit(this, 128, 240);
    editEmergPhone = makeEdit(this, 24, 240);
    editEmergRelation = makeEdit(this, 64, 240);

    auto* account = new QFormLayout;
    account->addRow(QStringLiteral("Password:"), editPassword);
    account->addRow(QStringLiteral("Last Name:"), editLastName);
    account->addRow(QStringLiteral("First Name:"), editFirstName);
    account->addRow(QStringLiteral("Department:"), cbDepartment);
    account->addRow(QStringLiteral("E-Mail:"), editEMail);
    account->addRow(QStringLiteral("Work Phone:"), editWorkPhone);
    account->addRow(QStringLiteral("Extension:"), editExtension);
    account->addRow(QStringLiteral("Home Phone:"), editHomePhone);
    account->addRow(QStringLiteral("Cell Phone:"), editCarPhone);
    account->addRow(QStringLiteral("Pager:"), editPager);
    account->addRow(QStringLiteral("Other:"), editOther);

    // The two framed groups stand one above the other; their labels share one
    // width so that the seven edits form one column.
    std::vector<QLabel*> groupLabels;
    const auto addGroupRow = [this, &groupLabels](QFormLayout* form, const char* text, QLineEdit* edit) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(edit);
        groupLabels.push_back(label);
        form->addRow(label, edit);
    };
    auto* statusGroup = new QGroupBox(this);
    statusGroup->setObjectName("statusGroup");
    auto* statusForm = new QFormLayout(statusGroup);
    addGroupRow(statusForm, "Status:", editStatus);
    addGroupRow(statusForm, "Returning:", editReturning);
    addGroupRow(statusForm, "Reached At:", editReachedAt);
    addGroupRow(statusForm, "Comments:", editComments);

    auto* emergencyGroup = new QGroupBox(QStringLiteral("In Case of Emergency:"), this);
    emergencyGroup->setObjectName("emergencyGroup");
    auto* emergencyForm = new QFormLayout(emergencyGroup);
    addGroupRow(emergencyForm, "Name:", editEmergName);
    addGroupRow(emergencyForm, "Phone #:", editEmergPhone);
    addGroupRow(emergencyForm, "Relation:", editEmergRelation);
    int labelWidth = 0;
    for (QLabel* label : groupLabels) labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (QLabel* label : groupLabels) label->setMinimumWidth(labelWidth);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);

    auto* header = new QHBoxLayout;
    header->addWidget(employeeCaption);
    header->addWidget(lblEmployee, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(statusGroup);
    right->addWidget(emergencyGroup);
    right->addStretch(1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(account);
    columns->addSpacing(12);
    columns->addLayout(right);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addSpacing(6);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(editLastName, &QLineEdit::textChanged, this, &TdlgUserModify::namesChanged);
    connect(editFirstName, &QLineEdit::textChanged, this, &TdlgUserModify::namesChanged);
    connect(btnOK, &QPushButton::clicked, this, &TdlgUserModify::btnOKClick);
}

int TdlgUserModify::exec() {
    if (!data_.findEmployee(employeeKey_)) {
        warnMissing();
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void TdlgUserModify::warnMissing() {
    prompt_(MessageKind::Warning, "User \"" + employeeKey_ + "\" no longer exists.");
}

void TdlgUserModify::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        fillFromAccount();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgUserModify::fillFromAccount() {
    const TWIWONode* account = data_.findEmployee(employeeKey_);
    const TWIWONode empty;
    const TWIWONode& a = account ? *account : empty;

    lblEmployee->setText(toQt(a.Employee));
    editPassword->setText(toQt(a.Password));
    editLastName->setText(toQt(a.LastName));
    editFirstName->setText(toQt(a.FirstName));
    editEMail->setText(toQt(a.EMail));
    editWorkPhone->setText(toQt(a.WorkPhone));
    editExtension->setText(toQt(a.Extension));
    editHomePhone->setText(toQt(a.HomePhone));
    editCarPhone->setText(toQt(a.CarPhone));
    editPager->setText(toQt(a.Pager));
    editOther->setText(toQt(a.Other));
    editStatus->setText(toQt(a.Status));
    editReturning->setText(toQt(a.Returning));
    editReachedAt->setText(toQt(a.ReachedAt));
    editComments->setText(toQt(a.Comments));
    editEmergName->setText(toQt(a.EmergName));
    editEmergPhone->setText(toQt(a.EmergPhone));
    editEmergRelation->setText(toQt(a.EmergRelation));
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setCursorPosition(0);

    // The edits' change handler sets the label while they fill; make sure it
    // did even when a text happened to be the same as before.
    namesChanged();

    cbDepartment->clear();
    int selected = data_.departmentCount() > 0 ? 0 : -1;  // first entry when none matches
    for (int i = 0; i < data_.departmentCount(); ++i) cbDepartment->addItem(toQt(data_.departmentAt(i).Name));
    for (int i = 0; i < data_.departmentCount(); ++i) {
        if (data_.departmentAt(i).Name == a.Department) {
            selected = i;
            break;
        }
    }
    cbDepartment->setCurrentIndex(selected);
    editPassword->setFocus();
}

void TdlgUserModify::namesChanged() {
    lblEmployee->setText(editLastName->text() + QLatin1Char(',') + editFirstName->text());
}

void TdlgUserModify::btnOKClick() {
    TWIWONode* account = data_.findEmployee(employeeKey_);
    if (!account) {
        warnMissing();
        reject();
        return;
    }
    account->Employee = fromQt(lblEmployee->text());
    account->Password = fromQt(editPassword->text());
    account->LastName = fromQt(editLastName->text());
    account->FirstName = fromQt(editFirstName->text());
    account->Department = cbDepartment->count() > 0 ? fromQt(cbDepartment->currentText()) : std::string();
    account->EMail = fromQt(editEMail->text());
    account->WorkPhone = fromQt(editWorkPhone->text());
    account->Extension = fromQt(editExtension->text());
    account->HomePhone = fromQt(editHomePhone->text());
    account->CarPhone = fromQt(editCarPhone->text());
    account->Pager = fromQt(editPager->text());
    account->Other = fromQt(editOther->text());
    account->Status = fromQt(editStatus->text());
    account->Returning = fromQt(editReturning->text());
    account->ReachedAt = fromQt(editReachedAt->text());
    account->Comments = fromQt(editComments->text());
    account->EmergName = fromQt(editEmergName->text());
    account->EmergPhone = fromQt(editEmergPhone->text());
    account->EmergRelation = fromQt(editEmergRelation->text());
    account->StatusChanged = datetime::dateTimeText(datetime::now());
    accept();
}

}  // namespace zv::admin
