#pragma once
// The file layer under the stores: every open, read, write, fsync, rename and
// unlink of a data file or debug log goes through here, and errno becomes a
// StoreError in one place. Tests replace the calls to inject failures.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv::fileio {

// The platform calls made by this layer.
struct FileOps {
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, void* buffer, std::size_t size)> read;
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* path)> unlink;
    std::function<int(int fd, struct stat* info)> fstat;
    std::function<off_t(int fd, off_t offset, int whence)> lseek;
    std::function<ssize_t(int fd, void* buffer, std::size_t size, off_t offset)> pread;
    std::function<ssize_t(int fd, const void* data, std::size_t size, off_t offset)> pwrite;
    std::function<int(int fd)> fdatasync;
    std::function<int(int fd, off_t length)> ftruncate;
};

// The real system calls.
FileOps systemFileOps();

// Uses `ops` for every later file access (the caller keeps it alive);
// nullptr goes back to the system calls.
void setFileOpsForTesting(const FileOps* ops);

// Throws StoreError: "cannot <operation> \"<name>\": <strerror(err)>", for
// instance: cannot write "wiwo.dat": No space left on device
[[noreturn]] void throwFileError(std::string_view operation, const std::string& fileName,
                                 int err);

// Files are created 0600: the data files and the settings hold passwords.
inline constexpr mode_t kNewFileMode = 0600;

// Gives `fd`, just created as the new version of `fileName`, the mode the
// file has now, so that a file replaced whole keeps its mode; a file that
// does not exist yet leaves `fd` as it was created. Returns 0, or the errno
// of the failure.
int keepModeOf(const std::string& fileName, int fd);

// Writes a copy of the file `from` as `to` (replaced whole, as a save is).
// Throws StoreError naming the file that could not be read or written.
void copyFile(const std::string& from, const std::string& to);

// Appends `text` to the file, creating it when it does not exist.
void appendToFile(const std::string& fileName, std::string_view text);

// The size of a file in bytes; nothing when there is no such file.
std::optional<std::uint64_t> fileSize(const std::string& fileName);

// Gives the file `from` the name `to`, replacing a file of that name.
void renameFile(const std::string& from, const std::string& to);

// What tells one version of a data file from another without reading it: the
// file itself (a replacement is a new file), its size and the moment of its
// last write.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file open as `fd`; StoreError naming `fileName` when it
// cannot be read.
FileIdentity identityOf(int fd, const std::string& fileName);

// Reads a data file from the start. A missing file is created empty first.
// Owns its descriptor.
class DataFileReader {
public:
    explicit DataFileReader(const std::string& fileName);
    ~DataFileReader();
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;

    // Fills `buffer` with up to `size` bytes; fewer only at end of file.
    std::size_t read(char* buffer, std::size_t size);

    // As read(), but a failing read ends the call instead of raising: the
    // bytes read before it are counted and *err receives the errno (0 when
    // the buffer was filled or the file ended).
    std::size_t readSome(char* buffer, std::size_t size, int* err);

    // Goes on reading at `offset` bytes from the start.
    void seekTo(std::uint64_t offset);

    // The size of the file now.
    std::uint64_t size();

    // The whole rest of the file.
    struct Contents {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
    };
    Contents readAll();

private:
    std::string fileName_;
    int fd_ = -1;
};

// Writes a new version of a file so that the file is replaced whole or not at
// all: the bytes go to "<name>.tmp" beside it, which commit() flushes to disk
// and renames over the file, then flushes the folder (inside a
// TDirectorySyncBatch on this thread, the batch flushes the folder later). Without a commit, or
// when the commit fails, the temporary file is removed and the old file stays.
// Owns the temporary file's descriptor.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string fileName);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void write(const char* data, std::size_t size);
    // Returns the identity of the file now in place.
    FileIdentity commit();

private:
    void discard() noexcept;

    std::string fileName_;
    std::string tempName_;
    int fd_ = -1;
    bool committed_ = false;
};

// Replaces the contents of a file with nothing. A file that exists is
// truncated in place and flushed: a truncation is whole or not at all (a crash
// leaves the old contents or none) and leaves the folder unchanged, so it needs
// no temporary file and no folder flush. A file that cannot be opened for
// writing (missing, not a regular file, read-only) is replaced through an
// AtomicFileWriter instead. Returns the identity of the empty file.
FileIdentity replaceWithEmptyFile(const std::string& fileName);

// Groups the saves of one step, so that they reach the disk together before
// anything depending on them is told. While a batch is open on this thread:
// - a store's save is only recorded (deferWrite) and made at commit(), once
//   however often the step saved that store, in the order the stores were
//   first saved;
// - a file replaced whole is written, flushed and renamed at once, but its
//   folder is only recorded; the folders are flushed once each at commit(),
//   after the recorded saves.
// When the outermost batch ends, it commits what is left. Until a commit a
// crash may bring back the previous version of a file, so commit before
// anything depending on the saves is reported to anybody.
// Batches nest: an inner batch ending leaves its work to the outer one.
// Not shared between threads: each thread has its own batch.
class TDirectorySyncBatch {
public:
    TDirectorySyncBatch();
    // The outermost batch flushes what is left. A failure raises StoreError,
    // or, when the batch ends because of an exception, goes to stderr.
    ~TDirectorySyncBatch() noexcept(false);
    TDirectorySyncBatch(const TDirectorySyncBatch&) = delete;
    TDirectorySyncBatch& operator=(const TDirectorySyncBatch&) = delete;

    // Makes every save recorded so far on this thread (by this batch and the
    // batches around it), then flushes every recorded folder, once each.
    // Tries them all, then throws the first failure (a StoreError naming the
    // file or folder). Inside a TDirectorySyncGroup it leaves all that to
    // the group's commit.
    void commit();
    // As commit, also inside a group: before something is told that the
    // group does not hold back (a mail sent).
    void commitNow();

    // True while a batch is open on this thread.
    static bool active();

private:
    int uncaughtAtStart_;
};

// Several steps that tell nobody anything before the group has committed
// (their replies wait for it) save as one: inside the group, the batches'
// commits leave their work to the group's, so a store the steps changed is
// saved once and every folder is flushed once, for all of them, by commit().
// Ending without a commit, the group makes what is left as a batch does.
class TDirectorySyncGroup {
public:
    TDirectorySyncGroup();
    ~TDirectorySyncGroup() noexcept(false);
    TDirectorySyncGroup(const TDirectorySyncGroup&) = delete;
    TDirectorySyncGroup& operator=(const TDirectorySyncGroup&) = delete;

    void commit() { batch_.commitNow(); }

private:
    TDirectorySyncBatch batch_;
};

// Sets the open batches of this thread aside for its lifetime: saves meanwhile
// are made and flush their folders at once again (as when the thread waits for something
// else and may serve unrelated work meanwhile). Batches opened inside work as
// usual. What the set-aside batches recorded stays theirs.
class TDirectorySyncSuspension {
public:
    TDirectorySyncSuspension();
    ~TDirectorySyncSuspension();
    TDirectorySyncSuspension(const TDirectorySyncSuspension&) = delete;
    TDirectorySyncSuspension& operator=(const TDirectorySyncSuspension&) = delete;

private:
    int depth_, groupDepth_;
    std::vector<std::string> folders_;
    std::vector<std::pair<const void*, std::function<void()>>> writes_;
};

// Folders recorded by the open batches of this thread and not flushed yet.
std::vector<std::string> pendingFolderSyncs();

// Inside a batch on this thread: records `write` as the save of `owner`, to be
// made at the batch's commit (a save already recorded for `owner` stays
// where it is), and returns true. Outside a batch: returns false and the
// caller saves at once.
bool deferWrite(const void* owner, std::function<void()> write);

// Forgets the recorded save of `owner` (a store that is reloaded or goes
// away).
void cancelDeferredWrite(const void* owner);

}  // namespace zv::fileio
