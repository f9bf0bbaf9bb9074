#pragma once
// The shared phonebook of callers, kept in caller order ("phonebook.dat").

#include <memory>
#include <string>
#include <string_view>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records; getNode lends them.
class TPHONEList : private RecordStore<TPHONENode> {
    using Base = RecordStore<TPHONENode>;

public:
    using Base::clearList;
    using Base::createNodeFromString;
    using Base::fileImage;
    using Base::fileName;
    using Base::getCount;
    using Base::getNode;
    using Base::removeNode;
    using Base::saveToFile;
    using Base::setFileName;
    using Base::setLoadWarning;

    // A file that ends in an incomplete record is kept as "<file>.damaged"
    // and reported; its complete records are loaded (see
    // RecordStore::loadKeepingDamagedCopy).
    void loadFromFile() { Base::loadKeepingDamagedCopy(); }

    // Inserts in caller order; does not save.
    TPHONENode& addNode(std::unique_ptr<TPHONENode> node) { return insertSorted(std::move(node)); }
    std::string makeBundleFromList() const { return wholeListBundle(); }
    // The same text in pieces shared with whoever holds them.
    using Base::bundlePieces;

    // Adds the entries of a bundle received from a client, then saves. A count
    // that is not a decimal number gives a debug log line and changes nothing;
    // a count above the number of complete records adds those present.
    void addToPhoneListFromString(std::string_view bundle);

    void setDebugLogFileName(std::string name) { debugLogFileName_ = std::move(name); }

private:
    std::string debugLogFileName_ = "debug_phone.log";
};

}  // namespace zv
