#include "admin/maintenance_actions.h"

#include <QApplication>
#include <QLineEdit>

#include "admin/dlg_caller_maintenance.h"
#include "admin/dlg_dept_acct.h"
#include "admin/dlg_status_log.h"
#include "admin/message_box.h"
#include "host/server_host.h"
#include "stores/stores.h"

namespace zv::admin {

MessagePrompt messageBoxPrompt(QWidget* parent) {
    return [parent](MessageKind kind, const std::string& text) {
        // Over the dialog that is open, when one is, so the box shows in front of it.
        QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : parent;
        return showMessageBox(owner, kind, text);
    };
}

int MaintenanceStores::employeeCount() { return board_.getCount(); }
TWIWONode& MaintenanceStores::employeeAt(int index) { return board_.getNode(index); }
TWIWONode* MaintenanceStores::findEmployee(const std::string& employeeKey) { return board_.findByKey(employeeKey); }
TWIWONode& MaintenanceStores::addEmployee(std::unique_ptr<TWIWONode> record) {
    return board_.addNode(std::move(record));
}
void MaintenanceStores::deleteEmployee(const std::string& employeeKey) { board_.deleteByKey(employeeKey); }
int MaintenanceStores::departmentCount() { return departments_.getCount(); }
TDEPTNode& MaintenanceStores::departmentAt(int index) { return departments_.getNode(index); }
TDEPTNode& MaintenanceStores::addDepartment(std::unique_ptr<TDEPTNode> record) {
    return departments_.addNode(std::move(record));
}
void MaintenanceStores::deleteDepartment(const std::string& name) { departments_.deleteByKey(name); }
int MaintenanceStores::phoneCount() { return phonebook_.getCount(); }
TPHONENode& MaintenanceStores::phoneAt(int index) { return phonebook_.getNode(index); }
void MaintenanceStores::removePhone(const TPHONENode* record) { phonebook_.removeNode(record); }
void MaintenanceStores::clearPhonebook() { phonebook_.clearList(); }
int MaintenanceStores::logCount() { return log_.getCount(); }
TLOGNode& MaintenanceStores::logAt(int index) { return log_.getNode(index); }

std::optional<std::string> recordTextOf(QLineEdit* edit, std::string_view field, const MessagePrompt& prompt) {
    try {
        return codepage::fromUtf8(edit->text().toStdString(), field);
    } catch (const codepage::CodePageError& e) {
        prompt(MessageKind::Warning, e.what());
        edit->setFocus();
        return std::nullopt;
    }
}

MessagePrompt hostPrompt(TServerHost& host) {
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

void openDepartmentUserMaintenance(QWidget* parent, zv::TServerHost& host) {
    HostMaintenanceData data(host);
    const MessagePrompt prompt = hostPrompt(host);
    const int accountsBefore = host.employeeCount();
    int result = QDialog::Rejected;
    {
        TdlgDeptAcct dialog(data, prompt, parent);
        result = dialog.exec();
    }
    if (host.employeeCount() < accountsBefore) host.clearUserTable(accountsBefore);
    if (result == QDialog::Accepted) {
        runStoreStep(prompt, "The departments were not saved.", [&host] { host.saveDepartments(); });
        runStoreStep(prompt, "The accounts were not saved.", [&host] { host.saveEmployees(); });
    }
    host.refreshUserTable("");
}

void openCallerMaintenance(QWidget* parent, zv::TServerHost& host) {
    HostMaintenanceData data(host);
    int result = QDialog::Rejected;
    {
        TdlgCallerMaintenance dialog(data, parent);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted)
        runStoreStep(hostPrompt(host), "The phonebook was not saved.", [&host] { host.savePhonebook(); });
    else
        runStoreStep(hostPrompt(host), "The phonebook was not reloaded.", [&host] { host.reloadPhonebook(); });
}

void openStatusChangeLog(QWidget* parent, zv::TServerHost& host) {
    HostMaintenanceData data(host);
    const MessagePrompt prompt = hostPrompt(host);
    int result = QDialog::Rejected;
    {
        TdlgStatusLog dialog(data, prompt, parent);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted)
        runStoreStep(prompt, "The status change log was not saved.", [&host] { host.saveLog(); });
    else
        runStoreStep(prompt, "The status change log was not reloaded.", [&host] { host.reloadLog(); });
}

}  // namespace zv::admin
