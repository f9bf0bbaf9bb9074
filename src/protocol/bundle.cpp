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

TBundleText buildBundle(TServerContext& ctx, std::string_view employeeKey, TDeliveredRecords* carried) {
    TBundleText bundle;
    bundle.appendConstant(wire::kTagDept);
    bundle.append(ctx.departments().bundlePieces());
    bundle.appendConstant(wire::kTagPhone);
    bundle.append(ctx.phonebook().bundlePieces());
    bundle.appendConstant(wire::kTagWiwo);
    bundle.append(ctx.board().bundlePieces());
    std::string memos = ctx.memos().makeBundleFromList(employeeKey, expDaysValue(ctx.expDaysText()),
                                                       carried ? &carried->memos : nullptr);
    std::string messages = ctx.messages().makeBundleFromList(employeeKey, expDaysValue(ctx.expDaysText()),
                                                             carried ? &carried->messages : nullptr);
    bundle.appendConstant(wire::kTagPosti);
    bundle.append(std::move(memos));
    bundle.appendConstant(wire::kTagWywo);
    bundle.append(std::move(messages));
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
