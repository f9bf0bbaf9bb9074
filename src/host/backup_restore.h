#pragma once
// Puts a backup back into a stopped server's folder. Every file of the
// archive is checked first (each data file a whole number of its records,
// each file as the manifest lists it, every data file there but one that
// backups of an earlier version lack); only then
// is anything replaced. Each file replaced is kept beside it as
// "<name>.before-restore", so a restore can be undone by hand, and a journal
// of a data file that the backup does not hold is moved aside the same way
// (it belongs to the replaced file). New files are written whole (a
// temporary file renamed into place) with mode 0600; a file replaced keeps
// its mode and, when root restores, its owner (a new one takes the folder's),
// so that the service's own user can still read what root restored.

#include <string>
#include <vector>

#include "host/backup_snapshot.h"

namespace zv {

inline constexpr const char* kBeforeRestoreSuffix = ".before-restore";

struct TRestoreResult {
    std::vector<TBackupFile> restored;   // what was put in place (without the manifest)
    std::vector<std::string> keptAside;  // the paths of the files kept as "<name>.before-restore"
};

// Checks the archive's files against each other; TBackupError naming the
// first file that is wrong. Changes nothing.
void checkBackupFiles(const std::vector<TBackupFile>& files, const std::string& archivePath);

// Reads and checks the archive at `archivePath`, then puts its data files
// (and their journals) into `dataFolder` and its settings file at
// `settingsPath`. Throws TBackupError: before anything was replaced when the
// archive is not a sound backup, or naming what was already replaced when
// writing fails midway.
TRestoreResult restoreBackup(const std::string& archivePath, const std::string& dataFolder,
                             const std::string& settingsPath);

}  // namespace zv
