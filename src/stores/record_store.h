#pragma once
// The generic store behind the six store classes: an ordered list of owned
// records, the name of its data file and a file lock held for the whole of
// every load and save. The store classes expose the part of it they need.
//
// Sorted stores add with insertSorted(). New records wait at the end of the
// list and are merged into key order before anything reads the list, so a run
// of adds costs one sort of the new records and one merge, and every reader
// sees the order a full sort by field 1 gives.
//
// A save writes only what changed where it can (record_file.h). For that
// the store notes what happened to the list since the last write:
// whether records were inserted, deleted or moved, and which records it lent
// out for change (getNode, findFirst, records() on a store that is not
// const). A lent record may be changed until the next save; a change made
// after that save needs the record lent again. Readers that change nothing
// use the const accessors, which note nothing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "stores/bundle_cache.h"
#include "stores/file_access.h"
#include "stores/key_index.h"
#include "stores/load_warnings.h"
#include "stores/record_codec.h"
#include "stores/record_file.h"
#include "stores/store_error.h"

namespace zv {

// Byte order of two keys: unsigned bytes, a proper prefix first.
inline bool keyLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;  // memcmp compares unsigned
    return c < 0 || (c == 0 && a.size() < b.size());
}

template <class Node>
class RecordStore {
public:
    using NodeList = std::vector<std::unique_ptr<Node>>;
    static constexpr std::size_t kRecordSize = RecordLayout<Node>::kRecordSize;

    RecordStore() = default;
    ~RecordStore() { fileio::cancelDeferredWrite(this); }
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    void setFileName(std::string fileName) {
        fileName_ = std::move(fileName);
        file_.setFileName(fileName_);
    }

    // Receives what a load reports about a damaged file it got over; without
    // one, the text goes to standard error.
    void setLoadWarning(std::function<void(const std::string& text)> warning) {
        loadWarning_ = std::move(warning);
    }
    const std::string& fileName() const { return fileName_; }

    // Called after every save that reached the file.
    void setSaveObserver(std::function<void(std::chrono::steady_clock::duration took)> observer) {
        saveObserver_ = std::move(observer);
    }

    // Replaces the list with the records of the data file, in file order.
    // First a change that a crash cut short is completed from the file's
    // journal, or the journal dropped when it is incomplete; a warning says
    // which. A missing file is created empty. When the file ends in an
    // incomplete record, the complete records are kept and `onIncompleteTail`
    // is called; without it, a StoreError naming the file is thrown. When the
    // file cannot be opened, or its first read fails, the list is left as it
    // was. When a read fails later, the records read before are kept, and
    // either `onUnreadable` says so at the end (the record the failure fell
    // in is left out and the load goes on after it) or a StoreError is thrown.
    void loadFromFile(const std::function<void()>& onIncompleteTail = {},
                      const std::function<void(int err, std::size_t leftOut)>& onUnreadable = {}) {
        std::lock_guard lock(fileLock_);
        // What the list holds now is about to go: so does its pending save.
        fileio::cancelDeferredWrite(this);
        const fileio::TJournalRecovery recovery = file_.recoverJournal();
        if (recovery.outcome != fileio::TJournalRecovery::Outcome::None)
            warn(journalRecoveryText(fileName_, file_.journalName(), recovery));
        const auto read = file_.read(list_, onUnreadable != nullptr, [this] {
            pendingFrom_ = kNothingPending;
            orderTrusted_ = false;
            noteMoved();
        });
        const std::size_t tail = read.incompleteTail;
        if (tail != 0) {
            if (!onIncompleteTail) {
                throw StoreError("cannot read \"" + fileName_ + "\": it ends in an incomplete record (" +
                                 std::to_string(tail) + " of " + std::to_string(kRecordSize) +
                                 " bytes) after " + std::to_string(list_.size()) + " complete records");
            }
            onIncompleteTail();
        }
        if (read.leftOut != 0) onUnreadable(read.firstError, read.leftOut);
    }

    // The load of a store whose file may end in an incomplete record (cut
    // short by a crash, say): the file as found is kept as
    // "<file>.damaged", the warning names the file, the records kept and
    // the copy, and the complete records are served. Throws StoreError when
    // the copy cannot be made, before anything could rewrite the file.
    void loadKeepingDamagedCopy() {
        loadFromFile([this] {
            const std::string copy = keepCopyOfFile(kDamagedSuffix);
            warn(damagedFileText(fileName_, list_.size(), copy));
        });
    }

    // Copies the data file as it is now to "<file><suffix>" and returns that
    // name; StoreError naming both when that fails.
    std::string keepCopyOfFile(std::string_view suffix) const {
        const std::string copy = fileName_ + std::string(suffix);
        try {
            fileio::copyFile(fileName_, copy);
        } catch (const StoreError& e) {
            throw StoreError("cannot keep a copy of \"" + fileName_ + "\" as \"" + copy + "\": " + e.what());
        }
        return copy;
    }

    // Passes a warning of a load to the administrator.
    void warn(const std::string& text) const {
        if (loadWarning_) loadWarning_(text);
        else writeLoadWarningToStderr(text);
    }

    // Brings the data file to the list: the file holds the list's records in
    // list order, each whole (a crash leaves every record old or new). Inside
    // a TDirectorySyncBatch the save is made when the batch commits, once
    // however often the store was saved before.
    void saveToFile() {
        if (!fileio::deferWrite(this, [this] { writeFile(); })) writeFile();
    }

    // The bytes saveToFile() would write now: every record in list order,
    // each in its fixed slots (a backup's copy of the store).
    std::string fileImage() const {
        settle();
        std::string bytes(list_.size() * kRecordSize, '\0');
        for (std::size_t i = 0; i < list_.size(); ++i)
            encodeRecord(*list_[i], bytes.data() + i * kRecordSize);
        return bytes;
    }

    void clearList() {
        list_.clear();
        pendingFrom_ = kNothingPending;
        orderTrusted_ = true;
        noteMoved();
    }

    std::unique_ptr<Node> createNodeFromString(std::string_view recordString) const {
        auto node = std::make_unique<Node>();
        node->setFromString(recordString);
        node->serial = nextRecordSerial();
        return node;
    }

    int getCount() const { return static_cast<int>(list_.size()); }

    // Lends the record at `index`; throws ListIndexError outside the list.
    Node& getNode(int index) {
        requireIndex(index);
        noteLent(static_cast<std::size_t>(index));
        keyIndex_.noteLent(static_cast<std::size_t>(index));
        return *lend()[static_cast<std::size_t>(index)];
    }
    const Node& getNode(int index) const {
        requireIndex(index);
        return *records()[static_cast<std::size_t>(index)];
    }

    // Appends at the end (stores in insertion order).
    Node& appendNode(std::unique_ptr<Node> node) {
        requireRecord(node.get());
        settle();
        node->serial = nextRecordSerial();
        list_.push_back(std::move(node));
        orderTrusted_ = false;
        noteMoved();
        return *list_.back();
    }

    // Adds in key order (sorted stores): placed after every record whose key
    // is not greater, which is an order a full sort by field 1 gives.
    Node& insertSorted(std::unique_ptr<Node> node) {
        requireRecord(node.get());
        node->serial = nextRecordSerial();
        if (pendingFrom_ == kNothingPending) pendingFrom_ = list_.size();
        list_.push_back(std::move(node));
        noteMoved();
        return *list_.back();
    }

    // First record, in list order, whose field 1 equals `key`; lent.
    Node* findFirst(std::string_view key) {
        const auto position = positionOf(key);
        if (!position) return nullptr;
        noteLent(*position);
        keyIndex_.noteLent(*position);
        return lend()[*position].get();
    }
    const Node* findFirst(std::string_view key) const {
        const auto position = positionOf(key);
        return position ? records()[*position].get() : nullptr;
    }

    // Deletes every record whose field 1 equals `key`; returns how many.
    std::size_t deleteAllByKey(std::string_view key) {
        settle();
        return noteDeleted(
            std::erase_if(list_, [&](const std::unique_ptr<Node>& n) { return keyOf(*n) == key; }));
    }

    bool deleteFirstByKey(std::string_view key) {
        settle();
        auto it = std::find_if(list_.begin(), list_.end(),
                               [&](const std::unique_ptr<Node>& n) { return keyOf(*n) == key; });
        if (it == list_.end()) return false;
        list_.erase(it);
        noteMoved();
        return true;
    }

    // Takes the given record out of the list and frees it; throws
    // ListIndexError when the list does not hold it.
    void removeNode(const Node* node) {
        settle();
        auto it = std::find_if(list_.begin(), list_.end(),
                               [node](const std::unique_ptr<Node>& n) { return n.get() == node; });
        if (it == list_.end())
            throw ListIndexError("the record is not held by the \"" + fileName_ + "\" store");
        list_.erase(it);
        noteMoved();
    }

    // Deletes the record at `index` when there is one.
    void deleteAt(int index) {
        settle();
        if (index >= 0 && static_cast<std::size_t>(index) < list_.size()) {
            list_.erase(list_.begin() + index);
            noteMoved();
        }
    }

    // Deletes exactly the records with these serials; returns how many.
    std::size_t deleteSerials(const std::vector<std::uint64_t>& serials) {
        settle();
        std::vector<std::uint64_t> wanted(serials);
        std::sort(wanted.begin(), wanted.end());
        return noteDeleted(std::erase_if(list_, [&](const std::unique_ptr<Node>& n) {
            return std::binary_search(wanted.begin(), wanted.end(), n->serial);
        }));
    }

    // Count, "|", then every record string followed by the record separator,
    // in pieces shared with earlier bundles; a piece never changes once
    // handed out.
    TTextPieces bundlePieces() const {
        settle();
        return bundle_.text(list_, moved_ || allLent_ ? nullptr : &lent_);
    }
    // The same in one string.
    std::string wholeListBundle() const {
        const TTextPieces pieces = bundlePieces();
        std::size_t size = 0;
        for (const auto& piece : pieces) size += piece->size();
        std::string text;
        text.reserve(size);
        for (const auto& piece : pieces) text.append(*piece);
        return text;
    }

    // Changes whenever a record may have taken another place or another key;
    // while it stays the same, every position holds the key it held.
    std::uint64_t keyLayoutGeneration() const {
        refreshKeyIndex();
        return keyIndex_.generation();
    }

    // Calls `visit` with the position of each record whose field 1 equals
    // `key`, in list order.
    template <class Visit>
    void forEachPositionOf(std::string_view key, Visit visit) const {
        refreshKeyIndex();
        for (std::size_t at = keyIndex_.first(key); at != TKeyIndex::kNone; at = keyIndex_.next(at)) visit(at);
    }

    // The list in its final order. The caller may change any record, keys
    // included, and must not insert, delete or move records.
    NodeList& records() {
        allLent_ = true;
        bundle_.noteAllChanged();
        keyIndex_.invalidate();
        return lend();
    }
    const NodeList& records() const {
        settle();
        return list_;
    }

private:
    static constexpr std::size_t kNothingPending = static_cast<std::size_t>(-1);

    void requireIndex(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= list_.size())
            throw ListIndexError("list index out of bounds (" + std::to_string(index) + ") in the \"" +
                                 fileName_ + "\" store of " + std::to_string(list_.size()) + " records");
    }

    std::optional<std::size_t> positionOf(std::string_view key) const {
        refreshKeyIndex();
        const std::size_t at = keyIndex_.first(key);
        if (at == TKeyIndex::kNone) return std::nullopt;
        return at;
    }

    // The list settled and its key index up to date with it.
    void refreshKeyIndex() const {
        settle();
        keyIndex_.refresh(list_.size(), [this](std::size_t i) { return std::string_view(keyOf(*list_[i])); });
    }

    // Records inserted, deleted or moved: the next write replaces the file.
    void noteMoved() {
        moved_ = true;
        bundle_.noteAllChanged();
        lent_.clear();
        keyIndex_.invalidate();
    }
    std::size_t noteDeleted(std::size_t count) {
        if (count > 0) noteMoved();
        return count;
    }
    // The record at `position` may change before the next write.
    void noteLent(std::size_t position) {
        bundle_.noteChanged(position);
        if (moved_ || allLent_) return;
        if (lent_.size() >= list_.size()) {
            allLent_ = true;  // compare them all, once
            lent_.clear();
            return;
        }
        lent_.push_back(position);
    }

    // The save itself, now.
    void writeFile() {
        const auto started = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(fileLock_);
            settle();
            file_.write(list_, moved_, allLent_ ? nullptr : &lent_);
            moved_ = false;
            allLent_ = false;
            lent_.clear();
        }
        if (saveObserver_) saveObserver_(std::chrono::steady_clock::now() - started);
    }

    void requireRecord(const Node* node) const {
        if (!node) throw std::invalid_argument("no record given to add to the \"" + fileName_ + "\" store");
    }

    static const std::string& keyOf(const Node& node) {
        return node.*(RecordLayout<Node>::kFields[0].member);
    }
    static bool nodeLess(const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) {
        return keyLess(keyOf(*a), keyOf(*b));
    }

    // Stable sort by key; the keys are gathered first so that comparing them
    // does not go through the records.
    static void sortByKey(typename NodeList::iterator first, typename NodeList::iterator last) {
        struct Keyed {
            std::string_view key;
            Node* node;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(static_cast<std::size_t>(last - first));
        for (auto it = first; it != last; ++it) keyed.push_back({keyOf(**it), it->get()});
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const Keyed& a, const Keyed& b) { return keyLess(a.key, b.key); });
        for (auto it = first; it != last; ++it) it->release();
        for (const Keyed& k : keyed) (first++)->reset(k.node);
    }

    // Merges records added by insertSorted() into key order.
    void settle() const {
        if (pendingFrom_ == kNothingPending) return;
        keyIndex_.invalidate();
        const auto pending = list_.begin() + static_cast<std::ptrdiff_t>(pendingFrom_);
        if (!orderTrusted_ && !std::is_sorted(list_.begin(), pending, nodeLess)) {
            // Loaded unsorted, or a key was changed through a lent record.
            sortByKey(list_.begin(), list_.end());
        } else {
            sortByKey(pending, list_.end());
            std::inplace_merge(list_.begin(), pending, list_.end(), nodeLess);
        }
        pendingFrom_ = kNothingPending;
        orderTrusted_ = true;
    }

    // The list, settled, for a caller that may change keys in place.
    NodeList& lend() {
        settle();
        orderTrusted_ = false;
        return list_;
    }

    // Constant after set-up.
    std::string fileName_;
    std::function<void(const std::string&)> loadWarning_;
    std::function<void(std::chrono::steady_clock::duration took)> saveObserver_;

    std::recursive_mutex fileLock_;  // held for the whole of each load and save
    TRecordFile<Node> file_;         // under fileLock_

    // What happened to the list since the last write.
    bool moved_ = true;              // records inserted, deleted or moved
    bool allLent_ = false;           // every record lent for change
    std::vector<std::size_t> lent_;  // positions lent for change

    // The list and its order; settle() may reorder it from const readers.
    mutable NodeList list_;
    mutable std::size_t pendingFrom_ = kNothingPending;  // first record not yet merged
    mutable bool orderTrusted_ = true;  // records before pendingFrom_ known to be in key order
    mutable TBundleCache<Node> bundle_;  // the last bundle, and what changed since
    mutable TKeyIndex keyIndex_;  // follows the list; settle() may move records
};

}  // namespace zv
