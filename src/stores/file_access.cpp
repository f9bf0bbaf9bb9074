#include "stores/file_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "stores/file_access_internal.h"
#include "stores/store_error.h"

namespace zv::fileio {

namespace {

const FileOps& realOps() {
    static const FileOps ops = systemFileOps();
    return ops;
}

const FileOps* testOps = nullptr;

}  // namespace

namespace detail {

const FileOps& ops() { return testOps ? *testOps : realOps(); }

std::string folderOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return fileName.substr(0, slash);
}

int openRetrying(const std::string& path, int flags, mode_t mode) {
    for (;;) {
        const int fd = ops().open(path.c_str(), flags | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& nameForErrors) {
    while (size > 0) {
        const ssize_t n = ops().write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwFileError("write", nameForErrors, errno);
        }
        if (n == 0) throwFileError("write", nameForErrors, EIO);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

int syncFolder(const std::string& folder, const char** failedOperation) {
    const int dirFd = openRetrying(folder, O_RDONLY | O_DIRECTORY, 0);
    if (dirFd < 0) {
        *failedOperation = "open";
        return errno;
    }
    const int rc = ops().fsync(dirFd);
    const int err = errno;
    ops().close(dirFd);
    if (rc != 0 && err != EINVAL) {
        *failedOperation = "flush";
        return err;
    }
    return 0;
}

}  // namespace detail

using detail::openRetrying;
using detail::ops;
using detail::writeAll;

FileOps systemFileOps() {
    FileOps o;
    o.open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); };
    o.read = [](int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); };
    o.write = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); };
    o.fsync = [](int fd) { return ::fsync(fd); };
    o.close = [](int fd) { return ::close(fd); };
    o.rename = [](const char* from, const char* to) { return ::rename(from, to); };
    o.unlink = [](const char* path) { return ::unlink(path); };
    o.fstat = [](int fd, struct stat* info) { return ::fstat(fd, info); };
    o.lseek = [](int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); };
    o.pread = [](int fd, void* buffer, std::size_t size, off_t offset) {
        return ::pread(fd, buffer, size, offset);
    };
    o.pwrite = [](int fd, const void* data, std::size_t size, off_t offset) {
        return ::pwrite(fd, data, size, offset);
    };
    o.fdatasync = [](int fd) { return ::fdatasync(fd); };
    o.ftruncate = [](int fd, off_t length) { return ::ftruncate(fd, length); };
    return o;
}

void setFileOpsForTesting(const FileOps* o) { testOps = o; }

void throwFileError(std::string_view operation, const std::string& fileName, int err) {
    std::string message = "cannot ";
    message.append(operation);
    message.append(" \"");
    message.append(fileName);
    message.append("\": ");
    message.append(std::strerror(err));
    throw StoreError(message);
}

int keepModeOf(const std::string& fileName, int fd) {
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
    // Set outright: the creation mode passed through the umask.
    return ::fchmod(fd, info.st_mode & 07777) == 0 ? 0 : errno;
}

void appendToFile(const std::string& fileName, std::string_view text) {
    const int fd = openRetrying(fileName, O_WRONLY | O_APPEND | O_CREAT, kNewFileMode);
    if (fd < 0) throwFileError("open", fileName, errno);
    try {
        writeAll(fd, text.data(), text.size(), fileName);
    } catch (...) {
        ops().close(fd);
        throw;
    }
    if (ops().close(fd) != 0 && errno != EINTR) throwFileError("close", fileName, errno);
}

std::optional<std::uint64_t> fileSize(const std::string& fileName) {
    const int fd = openRetrying(fileName, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throwFileError("open", fileName, errno);
    }
    struct stat info {};
    const int rc = ops().fstat(fd, &info);
    const int err = errno;
    ops().close(fd);
    if (rc != 0) throwFileError("read the size of", fileName, err);
    return static_cast<std::uint64_t>(info.st_size > 0 ? info.st_size : 0);
}

void renameFile(const std::string& from, const std::string& to) {
    if (ops().rename(from.c_str(), to.c_str()) != 0)
        throwFileError("rename \"" + from + "\" to", to, errno);
}

FileIdentity identityOf(int fd, const std::string& fileName) {
    struct stat info {};
    if (ops().fstat(fd, &info) != 0) throwFileError("read the state of", fileName, errno);
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = static_cast<std::uint64_t>(info.st_size > 0 ? info.st_size : 0);
    identity.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return identity;
}

// ---- DataFileReader --------------------------------------------------------

DataFileReader::DataFileReader(const std::string& fileName) : fileName_(fileName) {
    fd_ = openRetrying(fileName_, O_RDONLY, 0);
    if (fd_ < 0 && errno == ENOENT) {
        // A missing data file starts the store empty and is created now.
        fd_ = openRetrying(fileName_, O_RDWR | O_CREAT, kNewFileMode);
        if (fd_ < 0) throwFileError("create", fileName_, errno);
    } else if (fd_ < 0) {
        throwFileError("open", fileName_, errno);
    }
}

DataFileReader::~DataFileReader() {
    if (fd_ >= 0) ops().close(fd_);
}

std::size_t DataFileReader::read(char* buffer, std::size_t size) {
    int err = 0;
    const std::size_t total = readSome(buffer, size, &err);
    if (err != 0) throwFileError("read", fileName_, err);
    return total;
}

std::size_t DataFileReader::readSome(char* buffer, std::size_t size, int* err) {
    *err = 0;
    std::size_t total = 0;
    while (total < size) {
        const ssize_t n = ops().read(fd_, buffer + total, size - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            break;
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

void DataFileReader::seekTo(std::uint64_t offset) {
    if (ops().lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throwFileError("seek in", fileName_, errno);
}

std::uint64_t DataFileReader::size() {
    struct stat info {};
    if (ops().fstat(fd_, &info) != 0) throwFileError("read the size of", fileName_, errno);
    return static_cast<std::uint64_t>(info.st_size > 0 ? info.st_size : 0);
}

DataFileReader::Contents DataFileReader::readAll() {
    struct stat info {};
    if (ops().fstat(fd_, &info) != 0) throwFileError("read", fileName_, errno);
    // One byte more than the size, to see the end of the file in one pass.
    std::size_t capacity = static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0) + 1;
    Contents contents;
    contents.bytes.reset(new char[capacity]);
    for (;;) {
        contents.size += read(contents.bytes.get() + contents.size, capacity - contents.size);
        if (contents.size < capacity) return contents;
        // The file grew while it was read.
        capacity *= 2;
        std::unique_ptr<char[]> bigger(new char[capacity]);
        std::memcpy(bigger.get(), contents.bytes.get(), contents.size);
        contents.bytes = std::move(bigger);
    }
}

// ---- copyFile --------------------------------------------------------------

void copyFile(const std::string& from, const std::string& to) {
    const int fd = openRetrying(from, O_RDONLY, 0);
    if (fd < 0) throwFileError("open", from, errno);
    try {
        AtomicFileWriter writer(to);
        std::unique_ptr<char[]> buffer(new char[1 << 16]);
        for (;;) {
            const ssize_t n = ops().read(fd, buffer.get(), 1 << 16);
            if (n < 0) {
                if (errno == EINTR) continue;
                throwFileError("read", from, errno);
            }
            if (n == 0) break;
            writer.write(buffer.get(), static_cast<std::size_t>(n));
        }
        writer.commit();
    } catch (...) {
        ops().close(fd);
        throw;
    }
    ops().close(fd);
}

// ---- AtomicFileWriter ------------------------------------------------------

AtomicFileWriter::AtomicFileWriter(std::string fileName)
    : fileName_(std::move(fileName)), tempName_(fileName_ + ".tmp") {
    fd_ = openRetrying(tempName_, O_WRONLY | O_CREAT | O_TRUNC, kNewFileMode);
    if (fd_ < 0) throwFileError("create the temporary file for", fileName_, errno);
    if (const int err = keepModeOf(fileName_, fd_); err != 0) {
        discard();
        throwFileError("keep the mode of", fileName_, err);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (!committed_) discard();
}

void AtomicFileWriter::discard() noexcept {
    if (fd_ >= 0) {
        ops().close(fd_);
        fd_ = -1;
    }
    ops().unlink(tempName_.c_str());
}

void AtomicFileWriter::write(const char* data, std::size_t size) {
    writeAll(fd_, data, size, fileName_);
}

FileIdentity AtomicFileWriter::commit() {
    if (ops().fsync(fd_) != 0) throwFileError("flush", fileName_, errno);
    // Renaming keeps the file, its size and its time of last write.
    const FileIdentity identity = identityOf(fd_, fileName_);
    const int fd = fd_;
    fd_ = -1;
    if (ops().close(fd) != 0 && errno != EINTR) throwFileError("close", fileName_, errno);
    if (ops().rename(tempName_.c_str(), fileName_.c_str()) != 0)
        throwFileError("replace", fileName_, errno);
    committed_ = true;

    // Make the rename itself durable, now or when the batch commits.
    const std::string folder = detail::folderOf(fileName_);
    if (detail::recordFolderForBatch(folder)) return identity;
    const char* operation = nullptr;
    const int err = detail::syncFolder(folder, &operation);
    if (err != 0) throwFileError(std::string(operation) + " the folder of", fileName_, err);
    return identity;
}

// ---- replaceWithEmptyFile --------------------------------------------------

FileIdentity replaceWithEmptyFile(const std::string& fileName) {
    // Never creates; does not follow a link and does not wait for the reader
    // of a pipe: anything but an existing regular file goes the general way.
    const int fd = openRetrying(fileName, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, 0);
    struct stat info {};
    if (fd >= 0 && ops().fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        FileIdentity identity;
        try {
            if (ops().fsync(fd) != 0) throwFileError("flush", fileName, errno);
            identity = identityOf(fd, fileName);
        } catch (...) {
            ops().close(fd);
            throw;
        }
        if (ops().close(fd) != 0 && errno != EINTR) throwFileError("close", fileName, errno);
        return identity;
    }
    if (fd >= 0) ops().close(fd);
    AtomicFileWriter writer(fileName);
    return writer.commit();
}

}  // namespace zv::fileio
