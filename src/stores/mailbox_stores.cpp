// The memo and message stores: the same behaviour over two record types.
#include "stores/memo_store.h"
#include "stores/message_store.h"

namespace zv {

TPOSTINode& TPOSTIList::addNode(std::unique_ptr<TPOSTINode> node) {
    TPOSTINode& stored = appendNode(std::move(node));
    saveToFile();
    return stored;
}

void TPOSTIList::deleteByKey(std::string_view key) {
    deleteAllByKey(key);
    saveToFile();
}

void TPOSTIList::deleteBySerials(const std::vector<std::uint64_t>& serials) {
    deleteSerials(serials);
    saveToFile();
}

std::string TPOSTIList::makeBundleFromList(std::string_view key, int expDays,
                                           std::vector<std::uint64_t>* carried) {
    return makeRecipientBundle<TPOSTINode>(*this, key, expDays, carried, debugLogFileName_);
}

TWYWONode& TWYWOList::addNode(std::unique_ptr<TWYWONode> node) {
    TWYWONode& stored = appendNode(std::move(node));
    saveToFile();
    return stored;
}

void TWYWOList::deleteByKey(std::string_view key) {
    deleteAllByKey(key);
    saveToFile();
}

void TWYWOList::deleteBySerials(const std::vector<std::uint64_t>& serials) {
    deleteSerials(serials);
    saveToFile();
}

std::string TWYWOList::makeBundleFromList(std::string_view key, int expDays,
                                          std::vector<std::uint64_t>* carried) {
    return makeRecipientBundle<TWYWONode>(*this, key, expDays, carried, debugLogFileName_);
}

}  // namespace zv
