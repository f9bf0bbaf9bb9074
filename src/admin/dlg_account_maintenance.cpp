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
#include <utility>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"

namespace zv::admin {

TdlgAccountMaintenance::TdlgAccountMaintenance(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent)
    : QDialog(parent), host_(host), prompt_(std::move(prompt)) {
    setWindowTitle(QStringLiteral("Account Maintenance"));
    setWindowFlags(kFixedDialogFlags);

    // As long as the account field's slot.
    auto makeEdit = [this](std::size_t field) {
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(static_cast<int>(accountFieldWidth(kAccountFields[field])));
        edit->setMinimumWidth(220);
        return edit;
    };
    editLastName = makeEdit(kLastNameField);
    editFirstName = makeEdit(kFirstNameField);
    editPassword = makeEdit(kPasswordField);
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
        for (const std::string& name : host_.departmentNames()) cbDepartment->addItem(toQt(name));
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

    const TAdminResult result = host_.createAccount(kWindowAdministrator, account, Saving::WithTheDialog);
    if (result.kind != TAdminResult::Kind::Done) {
        prompt_(MessageKind::Warning, result.message());
        // The focus goes to the input at fault.
        using Input = std::pair<NewAccountField, QWidget*>;
        for (const auto& [field, widget] : {Input{NewAccountField::LastName, editLastName},
                                            Input{NewAccountField::FirstName, editFirstName},
                                            Input{NewAccountField::Password, editPassword},
                                            Input{NewAccountField::Department, cbDepartment}}) {
            if (result.field == newAccountFieldName(field)) widget->setFocus();
        }
        return;
    }
    prompt_(MessageKind::Information, result.message());
    accept();
}

}  // namespace zv::admin
