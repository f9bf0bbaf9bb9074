#include "admin/maintenance_actions.h"

#include <QApplication>
#include <QLineEdit>

#include "admin/dlg_caller_maintenance.h"
#include "admin/dlg_dept_acct.h"
#include "admin/dlg_status_log.h"
#include "admin/message_box.h"
#include "host/maintenance_api.h"

namespace zv::admin {

MessagePrompt messageBoxPrompt(QWidget* parent) {
    return [parent](MessageKind kind, const std::string& text) {
        // Over the dialog that is open, when one is, so the box shows in front of it.
        QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : parent;
        return showMessageBox(owner, kind, text);
    };
}

std::optional<std::string> recordTextOf(QLineEdit* edit, std::string_view field, const MessagePrompt& prompt) {
    try {
        return codepage::fromUtf8(edit->text().toStdString(), field);
    } catch (const codepage::CodePageError& e) {
        prompt(MessageKind::Warning, e.what());
        edit->setFocus();
        return std::nullopt;
    }
}

MessagePrompt hostPrompt(TMaintenanceApi& host) {
    return [&host](MessageKind kind, const std::string& text) { return host.view().showMessage(kind, text); };
}

namespace {

// Runs one save or reload; a failure is shown as an error: `failure` (what
// was not done), a CR, and the store's own description of the fault.
void runStoreStep(const MessagePrompt& prompt, const std::string& failure, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        prompt(MessageKind::Error, failure + "\r" + e.what());
    }
}

}  // namespace

void openDepartmentUserMaintenance(QWidget* parent, TMaintenanceApi& host) {
    const MessagePrompt prompt = hostPrompt(host);
    const int accountsBefore = host.accountCount();
    int result = QDialog::Rejected;
    {
        TdlgDeptAcct dialog(host, prompt, parent);
        result = dialog.exec();
    }
    if (host.accountCount() < accountsBefore) host.clearUserTable(accountsBefore);
    if (result == QDialog::Accepted) {
        runStoreStep(prompt, "The departments were not saved.", [&host] { host.saveDepartments(); });
        runStoreStep(prompt, "The accounts were not saved.", [&host] { host.saveAccounts(); });
    }
    host.refreshUserTable();
}

void openCallerMaintenance(QWidget* parent, TMaintenanceApi& host) {
    int result = QDialog::Rejected;
    {
        TdlgCallerMaintenance dialog(host, parent);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted)
        runStoreStep(hostPrompt(host), "The phonebook was not saved.", [&host] { host.savePhonebook(); });
    else
        runStoreStep(hostPrompt(host), "The phonebook was not reloaded.", [&host] { host.reloadPhonebook(); });
}

void openStatusChangeLog(QWidget* parent, TMaintenanceApi& host) {
    const MessagePrompt prompt = hostPrompt(host);
    int result = QDialog::Rejected;
    {
        TdlgStatusLog dialog(host, prompt, parent);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted)
        runStoreStep(prompt, "The status change log was not saved.", [&host] { host.saveStatusLog(); });
    else
        runStoreStep(prompt, "The status change log was not reloaded.", [&host] { host.reloadStatusLog(); });
}

}  // namespace zv::admin
