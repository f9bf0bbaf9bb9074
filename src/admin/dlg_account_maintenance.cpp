#include "admin/dlg_account_maintenance.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"
#include "stores/date_time.h"
#include "stores/records.h"

namespace zv::admin {

TdlgAccountMaintenance::TdlgAccountMaintenance(MaintenanceData& data, MessagePrompt prompt, QWidget* parent)
    : QDialog(parent), data_(data), prompt_(std::move(prompt)) {
    setWindowTitle(QStringLiteral("Account Maintenance"));
    setWindowFlags(kFixedDialogFlags);

    auto makeEdit = [this]() {
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(64);
        edit->setMinimumWidth(220);
        return edit;
    };
    editLastName = makeEdit();
    editFirstName = makeEdit();
    editPassword = makeEdit();
    editPassword->setEchoMode(QLineEdit::Normal);
    cbDepartment = new QComboBox(this);
    cbDepartment->setEditable(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Last Name:"), editLastName);
    form->addRow(QStringLiteral("First Name:"), editFirstName);
    form->addRow(QStringLiteral("Password:"), editPassword);
    form->addRow(QStringLiteral("Department:"), cbDepartment);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(editLastName, editFirstName);
    setTabOrder(editFirstName, editPassword);
    setTabOrder(editPassword, cbDepartment);
    setTabOrder(cbDepartment, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QPushButton::clicked, this, &TdlgAccountMaintenance::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgAccountMaintenance::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        editLastName->clear();
        editFirstName->clear();
        editPassword->setText(QString::fromLatin1(kDefaultPassword));
        cbDepartment->clear();
        for (int i = 0; i < data_.departmentCount(); ++i)
            cbDepartment->addItem(toQt(data_.departmentAt(i).Name));
        cbDepartment->setCurrentIndex(-1);
        editLastName->setFocus();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgAccountMaintenance::btnOKClick() {
    const std::string lastName = fromQt(editLastName->text());
    const std::string firstName = fromQt(editFirstName->text());
    const std::string password = fromQt(editPassword->text());
    const std::string key = lastName + "," + firstName;

    if (lastName.empty()) {
        prompt_(MessageKind::Warning, "Last Name is required.");
        editLastName->setFocus();
        return;
    }
    if (firstName.empty()) {
        prompt_(MessageKind::Warning, "First Name is required.");
        editFirstName->setFocus();
        return;
    }
    if (password.empty()) {
        prompt_(MessageKind::Warning, "Password is required.");
        editPassword->setFocus();
        return;
    }
    if (cbDepartment->currentIndex() < 0) {
        prompt_(MessageKind::Warning, "Department is required.");
        cbDepartment->setFocus();
        return;
    }
    const std::string department = fromQt(cbDepartment->currentText());
    for (int i = 0; i < data_.employeeCount(); ++i) {
        if (data_.employeeAt(i).Employee == key) {
            prompt_(MessageKind::Warning, "User \"" + key + "\" already exists.");
            editLastName->setFocus();
            return;
        }
    }

    auto account = std::make_unique<TWIWONode>();
    account->Employee = key;
    account->LastName = lastName;
    account->FirstName = firstName;
    account->Password = password;
    account->Department = department;
    account->Status = "In";
    account->EMailNotify = "NO";
    account->StatusChanged = datetime::dateTimeText(datetime::now());
    account->LastContact = datetime::dateTimeText(datetime::now());
    data_.addEmployee(std::move(account));

    prompt_(MessageKind::Information,
            "New User \"" + key + "\" has been added to Department \"" + department + "\".");
    accept();
}

}  // namespace zv::admin
