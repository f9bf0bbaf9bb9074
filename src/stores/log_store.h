#pragma once
// The status change log, oldest entry first, bounded by a maximum size
// ("log_stat.dat").

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records; getNode lends them.
class TLOGList : private RecordStore<TLOGNode> {
    using Base = RecordStore<TLOGNode>;

public:
    static constexpr int kDefaultMaxSize = 100;

    using Base::clearList;
    using Base::createNodeFromString;
    using Base::deleteAt;
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

    // When the log holds maxSize() entries or more, deletes the oldest one
    // (exactly one); then appends and saves.
    TLOGNode& addNode(std::unique_ptr<TLOGNode> node) {
        if (!node) throw std::invalid_argument("no record given to add to the \"" + fileName() + "\" store");
        if (getCount() >= maxSize_) deleteAt(0);
        TLOGNode& stored = appendNode(std::move(node));
        saveToFile();
        if (added_) added_({stored});
        return stored;
    }

    // As addNode for each record in turn, saving once at the end (a batch of
    // status changes made in one step).
    void addNodes(std::vector<std::unique_ptr<TLOGNode>> nodes) {
        if (nodes.empty()) return;
        std::vector<TLOGNode> added;  // copies: a full log may drop them again
        for (auto& node : nodes) {
            if (!node) throw std::invalid_argument("no record given to add to the \"" + fileName() + "\" store");
            if (getCount() >= maxSize_) deleteAt(0);
            added.push_back(appendNode(std::move(node)));
        }
        saveToFile();
        if (added_) added_(added);
    }

    // Told of the records of each add once it is saved (one add of
    // addNodes: all its records at once), whatever made the change.
    void setAddObserver(std::function<void(const std::vector<TLOGNode>&)> observer) {
        added_ = std::move(observer);
    }

    void setMaxSize(int maxSize) { maxSize_ = maxSize; }
    int maxSize() const { return maxSize_; }

private:
    int maxSize_ = kDefaultMaxSize;
    std::function<void(const std::vector<TLOGNode>&)> added_;
};

}  // namespace zv
