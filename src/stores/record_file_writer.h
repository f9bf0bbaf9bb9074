#pragma once
// How a store's list reaches its data file. The bytes at rest are always the
// list's records, in list order, each encoded in its fixed slots; only the way
// there differs:
// - when records were inserted, deleted or moved since the last write, or the
//   file is not known to hold what the last write left there, the file is
//   replaced whole (a new file put in place atomically; a list that became
//   empty truncates its file);
// - otherwise only the records whose bytes changed are written, where they
//   lie, behind the file's journal (file_journal.h). Which records may have
//   changed the store says; their new bytes are compared with the file's, so
//   a record handed out but left as it was costs a read, not a write.

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/file_access.h"
#include "stores/file_journal.h"
#include "stores/record_codec.h"

namespace zv {

template <class Node>
class TRecordFileWriter {
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
                changes.back().bytes = std::string_view(changes.back().bytes.data(), changes.back().bytes.size() + kRecordSize);
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
