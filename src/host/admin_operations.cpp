// The maintenance API's administrative operations on departments, accounts
// and the phonebook. Each reads "check, change, save or undo, record" in that
// order; with Saving::WithTheDialog the save (and the user table) is left to
// the window's dialog, which saves or reloads the store when it closes.

#include "host/admin_operations.h"

#include <exception>
#include <functional>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/admin_audit.h"
#include "host/operation_support.h"
#include "host/maintenance_api.h"
#include "host/record_fields.h"
#include "host/server_parts.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

TAdminResult TAdminResult::done(std::string message, std::string record) {
    TAdminResult result;
    if (!message.empty()) result.messages.push_back(std::move(message));
    result.record = std::move(record);
    return result;
}

TAdminResult TAdminResult::refused(std::string field, std::vector<std::string> messages) {
    TAdminResult result;
    result.kind = Kind::Refused;
    result.messages = std::move(messages);
    result.field = std::move(field);
    return result;
}

TAdminResult TAdminResult::refused(std::string field, std::string message) {
    return refused(std::move(field), std::vector<std::string>{std::move(message)});
}

TAdminResult TAdminResult::gone(std::string message) {
    TAdminResult result;
    result.kind = Kind::Gone;
    result.messages.push_back(std::move(message));
    return result;
}

namespace {

bool isDepartment(TDEPTList& departments, const std::string& name) {
    for (int i = 0; i < departments.getCount(); ++i) {
        if (departments.getNode(i).Name == name) return true;
    }
    return false;
}

}  // namespace

TAdminResult TMaintenanceApi::createDepartment(const std::string& who, const std::string& name, Saving saving) {
    TDEPTList& departments = parts_.stores.departments();
    std::vector<std::string> refusals = newDepartmentRefusals(name, departmentNames());
    if (!refusals.empty()) return TAdminResult::refused("name", std::move(refusals));
    if (auto unfit = unfitText(name, "name", "New Department")) return *unfit;
    auto record = std::make_unique<TDEPTNode>();
    record->Name = name;
    departments.addNode(std::move(record));
    saveOrUndo(saving, [&] { parts_.stores.saveDepartments(); }, [&] { departments.deleteByKey(name); });
    auditAdminChange(parts_.view, who, "created department " + auditQuoted(name));
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::removeDepartment(const std::string& who, const std::string& name, Saving saving) {
    TDEPTList& departments = parts_.stores.departments();
    if (!isDepartment(departments, name)) return TAdminResult::gone(noSuchDepartmentText(name));
    TWIWOList& board = parts_.stores.board();
    for (int i = 0; i < board.getCount(); ++i) {
        if (board.getNode(i).Department == name) return TAdminResult::refused("name", departmentNotEmptyText(name));
    }
    departments.deleteByKey(name);
    saveOrUndo(saving, [&] { parts_.stores.saveDepartments(); },
               [&] {
                   auto record = std::make_unique<TDEPTNode>();
                   record->Name = name;
                   departments.addNode(std::move(record));
               });
    auditAdminChange(parts_.view, who, "removed department " + auditQuoted(name));
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::createAccount(const std::string& who, const TNewAccount& account, Saving saving) {
    TWIWOList& board = parts_.stores.board();
    const auto refusal =
        newAccountRefusal(account, [&board](const std::string& key) { return board.findByKey(key) != nullptr; });
    if (refusal) return TAdminResult::refused(std::string(newAccountFieldName(refusal->field)), refusal->message);
    for (const auto& [text, index] : {std::pair{&account.lastName, kLastNameField},
                                      {&account.firstName, kFirstNameField},
                                      {&account.password, kPasswordField}}) {
        if (auto unfit = unfitText(*text, kAccountFields[index].json, kAccountFields[index].label)) return *unfit;
    }
    if (!isDepartment(parts_.stores.departments(), *account.department)) {
        return TAdminResult::refused(std::string(newAccountFieldName(NewAccountField::Department)),
                                     noSuchDepartmentText(*account.department));
    }
    const int before = board.getCount();
    std::unique_ptr<TWIWONode> record = makeAccount(account, datetime::now());
    const std::string key = record->Employee;
    board.addNode(std::move(record));
    saveOrUndo(saving, [&] { parts_.stores.saveBoard(); }, [&] { board.deleteByKey(key); });
    if (saving == Saving::Now) parts_.accountsChanged(before);
    auditAdminChange(parts_.view, who,
                     "created account " + auditQuoted(key) + " in department " + auditQuoted(*account.department));
    return TAdminResult::done(accountAddedText(key, *account.department), key);
}

TAdminResult TMaintenanceApi::modifyAccount(const std::string& who, const std::string& key, const TAccountEdit& edit,
                                            Saving saving) {
    TWIWOList& board = parts_.stores.board();
    TWIWONode* account = board.findByKey(key);
    if (account == nullptr) return TAdminResult::gone(userGoneText(key));
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (!edit[i]) continue;
        if (auto unfit = unfitText(*edit[i], kAccountFields[i].json, kAccountFields[i].label)) return *unfit;
    }
    if (edit[kDepartmentField] && *edit[kDepartmentField] != account->Department) {
        // As the dialog's pick-only list: one of the departments, or empty
        // only while there are none.
        TDEPTList& departments = parts_.stores.departments();
        const std::string& department = *edit[kDepartmentField];
        const bool allowed = department.empty() ? departments.getCount() == 0 : isDepartment(departments, department);
        if (!allowed) {
            return TAdminResult::refused(std::string(kAccountFields[kDepartmentField].json),
                                         noSuchDepartmentText(department));
        }
    }
    const TWIWONode before = *account;
    applyAccountEdit(*account, edit, datetime::now());
    saveOrUndo(saving, [&] { parts_.stores.saveBoard(); }, [&] { *account = before; });
    if (saving == Saving::Now) parts_.accountsChanged(board.getCount());
    // Whichever way the board reaches its file, the key is changed from now on.
    if (account->Employee != key) keptPartsFollowAccount(key, account->Employee);

    std::string changed;
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (!edit[i] || *edit[i] == before.*kAccountFields[i].member) continue;
        changed += (changed.empty() ? "" : ", ") + std::string(kAccountFields[i].label);
    }
    auditAdminChange(parts_.view, who,
                     "changed account " + auditQuoted(key) +
                         (account->Employee != key ? " (now " + auditQuoted(account->Employee) + ")" : "") + ": " +
                         (changed.empty() ? "nothing but the time stamp" : changed));
    return TAdminResult::done({}, account->Employee);
}

TAdminResult TMaintenanceApi::removeAccount(const std::string& who, const std::string& key, Saving saving) {
    TWIWOList& board = parts_.stores.board();
    std::vector<TWIWONode> removed;
    for (int i = 0; i < board.getCount(); ++i) {
        if (board.getNode(i).Employee == key) removed.push_back(board.getNode(i));
    }
    if (removed.empty()) return TAdminResult::gone(userGoneText(key));
    const int before = board.getCount();
    board.deleteByKey(key);
    saveOrUndo(saving, [&] { parts_.stores.saveBoard(); },
               [&] {
                   for (const TWIWONode& record : removed) board.addNode(std::make_unique<TWIWONode>(record));
               });
    if (saving == Saving::Now) parts_.accountsChanged(before);
    keptPartsFollowAccount(key, std::nullopt);
    auditAdminChange(parts_.view, who, "removed account " + auditQuoted(key));
    return TAdminResult::done();
}

void TMaintenanceApi::keptPartsFollowAccount(const std::string& key,
                                             const std::optional<std::string>& newKey) {
    scheduleFollowsAccount(key, newKey);
    frontDeskFollowsAccount(key, newKey);
}

namespace {

const TPHONENode* phoneEntryOf(TPHONEList& phonebook, std::uint64_t serial) {
    for (int i = 0; i < phonebook.getCount(); ++i) {
        if (phonebook.getNode(i).serial == serial) return &phonebook.getNode(i);
    }
    return nullptr;
}

constexpr const char* kPhoneEntryGone = "This phonebook entry is no longer there.";

// A refusal of the entry's texts, naming the field; none when it may be kept.
std::optional<TAdminResult> phoneEntryRefusal(const TPHONENode& entry) {
    if (entry.Caller.empty()) return TAdminResult::refused("caller", "Caller is required.");
    for (const auto& [text, field, label] : {std::tuple{&entry.Caller, "caller", "Caller"},
                                             {&entry.Company, "company", "Company"},
                                             {&entry.PhoneNumber, "phone", "Phone Number"}}) {
        if (auto unfit = unfitText(*text, field, label)) return unfit;
    }
    return std::nullopt;
}

std::string phoneEntryText(const TPHONENode& entry) {
    return auditQuoted(entry.Caller) + " (" + auditQuoted(entry.Company) + ", " +
           auditQuoted(entry.PhoneNumber) + ")";
}

}  // namespace

TAdminResult TMaintenanceApi::addPhoneEntry(const std::string& who, const TPHONENode& entry) {
    if (auto refusal = phoneEntryRefusal(entry)) return *refusal;
    TPHONEList& phonebook = parts_.stores.phonebook();
    const TPHONENode& added = phonebook.addNode(std::make_unique<TPHONENode>(entry));
    const std::uint64_t serial = added.serial;
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.savePhonebook(); },
        [&] { phonebook.removeNode(phoneEntryOf(phonebook, serial)); });
    auditAdminChange(parts_.view, who, "added phonebook entry " + phoneEntryText(entry));
    return TAdminResult::done({}, std::to_string(serial));
}

TAdminResult TMaintenanceApi::changePhoneEntry(const std::string& who, std::uint64_t serial,
                                               const TPHONENode& entry) {
    TPHONEList& phonebook = parts_.stores.phonebook();
    const TPHONENode* old = phoneEntryOf(phonebook, serial);
    if (!old) return TAdminResult::gone(kPhoneEntryGone);
    if (auto refusal = phoneEntryRefusal(entry)) return *refusal;
    const TPHONENode before = *old;
    phonebook.removeNode(old);
    const std::uint64_t now = phonebook.addNode(std::make_unique<TPHONENode>(entry)).serial;
    saveOrUndo(
        Saving::Now, [&] { parts_.stores.savePhonebook(); },
        [&] {
            phonebook.removeNode(phoneEntryOf(phonebook, now));
            phonebook.addNode(std::make_unique<TPHONENode>(before));
        });
    auditAdminChange(parts_.view, who,
                     "changed phonebook entry " + phoneEntryText(before) + " to " + phoneEntryText(entry));
    return TAdminResult::done({}, std::to_string(now));
}

TAdminResult TMaintenanceApi::removePhoneEntry(const std::string& who, std::uint64_t serial, Saving saving) {
    TPHONEList& phonebook = parts_.stores.phonebook();
    const TPHONENode* entry = phoneEntryOf(phonebook, serial);
    if (!entry) return TAdminResult::gone(kPhoneEntryGone);
    const TPHONENode copy = *entry;
    phonebook.removeNode(entry);
    saveOrUndo(saving, [&] { parts_.stores.savePhonebook(); },
               [&] { phonebook.addNode(std::make_unique<TPHONENode>(copy)); });
    auditAdminChange(parts_.view, who, "removed phonebook entry " + phoneEntryText(copy));
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::clearPhonebook(const std::string& who, Saving saving) {
    TPHONEList& phonebook = parts_.stores.phonebook();
    std::vector<TPHONENode> entries;
    for (int i = 0; i < phonebook.getCount(); ++i) entries.push_back(phonebook.getNode(i));
    phonebook.clearList();
    saveOrUndo(saving, [&] { parts_.stores.savePhonebook(); },
               [&] {
                   for (const TPHONENode& entry : entries) phonebook.addNode(std::make_unique<TPHONENode>(entry));
               });
    auditAdminChange(parts_.view, who, "removed all " + std::to_string(entries.size()) + " phonebook entries");
    return TAdminResult::done();
}

}  // namespace zv
