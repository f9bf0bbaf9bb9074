#pragma once
// Memos waiting for their addressees, in the order they came ("posti.dat").

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stores/recipient_bundle.h"
#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records.
class TPOSTIList : private RecordStore<TPOSTINode> {
    using Base = RecordStore<TPOSTINode>;

public:
    using Base::clearList;
    using Base::createNodeFromString;
    using Base::fileName;
    using Base::saveToFile;
    using Base::setFileName;

    // Throws StoreError when the file ends in an incomplete record (the
    // complete records before it stay loaded).
    void loadFromFile() { Base::loadFromFile(); }

    // Appends, then saves.
    TPOSTINode& addNode(std::unique_ptr<TPOSTINode> node);
    // Deletes every memo for this addressee, then saves.
    void deleteByKey(std::string_view key);
    // Deletes exactly the memos with these serials, then saves.
    void deleteBySerials(const std::vector<std::uint64_t>& serials);

    // The memos of `key`; drops memos older than expDays days (expDays > 0)
    // and saves. The serials of the memos in the bundle are appended to `carried`.
    std::string makeBundleFromList(std::string_view key, int expDays,
                                   std::vector<std::uint64_t>* carried = nullptr);

    void setDebugLogFileName(std::string name) { debugLogFileName_ = std::move(name); }

private:
    std::string debugLogFileName_ = "debug_posti.log";
};

}  // namespace zv
