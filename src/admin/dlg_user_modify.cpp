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
#include "host/maintenance_api.h"

namespace zv::admin {

namespace {

// The edits of the account column, and of the two framed groups.
constexpr int kAccountEditWidth = 200;
constexpr int kGroupEditWidth = 240;

}  // namespace

TdlgUserModify::TdlgUserModify(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent)
    : QDialog(parent), host_(host), prompt_(std::move(prompt)) {
    setWindowTitle(QStringLiteral("Modify User"));
    setWindowFlags(kFixedDialogFlags);

    auto* employeeCaption = new QLabel(QStringLiteral("Employee:"), this);
    lblEmployee = new QLabel(this);
    QFont bold = lblEmployee->font();
    bold.setBold(true);
    lblEmployee->setFont(bold);
    lblEmployee->setTextFormat(Qt::PlainText);
    lblEmployee->setMinimumWidth(300);

    // One edit per field, in the table's order (the order Tab walks them),
    // as long as the field's slot; the status group's edits take any length
    // (the store keeps what fits).
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        const TAccountFieldInfo& field = kAccountFields[i];
        if (i == kDepartmentField) {
            cbDepartment = new QComboBox(this);
            cbDepartment->setEditable(false);
            continue;
        }
        auto* edit = new QLineEdit(this);
        if (field.group != AccountFieldGroup::Status) edit->setMaxLength(static_cast<int>(accountFieldWidth(field)));
        edit->setMinimumWidth(field.group == AccountFieldGroup::Account ? kAccountEditWidth : kGroupEditWidth);
        edits_[i] = edit;
    }
    editPassword = edits_[kPasswordField];
    editLastName = edits_[kLastNameField];
    editFirstName = edits_[kFirstNameField];

    const auto widgetOf = [this](std::size_t i) -> QWidget* {
        return i == kDepartmentField ? static_cast<QWidget*>(cbDepartment) : edits_[i];
    };
    const auto captionOf = [](const TAccountFieldInfo& field) {
        return QString::fromLatin1(field.caption.data(), static_cast<qsizetype>(field.caption.size()));
    };
    auto* account = new QFormLayout;
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        const TAccountFieldInfo& field = kAccountFields[i];
        if (field.group == AccountFieldGroup::Account) account->addRow(captionOf(field), widgetOf(i));
    }

    // The two framed groups stand one above the other; their labels share one
    // width so that the seven edits form one column.
    std::vector<QLabel*> groupLabels;
    const auto addGroup = [&](QGroupBox* group, AccountFieldGroup which) {
        auto* form = new QFormLayout(group);
        for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
            if (kAccountFields[i].group != which) continue;
            auto* label = new QLabel(captionOf(kAccountFields[i]), this);
            label->setBuddy(edits_[i]);
            groupLabels.push_back(label);
            form->addRow(label, edits_[i]);
        }
    };
    auto* statusGroup = new QGroupBox(this);
    statusGroup->setObjectName("statusGroup");
    addGroup(statusGroup, AccountFieldGroup::Status);
    auto* emergencyGroup = new QGroupBox(QStringLiteral("In Case of Emergency:"), this);
    emergencyGroup->setObjectName("emergencyGroup");
    addGroup(emergencyGroup, AccountFieldGroup::Emergency);
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

QLineEdit* TdlgUserModify::edit(std::string_view recordField) const {
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (kAccountFields[i].recordField == recordField) return edits_[i];
    }
    return nullptr;
}

int TdlgUserModify::exec() {
    if (!host_.account(employeeKey_)) {
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
    shown_ = host_.account(employeeKey_).value_or(TWIWONode{});
    lblEmployee->setText(toQt(shown_.Employee));
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (edits_[i]) edits_[i]->setText(toQt(shown_.*kAccountFields[i].member));
    }
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setCursorPosition(0);

    // The edits' change handler sets the label while they fill; make sure it
    // did even when a text happened to be the same as before.
    namesChanged();

    const std::vector<std::string> departments = host_.departmentNames();
    cbDepartment->clear();
    int selected = departments.empty() ? -1 : 0;  // first entry when none matches
    for (const std::string& name : departments) cbDepartment->addItem(toQt(name));
    for (std::size_t i = 0; i < departments.size(); ++i) {
        if (departments[i] == shown_.Department) {
            selected = static_cast<int>(i);
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
    // What the administrator changed, each checked before anything is written.
    TAccountEdit edit;
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        std::optional<std::string> text;
        if (edits_[i] == nullptr) {
            text = cbDepartment->count() > 0 ? fromQt(cbDepartment->currentText()) : std::string();
        } else {
            text = recordTextOf(edits_[i], kAccountFields[i].label, prompt_);
            if (!text) return;
        }
        if (*text != shown_.*kAccountFields[i].member) edit[i] = std::move(*text);
    }

    // Applied to the account as it is now, which a client may have changed meanwhile.
    const TAdminResult result = host_.modifyAccount(kWindowAdministrator, employeeKey_, edit, Saving::WithTheDialog);
    switch (result.kind) {
        case TAdminResult::Kind::Done:
            accept();
            return;
        case TAdminResult::Kind::Refused:
            // A text no record may hold, or a department removed meanwhile:
            // the dialog stays open, the focus on the field at fault.
            prompt_(MessageKind::Warning, result.message());
            for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
                if (kAccountFields[i].json != result.field) continue;
                if (edits_[i]) {
                    edits_[i]->setFocus();
                } else {
                    cbDepartment->setFocus();
                }
            }
            return;
        case TAdminResult::Kind::Gone:
            break;
    }
    warnMissing();
    reject();
}

}  // namespace zv::admin
