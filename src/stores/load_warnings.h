#pragma once
// What a store's load tells the administrator about a damaged data file that
// it got over, and where that goes when nobody else listens.

#include <cstddef>
#include <string>

#include "stores/file_journal.h"

namespace zv {

// Suffix of the copy kept of a data file that ends in an incomplete record.
inline constexpr const char* kDamagedSuffix = ".damaged";

// The file ends in an incomplete record: the complete ones are served, the
// file as found is kept as `copyName`.
std::string damagedFileText(const std::string& fileName, std::size_t recordsKept, const std::string& copyName);

// Records that could not be read were left out of the load.
std::string unreadableRecordsText(const std::string& fileName, int err, std::size_t recordsLeftOut,
                                  std::size_t recordsKept);

// What the load found in the journal of a data file, in one line.
std::string journalRecoveryText(const std::string& fileName, const std::string& journalName,
                                const fileio::TJournalRecovery& recovery);

// The warning as lines on standard error (its CRs separate the lines).
void writeLoadWarningToStderr(const std::string& text);

}  // namespace zv
