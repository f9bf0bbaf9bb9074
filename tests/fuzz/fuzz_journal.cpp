// Target "journal": the journal a crash leaves beside a data file, read by the
// load of the department store (the journal does not care what the records
// are; the department's are small, so that many fit in one journal).
//
// Input: one byte for the number of records in the file (1 to 8), one byte
// for the kind of journal, four bytes for a position, then the rest:
// - kind % 4 == 0: the rest is the journal, as it is;
// - otherwise the rest gives the stretches of a change (a record's number,
//   a length, that many new bytes, again and again), from which a journal is
//   written for the data file as it is, then, for kind % 4 == 2, cut at the
//   position, or, for kind % 4 == 3, with the byte at the position changed.
//
// Properties:
// - the load never fails, and the journal is gone afterwards;
// - a journal written for the file and left whole is played into it: the file
//   holds the new bytes of every stretch and the old ones elsewhere, and one
//   warning says the change was completed;
// - a journal cut short or with a byte changed is discarded with one warning,
//   and the file stays as it was;
// - any other bytes leave the file as it was, or (only if they happen to make
//   a sound journal for this very file) play it, with at most one warning;
// - the store holds exactly the records of the file afterwards.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "record_files.h"
#include "stores/dept_store.h"
#include "stores/file_journal.h"
#include "stores/store_error.h"

namespace zv::fuzz {
namespace {

using test::RecordKind;

constexpr std::size_t kRecord = 256;

struct TStretch {
    std::size_t offset;
    std::string bytes;
};

// The stretches the input describes, each inside a file of `fileSize`.
std::vector<TStretch> stretchesOf(std::string_view text, std::size_t fileSize) {
    std::vector<TStretch> stretches;
    while (text.size() >= 2) {
        const std::size_t offset = static_cast<unsigned char>(text[0]) % (fileSize / kRecord) * kRecord;
        std::size_t length = static_cast<unsigned char>(text[1]) * 3 % (fileSize - offset + 1);
        text.remove_prefix(2);
        length = std::min(length, text.size());
        stretches.push_back({offset, std::string(text.substr(0, length))});
        text.remove_prefix(length);
    }
    return stretches;
}

int fuzzJournal(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::size_t records = 1 + input.byte() % 8;
    const int kind = input.byte() % 4;
    const std::uint32_t position = input.number32();
    const std::string_view rest = input.rest();

    enterWorkFolder("journal");
    clearFolder();
    const std::string file = test::dataFileName(RecordKind::Department);
    const std::string journalName = file + std::string(fileio::kJournalSuffix);
    std::vector<test::Fields> names;
    for (std::size_t i = 0; i < records; ++i) names.push_back({"Department " + std::to_string(i)});
    test::writeRecordFile(file, RecordKind::Department, names);
    const std::string before = readWholeFile(file);

    std::string journal(rest);
    std::string changed = before;
    if (kind != 0) {
        const std::vector<TStretch> stretches = stretchesOf(rest, before.size());
        std::vector<fileio::TInPlaceChange> changes;
        for (const TStretch& s : stretches) {
            changes.push_back({s.offset, s.bytes});
            changed.replace(s.offset, s.bytes.size(), s.bytes);
        }
        {
            const auto opened = fileio::TInPlaceFile::openExisting(file);
            ZV_FUZZ_CHECK(opened.has_value(), "the data file cannot be opened");
            journal = fileio::journalImage(opened->identity(), changes);
        }
        if (kind == 2) journal.resize(position % journal.size());
        if (kind == 3) journal[position % journal.size()] ^= static_cast<char>(1 + position % 255);
    }
    writeWholeFile(journalName, journal);

    TDEPTList store;
    store.setFileName(file);
    std::vector<std::string> warnings;
    store.setLoadWarning([&](const std::string& text) { warnings.push_back(text); });
    try {
        store.loadFromFile();
    } catch (const StoreError& e) {
        ZV_FUZZ_CHECK(false, std::string("the load failed: ") + e.what());
    }
    ZV_FUZZ_CHECK(!fileThere(journalName), "the journal is still there");
    ZV_FUZZ_CHECK(warnings.size() <= 1, std::to_string(warnings.size()) + " warnings");
    const std::string after = readWholeFile(file);
    const bool completed =
        warnings.size() == 1 && warnings[0].find("held a complete change") != std::string::npos;
    if (kind == 1) {
        ZV_FUZZ_CHECK(completed, "a whole journal was not played: " + printable(journal, 80));
        ZV_FUZZ_CHECK(after == changed, "the file does not hold the journal's change");
    } else if (kind != 0 || !completed) {
        ZV_FUZZ_CHECK(after == before, "the file changed: " + printable(after, 80));
        ZV_FUZZ_CHECK(warnings.size() == (journal.empty() ? 0u : 1u), "warnings about a bad journal");
        if (!journal.empty() && kind != 0)
            ZV_FUZZ_CHECK(warnings[0].find("incomplete or damaged") != std::string::npos, warnings[0]);
    }
    const std::vector<test::Fields> held = test::decodeRecords(RecordKind::Department, after);
    ZV_FUZZ_CHECK(static_cast<std::size_t>(store.getCount()) == held.size(), "records loaded");
    for (std::size_t i = 0; i < held.size(); ++i)
        ZV_FUZZ_CHECK(store.getNode(static_cast<int>(i)).Name == held[i][0], "record " + std::to_string(i));
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(journal, zv::fuzz::fuzzJournal)
