#pragma once
// A backup: the data files and the settings file as they were at one
// moment, and its manifest (what the archive holds, with the record count of
// each data file, so that a restore can check every file before it replaces
// anything). Taken from a running server's stores between two client
// exchanges, or from the files of a stopped server's folder.

#include <cstddef>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace zv {

class THostStores;

// A backup that cannot be taken, read or restored; the message names the
// file and what is wrong with it.
class TBackupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The names inside the archive, whatever the settings file is called.
inline constexpr const char* kManifestName = "MANIFEST";
inline constexpr const char* kArchivedSettingsName = "zva.ini";

struct TBackupFile {
    std::string name;  // "wiwo.dat" ..., "zva.ini", "wiwo.dat.journal"
    std::string bytes;
    std::size_t recordSize = 0;  // of a data file; 0 for the others
    std::size_t records() const { return recordSize ? bytes.size() / recordSize : 0; }
};

struct TBackupSnapshot {
    std::time_t takenAt = 0;
    std::vector<TBackupFile> files;  // the data files first, in the order of kDataFiles
    // What the backup left out (the incomplete record at the end of a file),
    // one line each.
    std::vector<std::string> notes;
};

// A running server's data, in a step on the main thread (under the session
// mutex, so between two client exchanges): each store's records as its file
// holds them after a save, and the settings file as it is on disk (left out
// when there is none). Throws StoreError once the stores are closed.
TBackupSnapshot snapshotOfServer(const THostStores& stores, const std::string& settingsPath);

// A stopped server's files, read without changing anything: each data file
// in `dataFolder` (a missing one is empty, as the server would create it; the
// incomplete record at the end of one is left out and noted) with its
// journal when there is one, and the settings file (left out when there is
// none). Throws TBackupError when a file cannot be read.
TBackupSnapshot snapshotOfFolder(const std::string& dataFolder, const std::string& settingsPath);

// The manifest: the program and version that took the backup, when, and one
// line per file with its size (and a data file's record size and count).
std::string manifestText(const TBackupSnapshot& snapshot);

// What a manifest says of one file.
struct TManifestEntry {
    std::string name;
    std::size_t bytes = 0;
    std::size_t recordSize = 0;  // 0: not a data file
    std::size_t records = 0;
};
// Reads a manifest; TBackupError saying which line is wrong.
std::vector<TManifestEntry> parseManifest(const std::string& text);

// "wiwo.dat: 12 records", "zva.ini: 345 bytes": one line per file.
std::string describeFiles(const std::vector<TBackupFile>& files);

}  // namespace zv
