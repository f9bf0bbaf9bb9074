#pragma once
// What the parts of the file layer share among themselves: the platform calls
// in use, and the few helpers every part needs. Not for use outside
// src/stores/file_*.cpp.

#include <string>

#include "stores/file_access.h"

namespace zv::fileio::detail {

// The platform calls in use: the system's, or those a test put in place.
const FileOps& ops();

// open() with O_CLOEXEC, retried on EINTR; -1 with errno set on failure.
int openRetrying(const std::string& path, int flags, mode_t mode);

// Writes all of `data` at the descriptor's position; StoreError naming
// `nameForErrors` on failure.
void writeAll(int fd, const char* data, std::size_t size, const std::string& nameForErrors);

// The folder a file lies in ("." for a bare name).
std::string folderOf(const std::string& fileName);

// Flushes a folder; returns 0 or the errno of the failure, with the failed
// operation ("open" or "flush") in *failedOperation. A file system that
// cannot flush folders (EINVAL) counts as flushed.
int syncFolder(const std::string& folder, const char** failedOperation);

// Inside a batch on this thread: records the folder for the batch's commit
// and returns true. Outside a batch: returns false.
bool recordFolderForBatch(const std::string& folder);

}  // namespace zv::fileio::detail
