#include "admin/dlg_account_maintenance.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <tuple>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"
#include "host/admin_audit.h"
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
        editPassword->setText(QString::fromLatin1(zv::kDefaultPassword));
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
    TNewAccount account;
    for (const auto& [edit, label, text] : {std::tuple{editLastName, "Last Name", &account.lastName},
                                            std::tuple{editFirstName, "First Name", &account.firstName},
                                            std::tuple{editPassword, "Password", &account.password}}) {
        std::optional<std::string> typed = recordTextOf(edit, label, prompt_);
        if (!typed) return;
        *text = std::move(*typed);
    }
    if (cbDepartment->currentIndex() >= 0) account.department = fromQt(cbDepartment->currentText());

    const auto refusal = newAccountRefusal(account, [this](const std::string& key) {
        for (int i = 0; i < data_.employeeCount(); ++i) {
            if (data_.employeeAt(i).Employee == key) return true;
        }
        return false;
    });
    if (refusal) {
        prompt_(MessageKind::Warning, refusal->message);
        switch (refusal->field) {
            case NewAccountField::LastName: editLastName->setFocus(); break;
            case NewAccountField::FirstName: editFirstName->setFocus(); break;
            case NewAccountField::Password: editPassword->setFocus(); break;
            case NewAccountField::Department: cbDepartment->setFocus(); break;
        }
        return;
    }

    std::unique_ptr<TWIWONode> record = makeAccount(account, datetime::now());
    const std::string key = record->Employee;
    data_.addEmployee(std::move(record));
    auditAdminChange(kWindowAdministrator,
                     "created account " + auditQuoted(key) + " in department " + auditQuoted(*account.department));
    prompt_(MessageKind::Information, accountAddedText(key, *account.department));
    accept();
}

}  // namespace zv::admin
