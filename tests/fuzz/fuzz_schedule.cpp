// Target "schedule": the schedule's store loading a data file of any bytes,
// then saving, loading again and adding a record.
//
// Input: one byte of options (which record the added one follows), then the
// bytes of the data file.
//
// Properties:
// - the load never fails: a file of whole records loads without a warning;
//   a file that ends in an incomplete record gives one warning and is kept
//   as found beside it (.damaged);
// - the store holds the file's complete records, in file order, each as the
//   layout of the file says (read by a table kept apart from the store's
//   own): saving writes exactly those, and loading the saved file and
//   saving again writes the same bytes;
// - an add keeps every record and leaves them all in account order.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "record_files.h"
#include "stores/load_warnings.h"
#include "stores/schedule_store.h"

namespace zv::fuzz {
namespace {

using test::Fields;
using test::RecordKind;

constexpr RecordKind kKind = RecordKind::Schedule;
constexpr const char* kFile = "schedule.dat";

std::vector<Fields> wholeRecordsOf(const std::string& bytes) {
    const std::size_t size = test::recordSize(kKind);
    return test::decodeRecords(kKind, bytes.substr(0, bytes.size() / size * size));
}

// Loads the file as the server does; checks what the load reported.
void loadChecked(TSCHEDList& store, const std::string& original) {
    int warnings = 0;
    store.setLoadWarning([&warnings](const std::string&) { ++warnings; });
    store.setFileName(kFile);
    store.loadFromFile();
    const bool whole = original.size() % test::recordSize(kKind) == 0;
    ZV_FUZZ_CHECK(warnings == (whole ? 0 : 1), "load warnings: " + std::to_string(warnings));
    if (!whole) {
        ZV_FUZZ_CHECK(readWholeFile(std::string(kFile) + kDamagedSuffix) == original,
                      "the damaged file was not kept as found");
    }
}

int fuzzSchedule(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::string original(input.rest());
    const std::vector<Fields> whole = wholeRecordsOf(original);

    enterWorkFolder("schedule");
    clearFolder();
    writeWholeFile(kFile, original);

    TSCHEDList store;
    loadChecked(store, original);
    ZV_FUZZ_CHECK(
        store.getCount() == static_cast<int>(whole.size()),
        "loaded " + std::to_string(store.getCount()) + " of " + std::to_string(whole.size()) + " records");

    // Saved, the file holds exactly the complete records; loaded and saved
    // again, the same bytes.
    store.saveToFile();
    const std::string saved = readWholeFile(kFile);
    ZV_FUZZ_CHECK(test::decodeRecords(kKind, saved) == whole,
                  "the saved records differ from the loaded ones");
    {
        TSCHEDList again;
        loadChecked(again, saved);
        again.saveToFile();
        ZV_FUZZ_CHECK(readWholeFile(kFile) == saved, "saving what was loaded from a saved file changed it");
    }

    // An add: every record kept, the new one among its account's.
    Fields added(test::fieldCount(kKind), "");
    added[test::schedule::Employee] = whole.empty() ? "Doe,Jane" : whole[options % whole.size()][0];
    added[test::schedule::Kind] = "Absence";
    added[test::schedule::From] = "2026-03-02T09:20:30Z";
    store.addNode(store.createNodeFromString(test::recordString(added)));
    store.saveToFile();
    std::vector<Fields> after = test::decodeRecords(kKind, readWholeFile(kFile));
    std::vector<Fields> expected = whole;
    expected.push_back(test::decodeRecords(kKind, test::encodeRecord(kKind, added)).at(0));
    ZV_FUZZ_CHECK(keyOrdered(after), "the records are not in account order after an add");
    std::sort(after.begin(), after.end());
    std::sort(expected.begin(), expected.end());
    ZV_FUZZ_CHECK(after == expected, "an add lost or changed records");
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(schedule, zv::fuzz::fuzzSchedule)
