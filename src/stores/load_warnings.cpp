#include "stores/load_warnings.h"

#include <cstdio>
#include <cstring>

namespace zv {

namespace {

std::string records(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

}  // namespace

std::string damagedFileText(const std::string& fileName, std::size_t recordsKept, const std::string& copyName) {
    return "The data file \"" + fileName + "\" ends in an incomplete record.\r" + "Its " +
           std::to_string(recordsKept) + " complete records are kept and served.\r" +
           "The file as it was found is kept as \"" + copyName + "\".";
}

std::string unreadableRecordsText(const std::string& fileName, int err, std::size_t recordsLeftOut,
                                  std::size_t recordsKept) {
    return records(recordsLeftOut) + " of the data file \"" + fileName + "\" could not be read (" +
           std::strerror(err) + ") and " + (recordsLeftOut == 1 ? "is" : "are") + " left out.\r" + "The " +
           records(recordsKept) + " read are served; the next save writes the file without what was left out.";
}

std::string journalRecoveryText(const std::string& fileName, const std::string& journalName,
                                const fileio::TJournalRecovery& recovery) {
    using Outcome = fileio::TJournalRecovery::Outcome;
    const std::string file = "\"" + fileName + "\"";
    const std::string journal = "The journal \"" + journalName + "\"";
    switch (recovery.outcome) {
        case Outcome::Replayed:
            return journal + " held a complete change that a stop had cut short; it was written to " + file +
                   " before the file was read.";
        case Outcome::Discarded:
            return journal + " was incomplete or damaged and was discarded; " + file +
                   " is served as it was before that change.";
        case Outcome::Foreign:
            return journal + " belongs to another version of " + file +
                   " and was discarded; the file is served as it is.";
        case Outcome::None: break;
    }
    return {};
}

void writeLoadWarningToStderr(const std::string& text) {
    std::string lines = text;
    for (char& c : lines)
        if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", lines.c_str());
}

}  // namespace zv
