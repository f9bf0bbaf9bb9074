#pragma once
// The rules of department and account maintenance: the checks in the order
// the window's dialogs make them, the records they make, and the texts of
// their messages. The window's dialogs and the browser's administration
// pages both decide through these functions; nothing here touches a store.
// Texts are record bytes (the clients' code page).

#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/record_fields.h"
#include "stores/records.h"

namespace zv {

// The password every new account starts with.
inline constexpr const char* kDefaultPassword = "580214";

// The employee key of an account: last name, ",", first name.
std::string employeeKeyOf(std::string_view lastName, std::string_view firstName);

// --- departments ---------------------------------------------------------------

// The refusals of "Department Maintenance"'s OK for `name`, in the order its
// message boxes come (empty name, then one for each department of that name
// in `existing`); none when the name is taken.
std::vector<std::string> newDepartmentRefusals(const std::string& name, const std::vector<std::string>& existing);
std::string departmentNotEmptyText(const std::string& name);
std::string removeDepartmentQuestion(const std::string& name);
std::string noSuchDepartmentText(const std::string& name);

// --- accounts ------------------------------------------------------------------

// The fields of "Account Maintenance", in its tab order.
enum class NewAccountField { LastName, FirstName, Password, Department };

struct TNewAccount {
    std::string lastName, firstName, password;
    std::optional<std::string> department;  // none: no department chosen
};

struct TNewAccountRefusal {
    NewAccountField field;  // where the focus goes
    std::string message;
};

// The field's name in the browser's JSON (and in refusals).
std::string_view newAccountFieldName(NewAccountField field);

// The first refusal of "Account Maintenance"'s OK, or none. `keyTaken` says
// whether an account has this employee key (compared exactly).
std::optional<TNewAccountRefusal> newAccountRefusal(const TNewAccount& account,
                                                    const std::function<bool(const std::string&)>& keyTaken);
// The account record it creates: the key from the names, the four fields as
// entered, Status "In", EMailNotify "NO", both time stamps `now`, every other
// field empty.
std::unique_ptr<TWIWONode> makeAccount(const TNewAccount& account, std::time_t now);
std::string accountAddedText(const std::string& key, const std::string& department);
std::string removeUserQuestion(const std::string& key);
std::string userGoneText(const std::string& key);

// --- "Modify User" -------------------------------------------------------------

// Where a field of "Modify User" stands: the column of the account, the
// framed group of the status (edits without a length limit: the store keeps
// what fits), or the framed group "In Case of Emergency:".
enum class AccountFieldGroup { Account, Status, Emergency };

// One field of "Modify User": its name in the browser's JSON, the name a
// person reads, the record field it edits (by name and member), the caption
// of its edit in the window and the group it stands in there.
struct TAccountFieldInfo {
    std::string_view json;
    std::string_view label;
    std::string_view recordField;
    std::string TWIWONode::*member;
    std::string_view caption;
    AccountFieldGroup group;
};

inline constexpr std::array<TAccountFieldInfo, 18> kAccountFields{{
    {"password", "Password", "Password", &TWIWONode::Password, "Password:", AccountFieldGroup::Account},
    {"lastName", "Last Name", "LastName", &TWIWONode::LastName, "Last Name:", AccountFieldGroup::Account},
    {"firstName", "First Name", "FirstName", &TWIWONode::FirstName, "First Name:", AccountFieldGroup::Account},
    {"department", "Department", "Department", &TWIWONode::Department, "Department:", AccountFieldGroup::Account},
    {"email", "E-Mail", "EMail", &TWIWONode::EMail, "E-Mail:", AccountFieldGroup::Account},
    {"workPhone", "Work Phone", "WorkPhone", &TWIWONode::WorkPhone, "Work Phone:", AccountFieldGroup::Account},
    {"extension", "Extension", "Extension", &TWIWONode::Extension, "Extension:", AccountFieldGroup::Account},
    {"homePhone", "Home Phone", "HomePhone", &TWIWONode::HomePhone, "Home Phone:", AccountFieldGroup::Account},
    {"cellPhone", "Cell Phone", "CarPhone", &TWIWONode::CarPhone, "Cell Phone:", AccountFieldGroup::Account},
    {"pager", "Pager", "Pager", &TWIWONode::Pager, "Pager:", AccountFieldGroup::Account},
    {"other", "Other", "Other", &TWIWONode::Other, "Other:", AccountFieldGroup::Account},
    {"status", "Status", "Status", &TWIWONode::Status, "Status:", AccountFieldGroup::Status},
    {"returning", "Returning", "Returning", &TWIWONode::Returning, "Returning:", AccountFieldGroup::Status},
    {"reachedAt", "Reached At", "ReachedAt", &TWIWONode::ReachedAt, "Reached At:", AccountFieldGroup::Status},
    {"comments", "Comments", "Comments", &TWIWONode::Comments, "Comments:", AccountFieldGroup::Status},
    {"emergName", "Emergency Name", "EmergName", &TWIWONode::EmergName, "Name:", AccountFieldGroup::Emergency},
    {"emergPhone", "Emergency Phone #", "EmergPhone", &TWIWONode::EmergPhone, "Phone #:",
     AccountFieldGroup::Emergency},
    {"emergRelation", "Emergency Relation", "EmergRelation", &TWIWONode::EmergRelation, "Relation:",
     AccountFieldGroup::Emergency},
}};

// The width of the field's slot in the board file, from its field table.
constexpr std::size_t accountFieldWidth(const TAccountFieldInfo& field) {
    return slotWidth<TWIWONode>(field.recordField);
}

// The places of the fields that creating an account takes too.
inline constexpr std::size_t kPasswordField = 0;
inline constexpr std::size_t kLastNameField = 1;
inline constexpr std::size_t kFirstNameField = 2;
inline constexpr std::size_t kDepartmentField = 3;
static_assert(kAccountFields[kDepartmentField].member == &TWIWONode::Department);

// What an administrator changed in "Modify User": a new text for each field
// that was changed, nothing for the others.
using TAccountEdit = std::array<std::optional<std::string>, kAccountFields.size()>;

// Applies an edit to the account as it is now, as "Modify User"'s OK does:
// the changed fields, the key rebuilt from the last and first names, and
// StatusChanged stamped `now`; EMailNotify and LastContact stay. Fields the
// edit leaves alone keep what the record holds, so two administrators who
// change different fields of one account keep both changes.
void applyAccountEdit(TWIWONode& account, const TAccountEdit& edit, std::time_t now);

}  // namespace zv
