#pragma once
// Department names, kept in byte order ("department.dat").

#include <memory>
#include <string>
#include <string_view>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records; getNode lends them.
class TDEPTList : private RecordStore<TDEPTNode> {
    using Base = RecordStore<TDEPTNode>;

public:
    using Base::clearList;
    using Base::fileImage;
    using Base::fileName;
    using Base::getCount;
    using Base::getNode;
    using Base::saveToFile;
    using Base::setFileName;
    using Base::setLoadWarning;

    // A file that ends in an incomplete record is kept as "<file>.damaged"
    // and reported; its complete records are loaded (see
    // RecordStore::loadKeepingDamagedCopy).
    void loadFromFile() { Base::loadKeepingDamagedCopy(); }

    // Inserts in name order; does not save.
    TDEPTNode& addNode(std::unique_ptr<TDEPTNode> node) { return insertSorted(std::move(node)); }
    // Deletes the first record with this name only; does not save.
    void deleteByKey(std::string_view name) { deleteFirstByKey(name); }
    std::string makeBundleFromList() const { return wholeListBundle(); }
    // The same text in pieces shared with whoever holds them.
    using Base::bundlePieces;
};

}  // namespace zv
