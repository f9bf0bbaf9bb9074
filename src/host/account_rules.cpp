#include "host/account_rules.h"

#include "stores/date_time.h"

namespace zv {

std::string employeeKeyOf(std::string_view lastName, std::string_view firstName) {
    return std::string(lastName) + "," + std::string(firstName);
}

std::vector<std::string> newDepartmentRefusals(const std::string& name, const std::vector<std::string>& existing) {
    std::vector<std::string> refusals;
    if (name.empty()) refusals.push_back("Department is required.");
    for (const std::string& department : existing) {
        if (department == name) refusals.push_back("Department \"" + name + "\" already exists.");
    }
    return refusals;
}

std::string departmentNotEmptyText(const std::string& name) { return "Department " + name + " is not empty."; }

std::string removeDepartmentQuestion(const std::string& name) { return "Remove Department \"" + name + "\"?"; }

std::string noSuchDepartmentText(const std::string& name) { return "There is no department \"" + name + "\"."; }

std::string_view newAccountFieldName(NewAccountField field) {
    switch (field) {
        case NewAccountField::LastName: return kAccountFields[kLastNameField].json;
        case NewAccountField::FirstName: return kAccountFields[kFirstNameField].json;
        case NewAccountField::Password: return kAccountFields[kPasswordField].json;
        case NewAccountField::Department: break;
    }
    return kAccountFields[kDepartmentField].json;
}

std::optional<TNewAccountRefusal> newAccountRefusal(const TNewAccount& account,
                                                    const std::function<bool(const std::string&)>& keyTaken) {
    if (account.lastName.empty()) return TNewAccountRefusal{NewAccountField::LastName, "Last Name is required."};
    if (account.firstName.empty()) return TNewAccountRefusal{NewAccountField::FirstName, "First Name is required."};
    if (account.password.empty()) return TNewAccountRefusal{NewAccountField::Password, "Password is required."};
    if (!account.department) return TNewAccountRefusal{NewAccountField::Department, "Department is required."};
    const std::string key = employeeKeyOf(account.lastName, account.firstName);
    if (keyTaken(key)) return TNewAccountRefusal{NewAccountField::LastName, "User \"" + key + "\" already exists."};
    return std::nullopt;
}

std::unique_ptr<TWIWONode> makeAccount(const TNewAccount& account, std::time_t now) {
    auto record = std::make_unique<TWIWONode>();
    record->Employee = employeeKeyOf(account.lastName, account.firstName);
    record->LastName = account.lastName;
    record->FirstName = account.firstName;
    record->Password = account.password;
    record->Department = account.department.value_or(std::string());
    record->Status = "In";
    record->EMailNotify = "NO";
    record->StatusChanged = datetime::dateTimeText(now);
    record->LastContact = datetime::dateTimeText(now);
    return record;
}

std::string accountAddedText(const std::string& key, const std::string& department) {
    return "New User \"" + key + "\" has been added to Department \"" + department + "\".";
}

std::string removeUserQuestion(const std::string& key) { return "Remove User \"" + key + "\"?"; }

std::string userGoneText(const std::string& key) { return "User \"" + key + "\" no longer exists."; }

void applyAccountEdit(TWIWONode& account, const TAccountEdit& edit, std::time_t now) {
    for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
        if (edit[i]) account.*kAccountFields[i].member = *edit[i];
    }
    account.Employee = employeeKeyOf(account.LastName, account.FirstName);
    account.StatusChanged = datetime::dateTimeText(now);
}

}  // namespace zv
