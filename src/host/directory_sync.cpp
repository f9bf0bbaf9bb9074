#include "host/directory_sync.h"

#include <sodium.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "host/account_rules.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "stores/code_page.h"
#include "stores/date_time.h"
#include "stores/directory_link_store.h"

namespace zv {

namespace {

// A person as the board would hold them: record bytes for each field the
// directory gives, checked against the field's slot.
struct TBoardPerson {
    std::string key;
    TAccountEdit fields;  // the fields the directory gives
};

constexpr std::size_t kEmailField = 4, kWorkPhoneField = 5, kHomePhoneField = 7, kCellPhoneField = 8,
                      kPagerField = 9;

// The text as record bytes for the field, or why it cannot go there.
std::optional<std::string> fieldText(const std::string& utf8, std::size_t field, std::string& why) {
    const TAccountFieldInfo& info = kAccountFields[field];
    const std::optional<std::string> bytes = codepage::fromUtf8(utf8);
    if (!bytes) {
        why = std::string(info.label) + " \"" + utf8 + "\" has a character the board's code page cannot hold";
        return std::nullopt;
    }
    if (bytes->size() > longestText(accountFieldWidth(info))) {
        why = std::string(info.label) + " \"" + utf8 + "\" is longer than the board's " +
              std::to_string(longestText(accountFieldWidth(info))) + " characters";
        return std::nullopt;
    }
    if (std::string refusal = recordTextRefusal(*bytes, info.label); !refusal.empty()) {
        why = refusal;
        return std::nullopt;
    }
    return bytes;
}

// The person for the board, or nothing when their name cannot be a key
// (`problems` says why). A field that cannot be held is reported and left
// out of the fields.
std::optional<TBoardPerson> boardPersonOf(const TDirectoryPerson& person,
                                          std::vector<std::string>& problems) {
    const std::string who = "\"" + person.login + "\" (" + person.dn + ")";
    std::string why;
    if (person.lastName.empty() || person.firstName.empty()) {
        problems.push_back(who + " is left out: the directory gives no " +
                           (person.lastName.empty() ? "last name" : "first name"));
        return std::nullopt;
    }
    const auto last = fieldText(person.lastName, kLastNameField, why);
    const auto first = last ? fieldText(person.firstName, kFirstNameField, why) : std::nullopt;
    if (!last || !first) {
        problems.push_back(who + " is left out: their name cannot be a board key: " + why);
        return std::nullopt;
    }
    if (last->find(',') != std::string::npos) {
        problems.push_back(who + " is left out: their name cannot be a board key: the last name \"" +
                           person.lastName + "\" holds a comma, which parts last and first name in the key");
        return std::nullopt;
    }
    TBoardPerson out;
    out.key = employeeKeyOf(*last, *first);
    out.fields[kLastNameField] = *last;
    out.fields[kFirstNameField] = *first;
    const std::pair<const std::string*, std::size_t> others[] = {
        {&person.department, kDepartmentField}, {&person.email, kEmailField},
        {&person.workPhone, kWorkPhoneField},   {&person.cellPhone, kCellPhoneField},
        {&person.homePhone, kHomePhoneField},   {&person.pager, kPagerField}};
    for (const auto& [value, field] : others) {
        if (value->empty()) continue;
        if (auto text = fieldText(*value, field, why))
            out.fields[field] = std::move(*text);
        else
            problems.push_back(who + ": " + why + "; the board's field is left as it is");
    }
    return out;
}

// A password nobody knows: a new account from the directory signs in with
// the directory's password in a browser; the Windows client needs one the
// administrator gives (never the well-known default of a new account).
std::string unknownPassword() {
    static constexpr char kLetters[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string password(16, ' ');
    for (char& c : password) c = kLetters[randombytes_uniform(sizeof kLetters - 1)];
    return password;
}

class TSyncRun {
public:
    TSyncRun(TMaintenanceApi& api, TDIRList& links) : api_(api), links_(links) {
        for (const std::string& name : api_.departmentNames()) departments_.push_back(name);
    }

    void person(const TDirectoryPerson& person) {
        ++report.people;
        // In the group, whatever follows: never marked as left.
        seen_.insert(person.login);
        const auto board = boardPersonOf(person, report.problems);
        if (!board) return;
        TDIRNode* link = links_.findByPerson(person.login);
        if (link && !api_.account(link->Employee)) {
            // The administrator deleted the account of someone still in
            // the group: it is made again, as for a newcomer.
            links_.removeNode(link);
            link = nullptr;
        }
        if (!link) {
            link = adoptOrCreate(person, *board);
            if (!link) return;
        } else {
            update(person, *link, *board);
        }
        if (!link->Left.empty()) {
            link->Left.clear();
            ++report.back;
            auditAdminChange(
                api_.view(), kDirectorySync,
                "account " + auditQuoted(link->Employee) + ": its person is in the directory's group again");
        }
    }

    // Marks the accounts whose person is no longer in the group.
    void leavers() {
        const std::string now = datetime::dateTimeText(datetime::now());
        for (int i = links_.getCount() - 1; i >= 0; --i) {
            TDIRNode& link = links_.getNode(i);
            if (seen_.count(link.Person)) continue;
            if (!api_.account(link.Employee)) {
                links_.removeNode(&link);  // deleted by the administrator: nothing left to mark
                continue;
            }
            if (!link.Left.empty()) continue;
            link.Left = now;
            ++report.markedLeft;
            auditAdminChange(api_.view(), kDirectorySync,
                             "marked account " + auditQuoted(link.Employee) + ": \"" + link.Person +
                                 "\" is no longer in the directory's group");
        }
    }

    TDirectorySyncReport report;

private:
    bool ensureDepartment(const std::string& name) {
        if (std::find(departments_.begin(), departments_.end(), name) != departments_.end()) return true;
        const TAdminResult made = api_.createDepartment(kDirectorySync, name);
        if (made.kind != TAdminResult::Kind::Done) {
            report.problems.push_back("department " + codepage::toUtf8(name) +
                                      " cannot be made: " + made.message());
            return false;
        }
        departments_.push_back(name);
        return true;
    }

    TDIRNode* link(const std::string& person, const std::string& key) {
        auto node = std::make_unique<TDIRNode>();
        node->Person = person;
        node->Employee = key;
        return &links_.addNode(std::move(node));
    }

    // Whether another person of the directory holds this account.
    bool linkedToOther(const std::string& key, const std::string& person) const {
        for (int i = 0; i < links_.getCount(); ++i) {
            const TDIRNode& l = links_.getNode(i);
            if (l.Employee == key && l.Person != person) return true;
        }
        return false;
    }

    TDIRNode* adoptOrCreate(const TDirectoryPerson& person, const TBoardPerson& board) {
        const std::string who = "\"" + person.login + "\"";
        if (linkedToOther(board.key, person.login)) {
            report.problems.push_back(who + " is left out: the key " + auditQuoted(board.key) +
                                      " belongs to another person of the directory");
            return nullptr;
        }
        if (api_.account(board.key)) {
            auditAdminChange(api_.view(), kDirectorySync,
                             "took over account " + auditQuoted(board.key) + " for \"" + person.login + "\"");
            TDIRNode* taken = link(person.login, board.key);
            update(person, *taken, board);
            return taken;
        }
        const auto& department = board.fields[kDepartmentField];
        if (!department) {
            report.problems.push_back(
                who + " is left out: the directory gives no department, and every account has one");
            return nullptr;
        }
        if (!ensureDepartment(*department)) return nullptr;
        TNewAccount account{*board.fields[kLastNameField], *board.fields[kFirstNameField], unknownPassword(),
                            *department};
        const TAdminResult made = api_.createAccount(kDirectorySync, account);
        if (made.kind != TAdminResult::Kind::Done) {
            report.problems.push_back(who + " is left out: " + made.message());
            return nullptr;
        }
        ++report.created;
        TDIRNode* created = link(person.login, made.record);
        TAccountEdit rest = board.fields;  // the e-mail and phones
        rest[kLastNameField].reset();
        rest[kFirstNameField].reset();
        rest[kDepartmentField].reset();
        if (std::any_of(rest.begin(), rest.end(), [](const auto& f) { return f.has_value(); }))
            api_.modifyAccount(kDirectorySync, made.record, rest);
        return created;
    }

    void update(const TDirectoryPerson& person, TDIRNode& link, const TBoardPerson& board) {
        const std::optional<TWIWONode> account = api_.account(link.Employee);
        if (!account) return;
        TAccountEdit edit;
        bool any = false;
        for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
            if (board.fields[i] && *board.fields[i] != (*account).*kAccountFields[i].member) {
                edit[i] = board.fields[i];
                any = true;
            }
        }
        if (!any) return;
        if (board.key != link.Employee && api_.account(board.key)) {
            report.problems.push_back("\"" + person.login + "\" keeps the key " + auditQuoted(link.Employee) +
                                      ": the new name's key " + auditQuoted(board.key) +
                                      " is another account's");
            edit[kLastNameField].reset();
            edit[kFirstNameField].reset();
        }
        if (edit[kDepartmentField] && !ensureDepartment(*edit[kDepartmentField]))
            edit[kDepartmentField].reset();
        const TAdminResult changed = api_.modifyAccount(kDirectorySync, link.Employee, edit);
        if (changed.kind != TAdminResult::Kind::Done) {
            report.problems.push_back("\"" + person.login +
                                      "\" is not brought up to date: " + changed.message());
            return;
        }
        link.Employee = changed.record;
        ++report.changed;
    }

    TMaintenanceApi& api_;
    TDIRList& links_;
    std::vector<std::string> departments_;
    std::set<std::string> seen_;
};

}  // namespace

std::string TDirectorySyncReport::summary() const {
    if (!reached) return "the directory could not be read: " + why;
    return std::to_string(people) + " people in the directory's group: " + std::to_string(created) +
           " accounts created, " + std::to_string(changed) + " brought up to date, " +
           std::to_string(markedLeft) + " marked as left, " + std::to_string(back) + " back in the group, " +
           std::to_string(problems.size()) + " problems";
}

std::string directoryBoardKey(const TDirectoryPerson& person, std::vector<std::string>& problems) {
    const std::optional<TBoardPerson> board = boardPersonOf(person, problems);
    return board ? board->key : std::string();
}

TDirectorySyncReport applyDirectoryPeople(TMaintenanceApi& api, TDIRList& links,
                                          const std::vector<TDirectoryPerson>& people,
                                          const std::vector<std::string>& skipped) {
    TSyncRun run(api, links);
    for (const std::string& member : skipped) run.report.problems.push_back("group member " + member);
    std::vector<const TDirectoryPerson*> ordered;
    for (const TDirectoryPerson& person : people) ordered.push_back(&person);
    std::sort(ordered.begin(), ordered.end(),
              [](const auto* a, const auto* b) { return a->login < b->login; });
    for (const TDirectoryPerson* person : ordered) run.person(*person);
    run.leavers();
    links.saveToFile();
    run.report.reached = true;
    run.report.at = datetime::now();
    return run.report;
}

std::vector<TDirectoryLeaver> directoryLeavers(TMaintenanceApi& api, const TDIRList& links) {
    std::vector<TDirectoryLeaver> out;
    for (int i = 0; i < links.getCount(); ++i) {
        const TDIRNode& link = links.getNode(i);
        if (!link.Left.empty() && api.account(link.Employee))
            out.push_back({link.Employee, link.Person, link.Left});
    }
    return out;
}

}  // namespace zv
