#include "host/admin_operations.h"

#include <exception>
#include <functional>
#include <vector>

#include "host/admin_audit.h"
#include "host/auto_punch_out.h"
#include "host/settings.h"
#include "host/option_rules.h"
#include "host/server_host.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

// Saves; when the save fails, `undo` puts the store back as it was and the
// failure goes on to the caller.
void saveOrUndo(const std::function<void()>& save, const std::function<void()>& undo) {
    try {
        save();
    } catch (...) {
        undo();
        throw;
    }
}

std::vector<std::string> departmentNames(TServerHost& host) {
    std::vector<std::string> names;
    TDEPTList& departments = host.departments();
    for (int i = 0; i < departments.getCount(); ++i) names.push_back(departments.getNode(i).Name);
    return names;
}

bool isDepartment(TServerHost& host, const std::string& name) {
    TDEPTList& departments = host.departments();
    for (int i = 0; i < departments.getCount(); ++i) {
        if (departments.getNode(i).Name == name) return true;
    }
    return false;
}

// After a change of the accounts, as after the maintenance dialog: rows of
// removed accounts are cleared, the table refreshed.
void accountsChanged(TServerHost& host, int countBefore) {
    if (host.employeeCount() < countBefore) host.clearUserTable(countBefore);
    host.refreshUserTable("");
}

}  // namespace

TAdminResult createDepartment(TServerHost& host, const std::string& who, const std::string& name) {
    const std::vector<std::string> refusals = newDepartmentRefusals(name, departmentNames(host));
    if (!refusals.empty()) return TAdminResult::refused("name", refusals.front());
    auto record = std::make_unique<TDEPTNode>();
    record->Name = name;
    host.departments().addNode(std::move(record));
    saveOrUndo([&] { host.saveDepartments(); }, [&] { host.departments().deleteByKey(name); });
    auditAdminChange(who, "created department " + auditQuoted(name));
    return TAdminResult::done();
}

TAdminResult removeDepartment(TServerHost& host, const std::string& who, const std::string& name) {
    if (!isDepartment(host, name)) return TAdminResult::gone(noSuchDepartmentText(name));
    TWIWOList& board = host.board();
    for (int i = 0; i < board.getCount(); ++i) {
        if (board.getNode(i).Department == name) return TAdminResult::refused("name", departmentNotEmptyText(name));
    }
    host.departments().deleteByKey(name);
    saveOrUndo([&] { host.saveDepartments(); },
               [&] {
                   auto record = std::make_unique<TDEPTNode>();
                   record->Name = name;
                   host.departments().addNode(std::move(record));
               });
    auditAdminChange(who, "removed department " + auditQuoted(name));
    return TAdminResult::done();
}

TAdminResult createAccount(TServerHost& host, const std::string& who, const TNewAccount& account) {
    const auto refusal = newAccountRefusal(
        account, [&host](const std::string& key) { return host.board().findByKey(key) != nullptr; });
    if (refusal) {
        static constexpr const char* kFields[] = {"lastName", "firstName", "password", "department"};
        return TAdminResult::refused(kFields[static_cast<int>(refusal->field)], refusal->message);
    }
    if (!isDepartment(host, *account.department)) {
        return TAdminResult::refused("department", noSuchDepartmentText(*account.department));
    }
    const int before = host.employeeCount();
    std::unique_ptr<TWIWONode> record = makeAccount(account, datetime::now());
    const std::string key = record->Employee;
    host.board().addNode(std::move(record));
    saveOrUndo([&] { host.saveEmployees(); }, [&] { host.board().deleteByKey(key); });
    accountsChanged(host, before);
    auditAdminChange(who, "created account " + auditQuoted(key) + " in department " +
                              auditQuoted(*account.department));
    return TAdminResult::done(accountAddedText(key, *account.department), key);
}

TAdminResult modifyAccount(TServerHost& host, const std::string& who, const std::string& key,
                           const TAccountEdit& edit) {
    TWIWONode* account = host.board().findByKey(key);
    if (account == nullptr) return TAdminResult::gone(userGoneText(key));
    if (edit[kDepartmentField] && *edit[kDepartmentField] != account->Department) {
        // As the dialog's pick-only list: one of the departments, or empty
        // only while there are none.
        const std::string& department = *edit[kDepartmentField];
        const bool allowed = department.empty() ? host.departments().getCount() == 0 : isDepartment(host, department);
        if (!allowed) return TAdminResult::refused("department", noSuchDepartmentText(department));
    }
    const TWIWONode before = *account;
    applyAccountEdit(*account, edit, datetime::now());
    saveOrUndo([&] { host.saveEmployees(); }, [&] { *account = before; });
    accountsChanged(host, host.employeeCount());

    std::string changed;
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (!edit[i] || *edit[i] == before.*kAccountFields[i].member) continue;
        changed += (changed.empty() ? "" : ", ") + std::string(kAccountFields[i].label);
    }
    auditAdminChange(who, "changed account " + auditQuoted(key) +
                              (account->Employee != key ? " (now " + auditQuoted(account->Employee) + ")" : "") +
                              ": " + (changed.empty() ? "nothing but the time stamp" : changed));
    return TAdminResult::done({}, account->Employee);
}

TAdminResult removeAccount(TServerHost& host, const std::string& who, const std::string& key) {
    TWIWOList& board = host.board();
    std::vector<TWIWONode> removed;
    for (int i = 0; i < board.getCount(); ++i) {
        if (board.getNode(i).Employee == key) removed.push_back(board.getNode(i));
    }
    if (removed.empty()) return TAdminResult::gone(userGoneText(key));
    const int before = host.employeeCount();
    board.deleteByKey(key);
    saveOrUndo([&] { host.saveEmployees(); },
               [&] {
                   for (const TWIWONode& record : removed) board.addNode(std::make_unique<TWIWONode>(record));
               });
    accountsChanged(host, before);
    auditAdminChange(who, "removed account " + auditQuoted(key));
    return TAdminResult::done();
}

TAdminResult removePhoneEntry(TServerHost& host, const std::string& who, std::uint64_t serial) {
    TPHONEList& phonebook = host.phonebook();
    const TPHONENode* entry = nullptr;
    for (int i = 0; i < phonebook.getCount() && !entry; ++i) {
        if (phonebook.getNode(i).serial == serial) entry = &phonebook.getNode(i);
    }
    if (!entry) return TAdminResult::gone("This phonebook entry is no longer there.");
    const TPHONENode copy = *entry;
    phonebook.removeNode(entry);
    saveOrUndo([&] { host.savePhonebook(); }, [&] { phonebook.addNode(std::make_unique<TPHONENode>(copy)); });
    auditAdminChange(who, "removed phonebook entry " + auditQuoted(copy.Caller) + " (" + auditQuoted(copy.Company) +
                              ", " + auditQuoted(copy.PhoneNumber) + ")");
    return TAdminResult::done();
}

TAdminResult clearPhonebook(TServerHost& host, const std::string& who) {
    TPHONEList& phonebook = host.phonebook();
    std::vector<TPHONENode> entries;
    for (int i = 0; i < phonebook.getCount(); ++i) entries.push_back(phonebook.getNode(i));
    phonebook.clearList();
    saveOrUndo([&] { host.savePhonebook(); },
               [&] {
                   for (const TPHONENode& entry : entries) phonebook.addNode(std::make_unique<TPHONENode>(entry));
               });
    auditAdminChange(who, "removed all " + std::to_string(entries.size()) + " phonebook entries");
    return TAdminResult::done();
}

TAdminResult changeOptions(TServerHost& host, const std::string& who, const TOptionChanges& changes) {
    struct Check {
        const std::optional<std::string>& value;
        const char* field;
        std::string (*refusal)(std::string_view);
    };
    for (const Check& check : {Check{changes.blockSize, "blockSize", &blockSizeRefusal},
                               Check{changes.expDays, "expDays", &expDaysRefusal},
                               Check{changes.maxLogSize, "maxLogSize", &maxLogSizeRefusal},
                               Check{changes.autoOutAt, "autoOutAt", &autoOutAtRefusal}}) {
        if (!check.value) continue;
        std::string why = check.refusal(*check.value);
        for (char& c : why) {
            if (c == '\r') c = ' ';
        }
        if (!why.empty()) return TAdminResult::refused(check.field, why);
    }

    TSettings& settings = host.settings();
    const TSettings before = settings;
    std::string changed;
    const auto set = [&changed](std::string& setting, const std::optional<std::string>& value, const char* key) {
        if (!value) return false;
        std::string text = keptSettingText(*value);
        if (text == setting) return false;
        changed += (changed.empty() ? "" : ", ") + std::string(key) + " to " + auditQuoted(text);
        setting = std::move(text);
        return true;
    };
    set(settings.SMTPHost, changes.smtpHost, "SMTPHost");
    const bool portChanged = set(settings.Port, changes.port, "Port");
    set(settings.BlockSize, changes.blockSize, "BlockSize");  // in use from the next settings load
    set(settings.ExpDays, changes.expDays, "ExpDays");
    // Written as the spin box writes it.
    const std::optional<std::string> maxLogSize =
        changes.maxLogSize ? std::optional(std::to_string(*wholeNumber(*changes.maxLogSize))) : std::nullopt;
    const bool logChanged = set(settings.MaxLogSize, maxLogSize, "MaxLogSize");
    const bool autoOutChanged = set(settings.AutoOutAt, changes.autoOutAt, "AutoOutAt");
    if (autoOutChanged) {
        settings.autoOutSecond = autoOutSecondOf(settings.AutoOutAt);
        host.autoPunchOut().settingChanged();
    }
    try {
        saveSettings(settings, host.settingsFiles(), host.view());
    } catch (...) {
        settings = before;
        if (autoOutChanged) host.autoPunchOut().settingChanged();
        throw;
    }
    if (logChanged) host.setLogSizeLimit(*wholeNumber(settings.MaxLogSize));
    if (portChanged) host.view().setStatusPanel(kPortPanel, "Port: " + settings.Port);
    if (!changed.empty()) auditAdminChange(who, "set " + changed);
    return TAdminResult::done();
}

TAdminResult setAdminPasswordHash(TServerHost& host, const std::string& who, const std::string& hash,
                                  bool onlyIfUnset) {
    TSettings& settings = host.settings();
    if (onlyIfUnset && !settings.WebAdminPassword.empty()) {
        return TAdminResult::refused("password", "An administrator's password has been set meanwhile; please sign in.");
    }
    const std::string before = settings.WebAdminPassword;
    settings.WebAdminPassword = hash;
    try {
        saveSettings(settings, host.settingsFiles(), host.view());
    } catch (...) {
        settings.WebAdminPassword = before;
        throw;
    }
    auditAdminChange(who, before.empty() ? "set the administrator's password" : "changed the administrator's password");
    return TAdminResult::done();
}

}  // namespace zv
