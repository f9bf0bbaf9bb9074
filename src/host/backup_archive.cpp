#include "host/backup_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "host/host_stores.h"

namespace zv {

namespace {

// The piece of a file compressed at a time.
constexpr std::size_t kPiece = 64 * 1024;
// No backup's file comes near this (the largest, a board of 100,000
// accounts, is 191 MB); anything larger is not one of ours.
constexpr std::int64_t kLargestEntry = std::int64_t{1} << 30;

la_ssize_t collectOutput(struct archive*, void* out, const void* bytes, std::size_t size) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
    return static_cast<la_ssize_t>(size);
}

// The names a backup's entries may have.
std::set<std::string> archivedNames() {
    std::set<std::string> names{kManifestName, kArchivedSettingsName};
    for (const TDataFile& kind : kDataFiles) names.insert(kind.name);
    return names;
}

// Frees a libarchive reader or writer with the matching call.
struct ReaderFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

}  // namespace

void TBackupArchiveWriter::WriterFree::operator()(struct archive* a) const { archive_write_free(a); }

TBackupArchiveWriter::TBackupArchiveWriter(TBackupSnapshot snapshot)
    : snapshot_(std::move(snapshot)),
      manifest_{kManifestName, manifestText(snapshot_), 0},
      archive_(archive_write_new()) {
    if (!archive_) throw TBackupError("cannot make a backup archive: out of memory");
    struct archive* a = archive_.get();
    check(archive_write_add_filter_gzip(a), "choose gzip compression");
    check(archive_write_set_format_pax_restricted(a), "choose the tar format");
    // No padding after the last block: the gzip stream ends where the tar does.
    check(archive_write_set_bytes_in_last_block(a, 1), "set the last block");
    check(archive_write_open(a, &out_, nullptr, &collectOutput, nullptr), "open the archive");
}

void TBackupArchiveWriter::check(int status, const char* what) {
    if (status >= ARCHIVE_WARN) return;
    const char* why = archive_error_string(archive_.get());
    throw TBackupError(std::string("cannot ") + what +
                       " of the backup: " + (why ? why : "libarchive failed"));
}

std::size_t TBackupArchiveWriter::read(char* buffer, std::size_t max) {
    while (outRead_ == out_.size() && !finished_) {
        out_.clear();
        outRead_ = 0;
        produce();
    }
    const std::size_t n = std::min(max, out_.size() - outRead_);
    std::memcpy(buffer, out_.data() + outRead_, n);
    outRead_ += n;
    return n;
}

void TBackupArchiveWriter::produce() {
    if (entry_ == entryCount()) {
        check(archive_write_close(archive_.get()), "finish the archive");
        finished_ = true;
        return;
    }
    TBackupFile& file = entry(entry_);
    if (!headerWritten_) {
        struct archive_entry* header = archive_entry_new();
        if (header == nullptr) throw TBackupError("cannot make a backup archive: out of memory");
        archive_entry_set_pathname(header, file.name.c_str());
        archive_entry_set_size(header, static_cast<la_int64_t>(file.bytes.size()));
        archive_entry_set_filetype(header, AE_IFREG);
        archive_entry_set_perm(header, 0600);
        archive_entry_set_mtime(header, snapshot_.takenAt, 0);
        const int status = archive_write_header(archive_.get(), header);
        archive_entry_free(header);
        check(status, ("write the header of " + file.name).c_str());
        headerWritten_ = true;
        offset_ = 0;
    }
    const std::size_t n = std::min(kPiece, file.bytes.size() - offset_);
    if (n > 0) {
        const la_ssize_t written = archive_write_data(archive_.get(), file.bytes.data() + offset_, n);
        if (written < 0) check(static_cast<int>(written), ("write " + file.name).c_str());
        offset_ += static_cast<std::size_t>(written);
    }
    if (offset_ == file.bytes.size()) {
        std::string().swap(file.bytes);  // sent: its memory goes back at once
        headerWritten_ = false;
        ++entry_;
    }
}

std::string TBackupArchiveWriter::suggestedFileName() const {
    std::tm parts{};
    ::gmtime_r(&snapshot_.takenAt, &parts);
    char text[64];
    std::strftime(text, sizeof text, "zelvora-backup-%Y%m%d-%H%M%S.tar.gz", &parts);
    return text;
}

std::vector<TBackupFile> readBackupArchive(const std::string& path) {
    const std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    struct archive* a = reader.get();
    if (a == nullptr) throw TBackupError("cannot read \"" + path + "\": out of memory");
    const auto fail = [&](const std::string& why) -> TBackupError {
        return TBackupError("\"" + path + "\" is not a backup of Zelvora Admin/Server: " + why);
    };
    const auto libraryError = [&]() -> std::string {
        const char* why = archive_error_string(a);
        return why ? why : "libarchive failed";
    };
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, path.c_str(), 64 * 1024) != ARCHIVE_OK) {
        // The file itself cannot be read, or it is no archive libarchive knows.
        const int err = archive_errno(a);
        if (err == ENOENT || err == EACCES || err == EISDIR || err == EIO) {
            throw TBackupError("cannot read \"" + path + "\": " + libraryError());
        }
        throw fail(libraryError());
    }
    const std::set<std::string> allowed = archivedNames();
    std::vector<TBackupFile> files;
    std::set<std::string> seen;
    for (;;) {
        struct archive_entry* header = nullptr;
        const int status = archive_read_next_header(a, &header);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) throw fail(libraryError());
        if (archive_filter_code(a, 0) != ARCHIVE_FILTER_GZIP) throw fail("it is not compressed with gzip");
        const char* entryName = archive_entry_pathname(header);
        const std::string name = entryName ? entryName : "";
        if (!allowed.count(name)) throw fail("it holds \"" + name + "\", which no backup holds");
        if (archive_entry_filetype(header) != AE_IFREG) throw fail("\"" + name + "\" is not a plain file");
        if (!seen.insert(name).second) throw fail("it holds \"" + name + "\" twice");
        const la_int64_t size = archive_entry_size(header);
        if (size < 0 || size > kLargestEntry) {
            throw fail("\"" + name + "\" is " + std::to_string(size) +
                       " bytes long, more than a backup holds");
        }
        TBackupFile file{name, std::string(static_cast<std::size_t>(size), '\0'), 0};
        std::size_t got = 0;
        while (got < file.bytes.size()) {
            const la_ssize_t n = archive_read_data(a, file.bytes.data() + got, file.bytes.size() - got);
            if (n < 0) throw fail("\"" + name + "\" cannot be read: " + libraryError());
            if (n == 0) throw fail("\"" + name + "\" ends early");
            got += static_cast<std::size_t>(n);
        }
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace zv
