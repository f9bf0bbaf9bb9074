#include "host/backup_restore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

#include "host/backup_archive.h"
#include "host/host_stores.h"
#include "stores/file_access.h"
#include "stores/file_journal.h"

namespace zv {

namespace {

std::string inFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<struct stat> statOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return info;
    if (errno != ENOENT) throw TBackupError("cannot look at \"" + path + "\": " + std::strerror(errno));
    return std::nullopt;
}

[[noreturn]] void systemFailure(const std::string& what, const std::string& path) {
    throw TBackupError("cannot " + what + " \"" + path + "\": " + std::strerror(errno));
}

// Keeps the file at `path` as "<path>.before-restore" (a second name for the
// same bytes, so that the file itself stays in place until its new version
// is renamed over it). The older copy of an earlier restore goes.
std::string keepAside(const std::string& path) {
    const std::string aside = path + kBeforeRestoreSuffix;
    if (::unlink(aside.c_str()) != 0 && errno != ENOENT) systemFailure("remove", aside);
    if (::link(path.c_str(), aside.c_str()) != 0) systemFailure("keep a copy of", path);
    return aside;
}

// Writes `bytes` as the file at `path`, whole or not at all, with the mode
// and owner of the file it replaces; a new file gets 0600 and, under root,
// the owner of its folder.
void writeInPlace(const std::string& path, const std::string& bytes,
                  const std::optional<struct stat>& before) {
    fileio::AtomicFileWriter writer(path);
    writer.write(bytes.data(), bytes.size());
    writer.commit();
    const mode_t mode = before ? (before->st_mode & 07777) : 0600;
    if (::chmod(path.c_str(), mode) != 0) systemFailure("set the mode of", path);
    if (::geteuid() == 0) {
        const auto owner = before ? before : statOf(folderOf(path));
        if (owner && ::chown(path.c_str(), owner->st_uid, owner->st_gid) != 0)
            systemFailure("set the owner of", path);
    }
}

const TDataFile* dataFileKind(const std::string& name) {
    for (const TDataFile& kind : kDataFiles) {
        if (name == kind.name) return &kind;
    }
    return nullptr;
}

}  // namespace

void checkBackupFiles(const std::vector<TBackupFile>& files, const std::string& archivePath) {
    const auto fail = [&](const std::string& why) {
        return TBackupError("\"" + archivePath + "\" cannot be restored: " + why + "; nothing was changed");
    };
    std::map<std::string, const TBackupFile*> byName;
    for (const TBackupFile& file : files) byName[file.name] = &file;

    // Each data file holds whole records.
    for (const TBackupFile& file : files) {
        if (const TDataFile* kind = dataFileKind(file.name);
            kind && file.bytes.size() % kind->recordSize != 0) {
            throw fail(file.name + " is " + std::to_string(file.bytes.size()) +
                       " bytes long, which is no whole number of its " + std::to_string(kind->recordSize) +
                       "-byte records");
        }
    }
    const auto manifest = byName.find(kManifestName);
    if (manifest == byName.end()) throw fail(std::string("it holds no ") + kManifestName);
    std::vector<TManifestEntry> listed;
    try {
        listed = parseManifest(manifest->second->bytes);
    } catch (const TBackupError& e) {
        throw fail(e.what());
    }

    // Every file as the manifest lists it, and nothing else.
    std::map<std::string, const TManifestEntry*> listedByName;
    for (const TManifestEntry& entry : listed) {
        listedByName[entry.name] = &entry;
        const auto found = byName.find(entry.name);
        if (found == byName.end())
            throw fail(kManifestName + std::string(" lists ") + entry.name + ", which it lacks");
        if (found->second->bytes.size() != entry.bytes) {
            throw fail(entry.name + " is " + std::to_string(found->second->bytes.size()) +
                       " bytes long, not the " + std::to_string(entry.bytes) + " bytes " + kManifestName +
                       " lists");
        }
        const TDataFile* kind = dataFileKind(entry.name);
        const std::size_t recordSize = kind ? kind->recordSize : 0;
        if (entry.recordSize != recordSize || (kind && entry.records * recordSize != entry.bytes)) {
            throw fail(kManifestName + std::string(" lists ") + entry.name + " with " +
                       std::to_string(entry.records) + " records of " + std::to_string(entry.recordSize) +
                       " bytes, which does not fit its " + std::to_string(entry.bytes) + " bytes");
        }
    }
    for (const TBackupFile& file : files) {
        if (file.name != kManifestName && !listedByName.count(file.name)) {
            throw fail(file.name + " is not listed in " + kManifestName);
        }
    }
    for (const TDataFile& kind : kDataFiles) {
        if (!kind.optionalInBackup && !byName.count(kind.name)) throw fail(std::string("it lacks ") + kind.name);
    }
}

TRestoreResult restoreBackup(const std::string& archivePath, const std::string& dataFolder,
                             const std::string& settingsPath) {
    std::vector<TBackupFile> files;
    try {
        files = readBackupArchive(archivePath);
    } catch (const TBackupError& e) {
        throw TBackupError(std::string(e.what()) + "; nothing was changed");
    }
    checkBackupFiles(files, archivePath);

    TRestoreResult result;
    const auto targetOf = [&](const std::string& name) {
        return name == kArchivedSettingsName ? settingsPath : inFolder(dataFolder, name);
    };
    try {
        for (TBackupFile& file : files) {
            if (file.name == kManifestName) continue;
            if (const TDataFile* kind = dataFileKind(file.name)) file.recordSize = kind->recordSize;
            const std::string target = targetOf(file.name);
            const std::optional<struct stat> before = statOf(target);
            if (before) result.keptAside.push_back(keepAside(target));
            writeInPlace(target, file.bytes, before);
            result.restored.push_back({file.name, {}, file.recordSize});
            result.restored.back().bytes.swap(file.bytes);
        }
        // A journal left beside a data file belongs to the file it replaced;
        // a file the backup lacks stays as it is, with its journal.
        for (const TDataFile& kind : kDataFiles) {
            bool fileRestored = false;
            for (const TBackupFile& file : result.restored) fileRestored = fileRestored || file.name == kind.name;
            if (!fileRestored) continue;
            const std::string path = inFolder(dataFolder, kind.name) + std::string(fileio::kJournalSuffix);
            if (statOf(path)) {
                fileio::renameFile(path, path + kBeforeRestoreSuffix);
                result.keptAside.push_back(path + kBeforeRestoreSuffix);
            }
        }
    } catch (const std::exception& e) {
        std::string done;
        for (const TBackupFile& file : result.restored) done += (done.empty() ? "" : ", ") + file.name;
        throw TBackupError(std::string(e.what()) +
                           "; restored before the failure: " + (done.empty() ? "nothing" : done) +
                           " (each file replaced is kept as <name>" + kBeforeRestoreSuffix + ")");
    }
    return result;
}

}  // namespace zv
