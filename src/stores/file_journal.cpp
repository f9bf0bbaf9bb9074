#include "stores/file_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "stores/file_access_internal.h"
#include "stores/store_error.h"

namespace zv::fileio {

using detail::openRetrying;
using detail::ops;

namespace {

constexpr std::string_view kMagic = "ZVJRNL01";
constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kStretchHeaderSize = 16;
constexpr std::size_t kChecksumAt = 40;

void (*journalFlushedHook)() = nullptr;

void putU64(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::uint64_t getU64(std::string_view bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A word-wise 64-bit checksum: each step is a bijection of the state for a
// given word, so any one changed word changes the result; the final mix
// spreads every bit.
std::uint64_t checksumOf(std::string_view bytes, std::uint64_t h) {
    constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ULL;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 32;
    }
    if (i < bytes.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, bytes.size() - i);
        h = (h ^ word ^ (std::uint64_t{1} << 63)) * kMultiplier;
        h ^= h >> 32;
    }
    return h;
}

// Of a whole journal: the header without its checksum, then the stretches.
std::uint64_t journalChecksum(std::string_view journal) {
    std::uint64_t h = checksumOf(journal.substr(0, kChecksumAt), journal.size());
    h = checksumOf(journal.substr(kHeaderSize), h);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

struct TParsedJournal {
    std::uint64_t inode = 0;
    std::uint64_t fileSize = 0;
    std::vector<TInPlaceChange> changes;
};

// The journal's contents when it is complete and sound; nothing otherwise.
// Bytes after its length are left over from a longer journal and ignored.
std::optional<TParsedJournal> parseJournal(std::string_view bytes) {
    if (bytes.size() < kHeaderSize || bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
    const std::uint64_t length = getU64(bytes, 8);
    if (length < kHeaderSize || length > bytes.size()) return std::nullopt;
    const std::string_view journal = bytes.substr(0, static_cast<std::size_t>(length));
    if (getU64(journal, kChecksumAt) != journalChecksum(journal)) return std::nullopt;

    TParsedJournal parsed;
    parsed.inode = getU64(journal, 16);
    parsed.fileSize = getU64(journal, 24);
    const std::uint64_t count = getU64(journal, 32);
    std::size_t at = kHeaderSize;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (journal.size() - at < kStretchHeaderSize) return std::nullopt;
        const std::uint64_t offset = getU64(journal, at);
        const std::uint64_t size = getU64(journal, at + 8);
        at += kStretchHeaderSize;
        if (size > journal.size() - at || offset > parsed.fileSize || size > parsed.fileSize - offset)
            return std::nullopt;
        parsed.changes.push_back({offset, journal.substr(at, static_cast<std::size_t>(size))});
        at += static_cast<std::size_t>(size);
    }
    if (at != journal.size()) return std::nullopt;
    return parsed;
}

bool namesFile(const TParsedJournal& journal, const FileIdentity& file) {
    return journal.inode == static_cast<std::uint64_t>(file.inode) && journal.fileSize == file.size;
}

void pwriteAll(int fd, std::string_view bytes, std::uint64_t offset, const std::string& nameForErrors) {
    while (!bytes.empty()) {
        const ssize_t n = ops().pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwFileError("write", nameForErrors, errno);
        }
        if (n == 0) throwFileError("write", nameForErrors, EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

// Reads the whole file at `path`; nothing when there is no such file.
std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = openRetrying(path, O_RDONLY, 0);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throwFileError("open", path, errno);
    }
    std::string bytes;
    try {
        const FileIdentity identity = identityOf(fd, path);
        bytes.resize(static_cast<std::size_t>(identity.size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ops().pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throwFileError("read", path, errno);
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    } catch (...) {
        ops().close(fd);
        throw;
    }
    ops().close(fd);
    return bytes;
}

// Removes a journal that was played or discarded. Should that fail, nothing
// is lost: the next load plays it again (which changes nothing) or discards
// it again, and the next in-place write replaces it.
void removeJournal(const std::string& path) { ops().unlink(path.c_str()); }

}  // namespace

std::string journalImage(const FileIdentity& file, const std::vector<TInPlaceChange>& changes) {
    std::size_t length = kHeaderSize;
    for (const TInPlaceChange& c : changes) length += kStretchHeaderSize + c.bytes.size();
    std::string image;
    image.reserve(length);
    image.append(kMagic);
    putU64(image, length);
    putU64(image, static_cast<std::uint64_t>(file.inode));
    putU64(image, file.size);
    putU64(image, changes.size());
    putU64(image, 0);  // the checksum, below
    for (const TInPlaceChange& c : changes) {
        putU64(image, c.offset);
        putU64(image, c.bytes.size());
        image.append(c.bytes);
    }
    const std::uint64_t checksum = journalChecksum(image);
    for (int i = 0; i < 8; ++i) image[kChecksumAt + i] = static_cast<char>((checksum >> (8 * i)) & 0xff);
    return image;
}

TJournalRecovery::Outcome playJournalInto(std::string_view journal, std::uint64_t inode, std::string& data) {
    if (journal.empty()) return TJournalRecovery::Outcome::None;
    const std::optional<TParsedJournal> parsed = parseJournal(journal);
    if (!parsed) return TJournalRecovery::Outcome::Discarded;
    FileIdentity copy;
    copy.inode = static_cast<ino_t>(inode);
    copy.size = data.size();
    if (!namesFile(*parsed, copy)) return TJournalRecovery::Outcome::Foreign;
    for (const TInPlaceChange& c : parsed->changes)
        data.replace(static_cast<std::size_t>(c.offset), c.bytes.size(), c.bytes);
    return TJournalRecovery::Outcome::Replayed;
}

void setJournalFlushedHookForTesting(void (*hook)()) { journalFlushedHook = hook; }

// ---- TInPlaceFile ----------------------------------------------------------

std::optional<TInPlaceFile> TInPlaceFile::openExisting(const std::string& fileName) {
    // Does not follow a link and does not wait for the reader of a pipe.
    const int fd = openRetrying(fileName, O_RDWR | O_NOFOLLOW | O_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    TInPlaceFile file(fileName, fd);
    struct stat info {};
    if (ops().fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return file;
}

TInPlaceFile::~TInPlaceFile() {
    if (fd_ >= 0) ops().close(fd_);
}

TInPlaceFile::TInPlaceFile(TInPlaceFile&& other) noexcept
    : fileName_(std::move(other.fileName_)), fd_(std::exchange(other.fd_, -1)) {}

TInPlaceFile& TInPlaceFile::operator=(TInPlaceFile&& other) noexcept {
    std::swap(fileName_, other.fileName_);
    std::swap(fd_, other.fd_);
    return *this;
}

FileIdentity TInPlaceFile::identity() const { return identityOf(fd_, fileName_); }

void TInPlaceFile::readAt(std::uint64_t offset, char* buffer, std::size_t size) const {
    while (size > 0) {
        const ssize_t n = ops().pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwFileError("read", fileName_, errno);
        if (n == 0)
            throw StoreError("cannot read \"" + fileName_ + "\": it ends before byte " +
                             std::to_string(offset));
        buffer += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void TInPlaceFile::writeAndFlush(const std::vector<TInPlaceChange>& changes) const {
    for (const TInPlaceChange& c : changes) pwriteAll(fd_, c.bytes, c.offset, fileName_);
    if (ops().fdatasync(fd_) != 0) throwFileError("flush", fileName_, errno);
}

// ---- TFileJournal ----------------------------------------------------------

TFileJournal::~TFileJournal() {
    // A journal that still holds a change stays for the next load. Nothing
    // else depends on the removal: an empty journal is never played.
    if (used_ && !holdsChange_) ops().unlink(journalName_.c_str());
}

void TFileJournal::setDataFileName(const std::string& dataFileName) {
    if (used_ && !holdsChange_) ops().unlink(journalName_.c_str());
    dataFileName_ = dataFileName;
    journalName_ = dataFileName + std::string(kJournalSuffix);
    used_ = false;
    holdsChange_ = false;
}

FileIdentity TFileJournal::write(const TInPlaceFile& file, const FileIdentity& before,
                                 const std::vector<TInPlaceChange>& changes) {
    const std::string image = journalImage(before, changes);
    bool created = false;
    int fd = openRetrying(journalName_, O_RDWR | O_NOFOLLOW, 0);
    if (fd < 0 && errno == ENOENT) {
        fd = openRetrying(journalName_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        created = fd >= 0;
    }
    if (fd < 0) throwFileError("open the journal", journalName_, errno);
    used_ = true;

    try {
        pwriteAll(fd, image, 0, journalName_);
        if (ops().fdatasync(fd) != 0) throwFileError("flush", journalName_, errno);
        if (created) {
            // A journal that a crash could lose from its folder protects nothing.
            const char* operation = nullptr;
            const int err = detail::syncFolder(detail::folderOf(journalName_), &operation);
            if (err != 0) throwFileError(std::string(operation) + " the folder of", journalName_, err);
        }
    } catch (...) {
        // The data file is untouched: nothing in the journal is needed. An
        // emptying that fails leaves a journal that does not read as complete,
        // or one that names the file as it still is and only repeats it.
        ops().ftruncate(fd, 0);
        ops().close(fd);
        throw;
    }
    holdsChange_ = true;

    FileIdentity after;
    try {
        if (journalFlushedHook) journalFlushedHook();
        file.writeAndFlush(changes);
        after = file.identity();
    } catch (...) {
        ops().close(fd);
        throw;
    }
    // Done. Emptying it needs no flush: should a crash bring the journal
    // back, it names the file with these stretches already in it, and
    // playing it again changes nothing; the next in-place write overwrites
    // it, and a replacement of the file makes it foreign.
    if (ops().ftruncate(fd, 0) == 0) holdsChange_ = false;
    ops().close(fd);
    return after;
}

void TFileJournal::forget() noexcept {
    if (!holdsChange_) return;
    const int fd = openRetrying(journalName_, O_WRONLY | O_NOFOLLOW, 0);
    if (fd < 0) {
        // Gone already, or unreachable: either way it names the old file.
        holdsChange_ = errno != ENOENT;
        return;
    }
    if (ops().ftruncate(fd, 0) == 0) holdsChange_ = false;
    ops().close(fd);
}

TJournalRecovery TFileJournal::recover() {
    const std::optional<std::string> bytes = readWholeFile(journalName_);
    TJournalRecovery result;
    if (!bytes) return result;
    if (bytes->empty()) {
        removeJournal(journalName_);
        used_ = holdsChange_ = false;
        return result;
    }

    const std::optional<TParsedJournal> journal = parseJournal(*bytes);
    std::optional<TInPlaceFile> file;
    if (journal && fileSize(dataFileName_)) {
        file = TInPlaceFile::openExisting(dataFileName_);
        if (!file)
            throw StoreError("cannot complete the change in \"" + journalName_ + "\": \"" + dataFileName_ +
                             "\" cannot be opened for writing");
    }
    if (!journal) {
        result.outcome = TJournalRecovery::Outcome::Discarded;
    } else if (!file || !namesFile(*journal, file->identity())) {
        result.outcome = TJournalRecovery::Outcome::Foreign;
    } else {
        file->writeAndFlush(journal->changes);
        result.outcome = TJournalRecovery::Outcome::Replayed;
    }
    removeJournal(journalName_);
    used_ = holdsChange_ = false;
    return result;
}

}  // namespace zv::fileio
