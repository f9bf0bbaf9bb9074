#pragma once
// The store behind the memo and message stores: records waiting for their
// addressees, in the order they came. Every change is saved at once.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stores/recipient_bundle.h"
#include "stores/record_store.h"

namespace zv {

// Owns its records.
template <class Node>
class RecipientStore : private RecordStore<Node> {
    using Base = RecordStore<Node>;

public:
    using Base::clearList;
    using Base::createNodeFromString;
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

    // Appends, then saves.
    Node& addNode(std::unique_ptr<Node> node) {
        Node& stored = Base::appendNode(std::move(node));
        saveToFile();
        return stored;
    }

    // Deletes every record for this addressee, then saves.
    void deleteByKey(std::string_view key) {
        Base::deleteAllByKey(key);
        saveToFile();
    }

    // Deletes exactly the records with these serials, then saves.
    void deleteBySerials(const std::vector<std::uint64_t>& serials) {
        Base::deleteSerials(serials);
        saveToFile();
    }

    // The records of `key`; drops records older than expDays days
    // (expDays > 0) and saves. The serials of the records in the bundle are
    // appended to `carried`.
    std::string makeBundleFromList(std::string_view key, int expDays,
                                   std::vector<std::uint64_t>* carried = nullptr) {
        return makeRecipientBundle<Node>(*this, key, expDays, carried, debugLogFileName_);
    }

    void setDebugLogFileName(std::string name) { debugLogFileName_ = std::move(name); }

protected:
    explicit RecipientStore(std::string debugLogFileName) : debugLogFileName_(std::move(debugLogFileName)) {}

private:
    std::string debugLogFileName_;
};

}  // namespace zv
