#pragma once
// "While You Were Out" messages waiting for their addressees, in the order
// they came ("wywa.dat").

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
class TWYWOList : private RecordStore<TWYWONode> {
    using Base = RecordStore<TWYWONode>;

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
    TWYWONode& addNode(std::unique_ptr<TWYWONode> node);
    // Deletes every message for this addressee, then saves.
    void deleteByKey(std::string_view key);
    // Deletes exactly the messages with these serials, then saves.
    void deleteBySerials(const std::vector<std::uint64_t>& serials);

    // The messages of `key`; drops messages older than expDays days
    // (expDays > 0) and saves. The serials of the messages in the bundle are
    // appended to `carried`.
    std::string makeBundleFromList(std::string_view key, int expDays,
                                   std::vector<std::uint64_t>* carried = nullptr);

    void setDebugLogFileName(std::string name) { debugLogFileName_ = std::move(name); }

private:
    std::string debugLogFileName_ = "debug_wywo.log";
};

}  // namespace zv
