// Maintenance actions the main window runs from its menus: each opens its
// dialog modally and, after it closes, saves or reloads what it changed.
// Also the few things the maintenance dialogs share: the message prompt they
// ask questions through, and the text conversion between records and widgets.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "host/admin_view.h"
#include "stores/code_page.h"
#include "stores/records.h"

class QLineEdit;
class QWidget;

namespace zv {
class TServerHost;
class TWIWOList;
class TDEPTList;
class TPHONEList;
class TLOGList;
}  // namespace zv

namespace zv::admin {

// Shows one modal message box and returns the button pressed. The window
// passes the host's AdminView; tests pass a recorder that answers.
using MessagePrompt = std::function<MessageAnswer(MessageKind kind, const std::string& text)>;

// A prompt that shows a QMessageBox (Question: Yes and No) over the modal
// dialog that is open, or over `parent` when none is.
MessagePrompt messageBoxPrompt(QWidget* parent);

// The store operations the maintenance dialogs use. Records stay owned by
// their stores; the references returned are lent until the store changes.
// Nothing here saves: the actions below save or reload when a dialog closes.
class MaintenanceData {
public:
    virtual ~MaintenanceData() = default;

    virtual int employeeCount() = 0;
    virtual TWIWONode& employeeAt(int index) = 0;
    virtual TWIWONode* findEmployee(const std::string& employeeKey) = 0;
    virtual TWIWONode& addEmployee(std::unique_ptr<TWIWONode> record) = 0;
    virtual void deleteEmployee(const std::string& employeeKey) = 0;

    virtual int departmentCount() = 0;
    virtual TDEPTNode& departmentAt(int index) = 0;
    virtual TDEPTNode& addDepartment(std::unique_ptr<TDEPTNode> record) = 0;
    virtual void deleteDepartment(const std::string& name) = 0;

    virtual int phoneCount() = 0;
    virtual TPHONENode& phoneAt(int index) = 0;
    virtual void removePhone(const TPHONENode* record) = 0;
    virtual void clearPhonebook() = 0;

    virtual int logCount() = 0;
    virtual TLOGNode& logAt(int index) = 0;
};

// MaintenanceData passing each operation to the operation of the same name
// on `source_`. `Source` is a reference type when the source is not owned.
template <class Source>
class ForwardingMaintenanceData : public MaintenanceData {
public:
    explicit ForwardingMaintenanceData(Source source) : source_(source) {}

    int employeeCount() override { return source_.employeeCount(); }
    TWIWONode& employeeAt(int index) override { return source_.employeeAt(index); }
    TWIWONode* findEmployee(const std::string& employeeKey) override { return source_.findEmployee(employeeKey); }
    TWIWONode& addEmployee(std::unique_ptr<TWIWONode> record) override {
        return source_.addEmployee(std::move(record));
    }
    void deleteEmployee(const std::string& employeeKey) override { source_.deleteEmployee(employeeKey); }
    int departmentCount() override { return source_.departmentCount(); }
    TDEPTNode& departmentAt(int index) override { return source_.departmentAt(index); }
    TDEPTNode& addDepartment(std::unique_ptr<TDEPTNode> record) override {
        return source_.addDepartment(std::move(record));
    }
    void deleteDepartment(const std::string& name) override { source_.deleteDepartment(name); }
    int phoneCount() override { return source_.phoneCount(); }
    TPHONENode& phoneAt(int index) override { return source_.phoneAt(index); }
    void removePhone(const TPHONENode* record) override { source_.removePhone(record); }
    void clearPhonebook() override { source_.clearPhonebook(); }
    int logCount() override { return source_.logCount(); }
    TLOGNode& logAt(int index) override { return source_.logAt(index); }

private:
    Source source_;
};

// Four stores (not owned) under the names of the MaintenanceData operations.
class MaintenanceStores {
public:
    MaintenanceStores(TWIWOList& board, TDEPTList& departments, TPHONEList& phonebook, TLOGList& log)
        : board_(board), departments_(departments), phonebook_(phonebook), log_(log) {}

    int employeeCount();
    TWIWONode& employeeAt(int index);
    TWIWONode* findEmployee(const std::string& employeeKey);
    TWIWONode& addEmployee(std::unique_ptr<TWIWONode> record);
    void deleteEmployee(const std::string& employeeKey);
    int departmentCount();
    TDEPTNode& departmentAt(int index);
    TDEPTNode& addDepartment(std::unique_ptr<TDEPTNode> record);
    void deleteDepartment(const std::string& name);
    int phoneCount();
    TPHONENode& phoneAt(int index);
    void removePhone(const TPHONENode* record);
    void clearPhonebook();
    int logCount();
    TLOGNode& logAt(int index);

private:
    TWIWOList& board_;
    TDEPTList& departments_;
    TPHONEList& phonebook_;
    TLOGList& log_;
};

// MaintenanceData straight on four stores (not owned).
class StoreMaintenanceData final : public ForwardingMaintenanceData<MaintenanceStores> {
public:
    StoreMaintenanceData(TWIWOList& board, TDEPTList& departments, TPHONEList& phonebook, TLOGList& log)
        : ForwardingMaintenanceData(MaintenanceStores(board, departments, phonebook, log)) {}
};

// MaintenanceData through the host's store operations (host not owned).
using HostMaintenanceData = ForwardingMaintenanceData<TServerHost&>;

// The host's message boxes (its AdminView) as a prompt.
MessagePrompt hostPrompt(TServerHost& host);

// Record texts are bytes in the clients' code page; widgets show them through
// the one code page conversion, which is lossless, so any text a client stored
// comes back unchanged when a dialog writes it. fromQt makes "?" of a
// character the code page cannot hold: only for texts that came from records
// (list entries, labels); what the administrator types goes through
// recordTextOf.
inline QString toQt(const std::string& text) {
    return QString::fromStdString(codepage::toUtf8(text));
}
inline std::string fromQt(const QString& text) {
    return codepage::fromUtf8Substituting(text.toStdString());
}

// The text typed into `edit` as record bytes. A character the code page
// cannot hold is refused: a warning naming `field`, the focus on the edit,
// and nothing returned.
std::optional<std::string> recordTextOf(QLineEdit* edit, std::string_view field, const MessagePrompt& prompt);

// Department/User Maintenance. Afterwards: when accounts were removed, the
// user table rows of the old count are cleared; on OK the departments and then
// the board are saved (a failure is shown); the user table is refreshed.
void openDepartmentUserMaintenance(QWidget* parent, zv::TServerHost& host);

// Caller Maintenance: OK saves the phonebook, anything else reloads it from
// its file (which drops the deletions made in the dialog).
void openCallerMaintenance(QWidget* parent, zv::TServerHost& host);

// Status Change Log: OK saves the log, anything else reloads it from its file.
void openStatusChangeLog(QWidget* parent, zv::TServerHost& host);

}  // namespace zv::admin
