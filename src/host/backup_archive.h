#pragma once
// A backup as a gzip-compressed tar archive (libarchive): the manifest first,
// then the files of the snapshot, each as a plain file of mode 0600 with the
// time the snapshot was taken. Written piece by piece as the reader asks for
// bytes, so that a download starts at once and holds no second copy of the
// data; read whole, with every entry checked, for a restore.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/backup_snapshot.h"

struct archive;

namespace zv {

// Owns its snapshot and its libarchive writer. Used by one thread at a time.
class TBackupArchiveWriter {
public:
    explicit TBackupArchiveWriter(TBackupSnapshot snapshot);
    TBackupArchiveWriter(const TBackupArchiveWriter&) = delete;
    TBackupArchiveWriter& operator=(const TBackupArchiveWriter&) = delete;

    // Puts up to `max` further bytes of the archive into `buffer`; how many,
    // 0 once the archive is complete. Throws TBackupError when libarchive
    // fails.
    std::size_t read(char* buffer, std::size_t max);

    // "zelvora-backup-20241207-120000.tar.gz" (UTC), for a download.
    std::string suggestedFileName() const;

private:
    // Compresses a further piece of the archive into out_.
    void produce();
    // Entry 0 is the manifest, then come the snapshot's files.
    TBackupFile& entry(std::size_t index) { return index == 0 ? manifest_ : snapshot_.files[index - 1]; }
    std::size_t entryCount() const { return snapshot_.files.size() + 1; }
    void check(int status, const char* what);

    struct WriterFree {
        void operator()(struct archive* a) const;
    };

    TBackupSnapshot snapshot_;
    TBackupFile manifest_;
    std::unique_ptr<struct archive, WriterFree> archive_;
    std::size_t entry_ = 0;       // the entry being written
    std::size_t offset_ = 0;      // of its bytes, written so far
    bool headerWritten_ = false;  // of the entry being written
    bool finished_ = false;
    std::string out_;          // compressed bytes not yet read
    std::size_t outRead_ = 0;  // of out_, handed out
};

// Every entry of the archive at `path`: only plain files whose names a
// backup holds (the manifest, the data files, their journals, the settings
// file), each once. Throws TBackupError naming the archive and what is wrong
// (not a gzip-compressed tar, an entry of another kind or name, a file too
// large to be a backup's).
std::vector<TBackupFile> readBackupArchive(const std::string& path);

}  // namespace zv
