#pragma once
// Changing stretches of a data file where they lie, so that a crash at any
// moment leaves each stretch old or new, never a mix: the new bytes go first,
// with their offsets and lengths and a checksum, to "<name>.journal" beside
// the file, which is flushed; then into the file, which is flushed; then the
// journal is emptied. At the next load a complete journal is played into the
// file again, and an incomplete one is thrown away (the file was not touched
// yet).
//
// The journal names the data file it belongs to (its inode and its size), so
// that it is never played into another version of the file: one that
// replaced it whole, or that was cut or grew since.
//
// Journal layout, little-endian:
//   0  magic "ZVJRNL01"          8 bytes
//   8  length of the journal     8 bytes, header included
//  16  inode of the data file    8 bytes
//  24  size of the data file     8 bytes
//  32  number of stretches       8 bytes
//  40  checksum                  8 bytes, of everything else up to the length
//  48  the stretches: offset (8 bytes), length (8 bytes), the new bytes

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/file_access.h"

namespace zv::fileio {

inline constexpr std::string_view kJournalSuffix = ".journal";

// New bytes for one stretch of a data file.
struct TInPlaceChange {
    std::uint64_t offset = 0;
    std::string_view bytes;  // not owned
};

// A data file opened to read and change stretches where they lie. Owns its
// descriptor.
class TInPlaceFile {
public:
    // The file, or nothing when there is no regular file of that name that
    // can be opened for reading and writing (the caller then replaces it
    // whole, which reports what is wrong).
    static std::optional<TInPlaceFile> openExisting(const std::string& fileName);
    ~TInPlaceFile();
    TInPlaceFile(TInPlaceFile&& other) noexcept;
    TInPlaceFile& operator=(TInPlaceFile&& other) noexcept;
    TInPlaceFile(const TInPlaceFile&) = delete;
    TInPlaceFile& operator=(const TInPlaceFile&) = delete;

    FileIdentity identity() const;
    // Fills `buffer` from `offset`; StoreError when the file ends before.
    void readAt(std::uint64_t offset, char* buffer, std::size_t size) const;
    // Writes the changes and flushes them; StoreError on failure.
    void writeAndFlush(const std::vector<TInPlaceChange>& changes) const;

    const std::string& fileName() const { return fileName_; }

private:
    TInPlaceFile(std::string fileName, int fd) : fileName_(std::move(fileName)), fd_(fd) {}

    std::string fileName_;
    int fd_ = -1;
};

// What the load found in a journal.
struct TJournalRecovery {
    enum class Outcome {
        None,       // no journal, or an empty one: nothing was in flight
        Replayed,   // complete: its stretches are now in the file
        Discarded,  // incomplete or damaged: the file is as it was
        Foreign,    // complete, but for another version of the file
    };
    Outcome outcome = Outcome::None;
};

// The journal of one data file; owned by the store of that file, used on its
// thread only. Opens the journal only while it uses it.
class TFileJournal {
public:
    TFileJournal() = default;
    // Removes the journal file, unless it still holds a change that did not
    // reach the data file.
    ~TFileJournal();
    TFileJournal(const TFileJournal&) = delete;
    TFileJournal& operator=(const TFileJournal&) = delete;

    void setDataFileName(const std::string& dataFileName);
    const std::string& journalName() const { return journalName_; }

    // Writes `changes` into `file` behind the journal (see the top of this
    // file) and returns the identity of the file afterwards. `before` is the
    // identity of the file now. StoreError on failure: before the file was
    // touched, the journal is emptied; after, it keeps the change, which the
    // next load completes.
    FileIdentity write(const TInPlaceFile& file, const FileIdentity& before,
                       const std::vector<TInPlaceChange>& changes);

    // After the data file was replaced whole: empties a journal that may
    // still hold a change (it can no longer be played: it names the old
    // file).
    void forget() noexcept;

    // At load, before the data file is read: plays a complete journal into
    // the file and removes it; removes an incomplete or foreign one.
    // StoreError when the journal cannot be read or played (it is then
    // kept for the next attempt).
    TJournalRecovery recover();

private:
    std::string dataFileName_;
    std::string journalName_;
    bool used_ = false;         // this journal file was written by us
    bool holdsChange_ = false;  // and may hold a change that did not reach the file
};

// The journal's bytes for `changes` to a data file of this identity.
std::string journalImage(const FileIdentity& file, const std::vector<TInPlaceChange>& changes);

// Plays `journal` (the bytes of a journal file) into `data`, a copy of its
// data file taken while nothing wrote to it, whose inode is `inode`: as the
// next load would play it into the file itself. Replayed when the journal is
// complete and names this file; `data` is left alone otherwise (None for an
// empty journal). For a copy of the folder while the server is stopped.
TJournalRecovery::Outcome playJournalInto(std::string_view journal, std::uint64_t inode, std::string& data);

// Called after the journal of an in-place write is flushed and before the
// file is touched; nullptr for none. For the crash tests, which stop the
// process there.
void setJournalFlushedHookForTesting(void (*hook)());

}  // namespace zv::fileio
