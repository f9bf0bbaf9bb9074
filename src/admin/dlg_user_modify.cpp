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
#include "host/admin_audit.h"
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

void TdlgUserModify::warnMissing() { prompt_(MessageKind::Warning, userGoneText(employeeKey_)); }

void TdlgUserModify::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        fillFromAccount();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgUserModify::fillFromAccount() {
    const TWIWONode* account = data_.findEmployee(employeeKey_);
    shown_ = account ? *account : TWIWONode{};
    const TWIWONode& a = shown_;

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

std::array<QLineEdit*, kAccountFields.size()> TdlgUserModify::fieldEdits() const {
    return {editPassword, editLastName, editFirstName, nullptr,       editEMail,      editWorkPhone,
            editExtension, editHomePhone, editCarPhone, editPager,    editOther,      editStatus,
            editReturning, editReachedAt, editComments, editEmergName, editEmergPhone, editEmergRelation};
}

void TdlgUserModify::btnOKClick() {
    // What the administrator changed, each checked before anything is written.
    TAccountEdit edit;
    const auto edits = fieldEdits();
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        std::optional<std::string> text;
        if (edits[i] == nullptr) {
            text = cbDepartment->count() > 0 ? fromQt(cbDepartment->currentText()) : std::string();
        } else {
            text = recordTextOf(edits[i], kAccountFields[i].label, prompt_);
            if (!text) return;
        }
        if (*text != shown_.*kAccountFields[i].member) edit[i] = std::move(*text);
    }

    // The account as it is now, which a client may have changed meanwhile.
    TWIWONode* account = data_.findEmployee(employeeKey_);
    if (!account) {
        warnMissing();
        reject();
        return;
    }
    const std::string key = account->Employee;
    applyAccountEdit(*account, edit, datetime::now());
    std::string changed;
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (edit[i]) changed += (changed.empty() ? "" : ", ") + std::string(kAccountFields[i].label);
    }
    auditAdminChange(kWindowAdministrator,
                     "changed account " + auditQuoted(key) +
                         (account->Employee != key ? " (now " + auditQuoted(account->Employee) + ")" : "") + ": " +
                         (changed.empty() ? "nothing but the time stamp" : changed));
    accept();
}

}  // namespace zv::admin
