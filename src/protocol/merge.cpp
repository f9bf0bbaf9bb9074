#include "protocol/merge.h"

#include "protocol/login.h"
#include "protocol/server_context.h"
#include "stores/stores.h"

namespace zv {

void mergeBoardRecord(TServerContext& ctx, std::string_view section, const std::string& employeeKey) {
    TWIWOList& board = ctx.board();
    const std::unique_ptr<TWIWONode> received = board.createNodeFromString(section);
    board.updateByKey(employeeKey, *received);
    appendStatusRecord(ctx, *received);
    ctx.clearUserTable(board.getCount());
    ctx.refreshUserTable(employeeKey);
}

void mergeMemo(TServerContext& ctx, std::string_view section) {
    TPOSTIList& memos = ctx.memos();
    memos.addNode(memos.createNodeFromString(section));
}

void mergeMessage(TServerContext& ctx, std::string_view section) {
    TWYWOList& messages = ctx.messages();
    TWYWONode& stored = messages.addNode(messages.createNodeFromString(section));
    ctx.notifyMessage(stored);
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
