#include "app/backup_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <iostream>
#include <vector>

#include "host/admin_audit.h"
#include "host/backup_archive.h"
#include "host/backup_restore.h"
#include "host/headless_view.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "net/single_instance.h"
#include "stores/file_access.h"

namespace zv::app {

namespace {

int fail(const std::string& why) {
    standardErrorLine(LinePriority::Error, std::string(programName()) + ": " + why);
    return 1;
}

std::string currentFolder() {
    char path[PATH_MAX];
    return ::getcwd(path, sizeof path) ? std::string(path) : std::string(".");
}

// Held while the command works on the folder: no server may start on it
// meanwhile. Empty when the folder is free, else why the command refuses.
class FolderClaims {
public:
    FolderClaims(const SettingsFiles& files, const std::string& folder, const char* refusedWith)
        : guard_(folder), claim_(files.settingsPath) {
        const std::string whileRunning =
            std::string(", so ") + refusedWith +
            ": stop it first, or download a backup from its administration pages "
            "(Options, Download a backup)";
        switch (guard_.acquire(false)) {
            case SingleInstanceGuard::Result::Acquired: break;
            case SingleInstanceGuard::Result::OtherRunning:
                refusal_ =
                    "a Zelvora Admin/Server is running for the data folder \"" + folder + "\"" + whileRunning;
                return;
            case SingleInstanceGuard::Result::Failed: refusal_ = guard_.error(); return;
        }
        switch (claim_.claim()) {
            case SettingsFileClaim::Result::Claimed: break;
            case SettingsFileClaim::Result::InUse:
                refusal_ = "a Zelvora Admin/Server is running with the settings file \"" +
                           claim_.settingsPath() + "\"" + whileRunning;
                return;
            case SettingsFileClaim::Result::Failed: refusal_ = claim_.error(); return;
        }
    }
    const std::string& refusal() const { return refusal_; }

private:
    SingleInstanceGuard guard_;
    SettingsFileClaim claim_;
    std::string refusal_;
};

// One indented line per file.
void printFiles(const std::string& description) {
    std::cout << "  ";
    for (char c : description) {
        std::cout << c;
        if (c == '\n') std::cout << "  ";
    }
    std::cout << "\n";
}

}  // namespace

int backupFolder(const SettingsFiles& files, const std::string& archivePath) {
    ::umask(077);  // the backup holds every password: its owner's only
    const std::string folder = currentFolder();
    const FolderClaims claims(files, folder, "its backup is not taken here");
    if (!claims.refusal().empty()) return fail(claims.refusal());
    try {
        TBackupSnapshot snapshot = snapshotOfFolder(folder, files.settingsPath);
        for (const std::string& note : snapshot.notes) {
            standardErrorLine(LinePriority::Warning, std::string(programName()) + ": " + note);
        }
        const std::string described = describeFiles(snapshot.files);
        TBackupArchiveWriter archive(std::move(snapshot));
        fileio::AtomicFileWriter writer(archivePath);
        std::vector<char> buffer(64 * 1024);
        while (const std::size_t n = archive.read(buffer.data(), buffer.size()))
            writer.write(buffer.data(), n);
        writer.commit();
        std::cout << "The backup of \"" << folder << "\" and \"" << files.settingsPath << "\" is in \""
                  << archivePath << "\":\n";
        printFiles(described);
    } catch (const std::exception& e) {
        return fail(std::string("no backup was written: ") + e.what());
    }
    return 0;
}

int restoreFolder(const SettingsFiles& files, const std::string& archivePath) {
    ::umask(077);
    const std::string folder = currentFolder();
    const FolderClaims claims(files, folder, "nothing is restored");
    if (!claims.refusal().empty()) return fail(claims.refusal());
    TRestoreResult result;
    try {
        result = restoreBackup(archivePath, folder, files.settingsPath);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    std::cout << "Restored from \"" << archivePath << "\" into \"" << folder << "\" and \""
              << files.settingsPath << "\":\n";
    printFiles(describeFiles(result.restored));
    if (!result.keptAside.empty()) {
        std::cout << "The files replaced are kept beside them:\n";
        for (const std::string& path : result.keptAside) std::cout << "  " << path << "\n";
    }
    HeadlessView view(
        std::cerr, [] {}, standardErrorIsJournal());
    auditAdminChange(view, "the command line",
                     "restored the backup \"" + archivePath + "\" into \"" + folder + "\"");
    return 0;
}

}  // namespace zv::app
