#include "protocol/bundle.h"

#include <charconv>
#include <stdexcept>

#include "protocol/server_context.h"
#include "protocol/wire_texts.h"
#include "stores/stores.h"

namespace zv {

int expDaysValue(const std::string& text) {
    std::string_view digits = text;
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size())
        throw std::invalid_argument("ExpDays '" + text + "' is not a valid integer value");
    return value;
}

std::string buildBundle(TServerContext& ctx, std::string_view employeeKey, TDeliveredRecords* carried) {
    const std::string departments = ctx.departments().makeBundleFromList();
    const std::string phonebook = ctx.phonebook().makeBundleFromList();
    const std::string board = ctx.board().makeBundleFromList();
    const std::string memos = ctx.memos().makeBundleFromList(employeeKey, expDaysValue(ctx.expDaysText()),
                                                             carried ? &carried->memos : nullptr);
    const std::string messages = ctx.messages().makeBundleFromList(
        employeeKey, expDaysValue(ctx.expDaysText()), carried ? &carried->messages : nullptr);

    std::string bundle;
    bundle.reserve(departments.size() + phonebook.size() + board.size() + memos.size() + messages.size() +
                   43);
    bundle.append(wire::kTagDept).append(departments);
    bundle.append(wire::kTagPhone).append(phonebook);
    bundle.append(wire::kTagWiwo).append(board);
    bundle.append(wire::kTagPosti).append(memos);
    bundle.append(wire::kTagWywo).append(messages);
    return bundle;
}

void stampLastContact(TServerContext& ctx, std::string_view employeeKey) {
    TWIWONode* employee = ctx.board().findByKey(employeeKey);
    if (employee == nullptr) return;
    employee->LastContact = datetime::dateTimeText(datetime::now());
    ctx.board().saveToFile();
}

void releaseDelivered(TServerContext& ctx, const TDeliveredRecords& carried) {
    ctx.messages().deleteBySerials(carried.messages);
    ctx.memos().deleteBySerials(carried.memos);
}

}  // namespace zv
