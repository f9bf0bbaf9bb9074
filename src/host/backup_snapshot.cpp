#include "host/backup_snapshot.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "host/host_stores.h"
#include "host/platform_info.h"
#include "stores/date_time.h"
#include "stores/file_journal.h"

namespace zv {

namespace {

constexpr const char* kManifestTitle = "Zelvora Admin/Server backup";
constexpr const char* kFileTag = "File:";

std::string inFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The whole file, or nothing when there is none; TBackupError when it
// cannot be read.
std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return std::nullopt;
        throw TBackupError("cannot read \"" + path + "\": " + std::strerror(errno));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) throw TBackupError("cannot read \"" + path + "\": " + std::strerror(errno));
    return bytes.str();
}

std::optional<std::size_t> sizeNumber(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<std::size_t>(std::stoull(text));
}

// Plays the journal `journalPath` (its bytes `journal`) into `bytes`, the
// copy of the data file at `path`; what happened, for the notes, or nothing
// for an empty journal.
std::optional<std::string> playJournal(const std::string& journal, const std::string& journalPath,
                                       const std::string& path, std::string& bytes) {
    using Outcome = fileio::TJournalRecovery::Outcome;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno != ENOENT)
        throw TBackupError("cannot look at \"" + path + "\": " + std::strerror(errno));
    const std::string quoted = "\"" + journalPath + "\"";
    switch (fileio::playJournalInto(journal, static_cast<std::uint64_t>(info.st_ino), bytes)) {
        case Outcome::Replayed:
            return quoted +
                   " held a complete change that a stop had cut short; the backup holds the file "
                   "with it, as the next start would";
        case Outcome::Discarded:
            return quoted + " held an incomplete change, which the backup leaves out, as the server would";
        case Outcome::Foreign:
            return quoted + " belongs to another version of the file and is left out, as the server would";
        case Outcome::None: break;
    }
    return std::nullopt;
}

// A data file as a stopped server's folder holds it, with the change a stop
// cut short played in as the next start would; nothing for a missing file
// that only a server using it makes.
std::optional<TBackupFile> fileOfFolder(const std::string& dataFolder, const TDataFile& kind,
                                        std::vector<std::string>& notes) {
    const std::string path = inFolder(dataFolder, kind.name);
    std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes && kind.onlyWhenUsed) return std::nullopt;
    TBackupFile file{kind.name, std::move(bytes).value_or(std::string()), kind.recordSize};
    // The journal itself is never archived (it names the file by its inode,
    // which a restore does not keep).
    const std::string journal = path + std::string(fileio::kJournalSuffix);
    if (const auto journalBytes = readWholeFile(journal)) {
        if (const auto note = playJournal(*journalBytes, journal, path, file.bytes)) notes.push_back(*note);
    }
    if (const std::size_t tail = file.bytes.size() % kind.recordSize; tail != 0) {
        file.bytes.resize(file.bytes.size() - tail);
        notes.push_back("\"" + path + "\" ends in an incomplete record (" + std::to_string(tail) + " of " +
                        std::to_string(kind.recordSize) +
                        " bytes), which the backup leaves out, as the server would");
    }
    return file;
}

}  // namespace

TBackupSnapshot snapshotOfServer(const THostStores& stores, const std::string& settingsPath) {
    TBackupSnapshot snapshot;
    snapshot.takenAt = datetime::now();
    std::vector<std::optional<std::string>> images = stores.fileImages();
    for (std::size_t i = 0; i < kDataFiles.size(); ++i) {
        if (images[i]) {
            snapshot.files.push_back({kDataFiles[i].name, std::move(*images[i]), kDataFiles[i].recordSize});
        } else if (auto file = fileOfFolder({}, kDataFiles[i], snapshot.notes)) {
            // A store in no use: its file as a former run left it (nothing
            // writes it meanwhile).
            snapshot.files.push_back(std::move(*file));
        }
    }
    // The server writes its settings on this thread only: between two steps
    // the file is whole.
    if (auto settings = readWholeFile(settingsPath)) {
        snapshot.files.push_back({kArchivedSettingsName, std::move(*settings), 0});
    }
    return snapshot;
}

TBackupSnapshot snapshotOfFolder(const std::string& dataFolder, const std::string& settingsPath) {
    TBackupSnapshot snapshot;
    snapshot.takenAt = datetime::now();
    for (const TDataFile& kind : kDataFiles) {
        if (auto file = fileOfFolder(dataFolder, kind, snapshot.notes))
            snapshot.files.push_back(std::move(*file));
    }
    if (auto settings = readWholeFile(settingsPath)) {
        snapshot.files.push_back({kArchivedSettingsName, std::move(*settings), 0});
    }
    return snapshot;
}

std::string manifestText(const TBackupSnapshot& snapshot) {
    std::string text = std::string(kManifestTitle) + "\n";
    text += std::string("Program: ") + programName() + " " + programVersion() + "\n";
    text += "Taken: " + datetime::utcStampText(snapshot.takenAt) + "\n";
    for (const TBackupFile& file : snapshot.files) {
        text += std::string(kFileTag) + " " + file.name + " " + std::to_string(file.bytes.size()) + " bytes";
        if (file.recordSize != 0) {
            text += ", " + std::to_string(file.records()) + " records of " + std::to_string(file.recordSize) +
                    " bytes";
        }
        text += "\n";
    }
    return text;
}

std::vector<TManifestEntry> parseManifest(const std::string& text) {
    std::vector<TManifestEntry> entries;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    bool titled = false;
    while (std::getline(lines, line)) {
        ++number;
        if (number == 1) {
            titled = line == kManifestTitle;
            if (!titled) break;
            continue;
        }
        if (line.rfind(kFileTag, 0) != 0) continue;  // Program:, Taken: and lines of later versions
        // "File: NAME BYTES bytes" and, for a data file, ", N records of SIZE bytes".
        std::istringstream words(line.substr(std::strlen(kFileTag)));
        std::string name, bytes, unit, records, recordsWord, of, size, sizeUnit;
        words >> name >> bytes >> unit >> records >> recordsWord >> of >> size >> sizeUnit;
        TManifestEntry entry{name, 0, 0, 0};
        const auto byteCount = sizeNumber(bytes);
        bool good = !name.empty() && byteCount && (unit == "bytes" || unit == "bytes,");
        if (good) entry.bytes = *byteCount;
        if (good && unit == "bytes,") {
            const auto recordCount = sizeNumber(records);
            const auto recordSize = sizeNumber(size);
            good = recordCount && recordSize && *recordSize != 0 && recordsWord == "records" && of == "of" &&
                   sizeUnit == "bytes";
            if (good) {
                entry.records = *recordCount;
                entry.recordSize = *recordSize;
            }
        }
        if (!good) {
            throw TBackupError("line " + std::to_string(number) + " of the backup's " + kManifestName +
                               " cannot be read: \"" + line + "\"");
        }
        entries.push_back(entry);
    }
    if (!titled) {
        throw TBackupError(std::string("the backup's ") + kManifestName + " does not begin with \"" +
                           kManifestTitle + "\"");
    }
    return entries;
}

std::string describeFiles(const std::vector<TBackupFile>& files) {
    std::string text;
    for (const TBackupFile& file : files) {
        if (!text.empty()) text += "\n";
        text += file.name + ": ";
        text += file.recordSize ? std::to_string(file.records()) + " records"
                                : std::to_string(file.bytes.size()) + " bytes";
    }
    return text;
}

}  // namespace zv
