#pragma once
// The accounts the directory sync made or took over, one record per person
// of the directory, kept in byte order of the person's sign-in name
// ("directory.dat"). The board's own file is left as the clients know it:
// which accounts come from the directory, and which of them lost their
// person, lives here alone.

#include <memory>
#include <string>
#include <string_view>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

inline constexpr const char* kDirectoryLinkFileName = "directory.dat";

// Owns its records; getNode and findByPerson lend them.
class TDIRList : private RecordStore<TDIRNode> {
    using Base = RecordStore<TDIRNode>;

public:
    using Base::clearList;
    using Base::fileImage;
    using Base::fileName;
    using Base::getCount;
    using Base::getNode;
    using Base::removeNode;
    using Base::saveToFile;
    using Base::setFileName;
    using Base::setLoadWarning;

    // A file that ends in an incomplete record is kept as "<file>.damaged"
    // and reported; its complete records are loaded.
    void loadFromFile() { Base::loadKeepingDamagedCopy(); }

    // Inserts in order of Person; does not save.
    TDIRNode& addNode(std::unique_ptr<TDIRNode> node) { return insertSorted(std::move(node)); }
    TDIRNode* findByPerson(std::string_view person) { return findFirst(person); }
    const TDIRNode* findByPerson(std::string_view person) const { return findFirst(person); }
};

}  // namespace zv
