// The saves of a step made together: TDirectorySyncBatch, its suspension and
// the saves and folder flushes it holds for the thread.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "stores/file_access.h"
#include "stores/file_access_internal.h"

namespace zv::fileio {

namespace {

// The open batches of this thread, the saves they hold and the folders they
// still have to flush.
thread_local int batchDepth = 0;
thread_local int groupDepth = 0;  // open TDirectorySyncGroups
thread_local std::vector<std::pair<const void*, std::function<void()>>> batchWrites;
thread_local std::vector<std::string> batchFolders;

// Flushes and forgets every folder recorded on this thread; throws for the
// first failure after trying them all.
void syncBatchFolders() {
    std::vector<std::string> folders;
    folders.swap(batchFolders);
    std::string firstFailed;
    const char* firstOperation = nullptr;
    int firstErr = 0;
    for (const std::string& folder : folders) {
        const char* operation = nullptr;
        const int err = detail::syncFolder(folder, &operation);
        if (err != 0 && firstErr == 0) {
            firstErr = err;
            firstOperation = operation;
            firstFailed = folder;
        }
    }
    if (firstErr != 0) throwFileError(std::string(firstOperation) + " the folder", firstFailed, firstErr);
}

// Makes the recorded saves, then flushes the folders; throws the first
// failure after trying everything.
void completeBatch() {
    std::exception_ptr first;
    while (!batchWrites.empty()) {
        // Taken out first: a save that fails is not made again by a later
        // commit unless its store records it anew.
        const std::function<void()> write = std::move(batchWrites.front().second);
        batchWrites.erase(batchWrites.begin());
        try {
            write();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    try {
        syncBatchFolders();
    } catch (...) {
        if (!first) first = std::current_exception();
    }
    if (first) std::rethrow_exception(first);
}

}  // namespace

bool detail::recordFolderForBatch(const std::string& folder) {
    if (batchDepth == 0) return false;
    if (std::find(batchFolders.begin(), batchFolders.end(), folder) == batchFolders.end())
        batchFolders.push_back(folder);
    return true;
}

bool deferWrite(const void* owner, std::function<void()> write) {
    if (batchDepth == 0) return false;
    const bool recorded = std::any_of(batchWrites.begin(), batchWrites.end(),
                                      [owner](const auto& w) { return w.first == owner; });
    if (!recorded) batchWrites.emplace_back(owner, std::move(write));
    return true;
}

void cancelDeferredWrite(const void* owner) {
    std::erase_if(batchWrites, [owner](const auto& w) { return w.first == owner; });
}

// ---- TDirectorySyncBatch ---------------------------------------------------

TDirectorySyncBatch::TDirectorySyncBatch() : uncaughtAtStart_(std::uncaught_exceptions()) { ++batchDepth; }

TDirectorySyncBatch::~TDirectorySyncBatch() noexcept(false) {
    if (--batchDepth > 0 || (batchFolders.empty() && batchWrites.empty())) return;
    if (std::uncaught_exceptions() == uncaughtAtStart_) {
        completeBatch();
        return;
    }
    // Ending because of an exception: that one goes on, this one is told.
    try {
        completeBatch();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TDirectorySyncBatch::commit() {
    if (groupDepth == 0) completeBatch();
}

void TDirectorySyncBatch::commitNow() { completeBatch(); }

bool TDirectorySyncBatch::active() { return batchDepth > 0; }

std::vector<std::string> pendingFolderSyncs() { return batchFolders; }

// ---- TDirectorySyncGroup ---------------------------------------------------

TDirectorySyncGroup::TDirectorySyncGroup() { ++groupDepth; }

// The group's batch (a member) ends after this, as an outer batch does.
TDirectorySyncGroup::~TDirectorySyncGroup() noexcept(false) { --groupDepth; }

// ---- TDirectorySyncSuspension ----------------------------------------------

TDirectorySyncSuspension::TDirectorySyncSuspension() : depth_(batchDepth), groupDepth_(groupDepth) {
    folders_.swap(batchFolders);
    writes_.swap(batchWrites);
    batchDepth = 0;
    groupDepth = 0;
}

TDirectorySyncSuspension::~TDirectorySyncSuspension() {
    batchDepth = depth_;
    groupDepth = groupDepth_;
    batchFolders.swap(folders_);
    batchWrites.swap(writes_);
}

}  // namespace zv::fileio
