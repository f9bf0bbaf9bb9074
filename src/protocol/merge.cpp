#include "protocol/merge.h"

#include "protocol/login.h"
#include "protocol/server_context.h"
#include "stores/stores.h"

namespace zv {

void mergeBoardRecord(TServerContext& ctx, std::string_view section, const std::string& employeeKey) {
    const std::unique_ptr<TWIWONode> received = ctx.board().createNodeFromString(section);
    mergeBoardRecord(ctx, *received, employeeKey);
}

void mergeBoardRecord(TServerContext& ctx, const TWIWONode& received, const std::string& employeeKey) {
    TWIWOList& board = ctx.board();
    board.updateByKey(employeeKey, received);
    appendStatusRecord(ctx, received);
    ctx.clearUserTable(board.getCount());
    ctx.refreshUserTable(employeeKey);
}

void mergeMemo(TServerContext& ctx, std::string_view section) {
    TPOSTIList& memos = ctx.memos();
    memos.addNode(memos.createNodeFromString(section));
}

void mergeMessage(TServerContext& ctx, std::string_view section) {
    mergeMessage(ctx, ctx.messages().createNodeFromString(section));
}

TWYWONode& mergeMessage(TServerContext& ctx, std::unique_ptr<TWYWONode> message) {
    TWYWONode& stored = ctx.messages().addNode(std::move(message));
    ctx.notifyMessage(stored);
    return stored;
}

void mergePhonebook(TServerContext& ctx, std::string_view section) {
    ctx.phonebook().addToPhoneListFromString(section);
}

void mergeIncoming(TServerContext& ctx, const TIncomingSections& sections, const std::string& employeeKey) {
    if (!sections.tagsInOrder) return;
    if (!isNoData(sections.board)) mergeBoardRecord(ctx, sections.board, employeeKey);
    if (!isNoData(sections.memo)) mergeMemo(ctx, sections.memo);
    if (!isNoData(sections.message)) mergeMessage(ctx, sections.message);
    if (sections.phonebookComplete && !isNoData(sections.phonebook)) mergePhonebook(ctx, sections.phonebook);
}

}  // namespace zv
