// The thin store operations the maintenance dialogs use. Each passes straight
// to the store operation of the same meaning. Saving is refused while the
// server is not serving (start-up failed or shutdown has begun): a store that
// was never loaded, or has been emptied, must never be written over its file.

#include "host/server_host.h"

#include "stores/stores.h"

namespace zv {

namespace {

void requireLoaded(bool serving, const char* what) {
    if (!serving) {
        throw StoreError(std::string("The ") + what +
                         " is not saved: the server is not running with its data loaded");
    }
}

}  // namespace

int TServerHost::employeeCount() { return board_ ? board_->getCount() : 0; }
TWIWONode& TServerHost::employeeAt(int index) { return board().getNode(index); }
TWIWONode* TServerHost::findEmployee(const std::string& employeeKey) {
    return board_ ? board_->findByKey(employeeKey) : nullptr;
}
TWIWONode& TServerHost::addEmployee(std::unique_ptr<TWIWONode> record) {
    return board().addNode(std::move(record));
}
void TServerHost::deleteEmployee(const std::string& employeeKey) { board().deleteByKey(employeeKey); }
void TServerHost::saveEmployees() {
    requireLoaded(serving_, "employee board");
    board().saveToFile();
}
void TServerHost::reloadEmployees() {
    requireLoaded(serving_, "employee board");
    board().loadFromFile();
}

int TServerHost::departmentCount() { return departments_ ? departments_->getCount() : 0; }
TDEPTNode& TServerHost::departmentAt(int index) { return departments().getNode(index); }
TDEPTNode& TServerHost::addDepartment(std::unique_ptr<TDEPTNode> record) {
    return departments().addNode(std::move(record));
}
void TServerHost::deleteDepartment(const std::string& name) { departments().deleteByKey(name); }
void TServerHost::saveDepartments() {
    requireLoaded(serving_, "department list");
    departments().saveToFile();
}
void TServerHost::reloadDepartments() {
    requireLoaded(serving_, "department list");
    departments().loadFromFile();
}

int TServerHost::phoneCount() { return phonebook_ ? phonebook_->getCount() : 0; }
TPHONENode& TServerHost::phoneAt(int index) { return phonebook().getNode(index); }
void TServerHost::removePhone(const TPHONENode* record) { phonebook().removeNode(record); }
void TServerHost::clearPhonebook() { phonebook().clearList(); }
void TServerHost::savePhonebook() {
    requireLoaded(serving_, "phonebook");
    phonebook().saveToFile();
}
void TServerHost::reloadPhonebook() {
    requireLoaded(serving_, "phonebook");
    phonebook().loadFromFile();
}

int TServerHost::logCount() { return statusLog_ ? statusLog_->getCount() : 0; }
TLOGNode& TServerHost::logAt(int index) { return statusLog().getNode(index); }
void TServerHost::deleteLogAt(int index) { statusLog().deleteAt(index); }
void TServerHost::removeLog(const TLOGNode* record) { statusLog().removeNode(record); }
void TServerHost::saveLog() {
    requireLoaded(serving_, "status change log");
    statusLog().saveToFile();
}
void TServerHost::reloadLog() {
    requireLoaded(serving_, "status change log");
    statusLog().loadFromFile();
}

}  // namespace zv
