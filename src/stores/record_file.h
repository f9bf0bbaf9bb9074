#pragma once
// A store's data file: its list read from the file, and brought back to it.
// The bytes at rest are always the list's records, in list order, each
// encoded in its fixed slots; only the way a save gets there differs:
// - when records were inserted, deleted or moved since the last write, or the
//   file is not known to hold what the last write left there, the file is
//   replaced whole (a new file put in place atomically; a list that became
//   empty truncates its file);
// - otherwise only the records whose bytes changed are written, where they
//   lie, behind the file's journal (file_journal.h). Which records may have
//   changed the store says; their new bytes are compared with the file's, so
//   a record handed out but left as it was costs a read, not a write.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/file_access.h"
#include "stores/file_journal.h"
#include "stores/record_codec.h"
#include "stores/records.h"

namespace zv {

// Owned by its store and used under the store's file lock; owns the file's
// journal and remembers how the last write left the file.
template <class Node>
class TRecordFile {
public:
    using NodeList = std::vector<std::unique_ptr<Node>>;
    static constexpr std::size_t kRecordSize = RecordLayout<Node>::kRecordSize;

    void setFileName(const std::string& fileName) {
        fileName_ = fileName;
        journal_.setDataFileName(fileName);
        known_ = false;
    }

    // At load, before the file is read: completes or drops a change that a
    // crash cut short. The file as read may differ from what a save writes
    // (bytes after a slot's end), so the next write replaces it whole.
    fileio::TJournalRecovery recoverJournal() {
        known_ = false;
        return journal_.recover();
    }

    const std::string& journalName() const { return journal_.journalName(); }

    struct ReadResult {
        std::size_t incompleteTail = 0;  // bytes of an incomplete last record
        std::size_t leftOut = 0;         // records that could not be read
        int firstError = 0;              // the errno of the first of them
    };

    // Replaces `list` with the records of the file, in file order; a missing
    // file is created empty. `beforeListChanges` is called once the first
    // read succeeded: a file that cannot be read at all leaves the list as it
    // was (StoreError). A read that fails later raises too, unless
    // `goOnAfterUnreadable`: then the record it fell in is left out and the
    // reading goes on after it.
    ReadResult read(NodeList& list, bool goOnAfterUnreadable,
                    const std::function<void()>& beforeListChanges) {
        fileio::DataFileReader reader(fileName_);
        // Chunks small enough to stay in the cache while they are decoded.
        constexpr std::size_t kChunkBytes = (kRecordSize >= 65536 ? 1 : 65536 / kRecordSize) * kRecordSize;
        std::unique_ptr<char[]> chunk(new char[kChunkBytes]);
        int err = 0;
        std::size_t got = reader.readSome(chunk.get(), kChunkBytes, &err);
        if (err != 0 && got == 0) fileio::throwFileError("read", fileName_, err);
        beforeListChanges();

        // The records of the old list are reused for the new one: a reload
        // then costs no allocation for values that fit their old capacity.
        NodeList spare = std::move(list);
        // Handed out in address order, so that the new list lies in memory
        // in list order (taken from the back).
        std::sort(spare.begin(), spare.end(), std::greater<>());
        list.clear();
        list.reserve(spare.size());

        ReadResult result;
        std::uint64_t chunkStart = 0;  // file offset of the chunk's first byte
        for (;;) {
            const std::size_t whole = got / kRecordSize;
            for (std::size_t r = 0; r < whole; ++r) {
                std::unique_ptr<Node> node;
                if (!spare.empty()) {
                    node = std::move(spare.back());
                    spare.pop_back();
                    if (!spare.empty()) prefetchForWrite(spare.back().get());
                } else {
                    node = std::make_unique<Node>();
                }
                decodeRecord(*node, chunk.get() + r * kRecordSize);
                node->serial = nextRecordSerial();
                list.push_back(std::move(node));
            }
            result.incompleteTail = got % kRecordSize;
            if (err != 0) {
                if (!goOnAfterUnreadable) fileio::throwFileError("read", fileName_, err);
                // The record the failure fell in is left out.
                if (result.firstError == 0) result.firstError = err;
                ++result.leftOut;
                chunkStart += (whole + 1) * kRecordSize;
                result.incompleteTail = 0;
                if (chunkStart >= reader.size()) break;
                reader.seekTo(chunkStart);
                got = reader.readSome(chunk.get(), kChunkBytes, &err);
                continue;
            }
            if (got < kChunkBytes) break;
            chunkStart += got;
            got = reader.readSome(chunk.get(), kChunkBytes, &err);
        }
        return result;
    }

    // Writes `list`. `moved`: records were inserted, deleted or moved since
    // the last write. `mayHaveChanged`: the positions of the records that may
    // have changed since, in any order, repeats allowed; nullptr for all.
    // StoreError on failure; the next write then replaces the file whole.
    void write(const NodeList& list, bool moved, const std::vector<std::size_t>* mayHaveChanged) {
        known_ = known_ && !moved;
        try {
            if (!known_ || !writeInPlace(list, mayHaveChanged)) writeWhole(list);
        } catch (...) {
            known_ = false;
            throw;
        }
        known_ = true;
    }

private:
    // Starts fetching a record that is about to be overwritten.
    static void prefetchForWrite(const Node* node) {
        const char* bytes = reinterpret_cast<const char*>(node);
        for (std::size_t offset = 0; offset < sizeof(Node); offset += 64)
            __builtin_prefetch(bytes + offset, 1);
    }

    // False when the file is not as the last write left it.
    bool writeInPlace(const NodeList& list, const std::vector<std::size_t>* mayHaveChanged) {
        std::optional<fileio::TInPlaceFile> file = fileio::TInPlaceFile::openExisting(fileName_);
        if (!file) return false;
        const fileio::FileIdentity before = file->identity();
        if (before != written_) return false;

        std::vector<std::size_t> positions;
        if (mayHaveChanged) {
            positions = *mayHaveChanged;
            std::sort(positions.begin(), positions.end());
            positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        } else {
            positions.resize(list.size());
            for (std::size_t i = 0; i < list.size(); ++i) positions[i] = i;
        }
        if (positions.empty()) return true;

        // The new bytes of every candidate, and the file's, read in runs of
        // neighbouring records.
        std::unique_ptr<char[]> fresh(new char[positions.size() * kRecordSize]());
        std::unique_ptr<char[]> current(new char[positions.size() * kRecordSize]);
        for (std::size_t i = 0; i < positions.size(); ++i)
            encodeRecord(*list[positions[i]], fresh.get() + i * kRecordSize);
        for (std::size_t first = 0, last = 0; first < positions.size(); first = last) {
            last = first + 1;
            while (last < positions.size() && positions[last] == positions[last - 1] + 1) ++last;
            file->readAt(positions[first] * kRecordSize, current.get() + first * kRecordSize,
                         (last - first) * kRecordSize);
        }

        // Changed records, neighbours joined into one stretch.
        std::vector<fileio::TInPlaceChange> changes;
        std::size_t previous = 0;
        for (std::size_t i = 0; i < positions.size(); ++i) {
            const char* bytes = fresh.get() + i * kRecordSize;
            if (std::memcmp(bytes, current.get() + i * kRecordSize, kRecordSize) == 0) continue;
            const std::uint64_t offset = static_cast<std::uint64_t>(positions[i]) * kRecordSize;
            if (!changes.empty() && positions[i] == previous + 1) {
                const std::string_view joined = changes.back().bytes;
                changes.back().bytes = std::string_view(joined.data(), joined.size() + kRecordSize);
            } else {
                changes.push_back({offset, std::string_view(bytes, kRecordSize)});
            }
            previous = positions[i];
        }
        if (changes.empty()) return true;
        written_ = journal_.write(*file, before, changes);
        return true;
    }

    void writeWhole(const NodeList& list) {
        if (list.empty()) {
            // The common case of the memo and message stores once everything
            // was delivered: emptied in place, much cheaper than a new file.
            written_ = fileio::replaceWithEmptyFile(fileName_);
        } else {
            fileio::AtomicFileWriter writer(fileName_);
            // Large writes: the file system does less work per byte.
            const std::size_t chunkRecords =
                std::max<std::size_t>(1, std::min(list.size(), (std::size_t{1} << 20) / kRecordSize));
            std::vector<char> chunk(chunkRecords * kRecordSize);
            std::size_t used = 0;
            for (const auto& node : list) {
                char* slot = chunk.data() + used * kRecordSize;
                std::memset(slot, 0, kRecordSize);
                encodeRecord(*node, slot);
                if (++used == chunkRecords) {
                    writer.write(chunk.data(), used * kRecordSize);
                    used = 0;
                }
            }
            if (used) writer.write(chunk.data(), used * kRecordSize);
            written_ = writer.commit();
        }
        journal_.forget();
    }

    // Constant after set-up.
    std::string fileName_;

    fileio::TFileJournal journal_;
    bool known_ = false;            // the file is as the last write left it
    fileio::FileIdentity written_;  // the file as the last write left it
};

}  // namespace zv
