// Target "schedule": the schedule's store loading a data file of any bytes,
// then saving, loading again and adding a record; and what the keeper of
// the planned absences finds to do in the records loaded.
//
// Input: one byte of options (which record the added one follows, which
// applied absences the board still shows), then the bytes of the data file.
//
// Properties:
// - the load never fails: a file of whole records loads without a warning;
//   a file that ends in an incomplete record gives one warning and is kept
//   as found beside it (.damaged);
// - the store holds the file's complete records, in file order, each as the
//   layout of the file says (read by a table kept apart from the store's
//   own): saving writes exactly those, and loading the saved file and
//   saving again writes the same bytes;
// - an add keeps every record and leaves them all in account order;
// - at the targets' fixed moment the keeper applies or skips only absences
//   that wait and are due (started, not ended, times that read), applies at
//   most one per account, ends only applied absences without an end that
//   the board no longer shows, removes only absences ended more than a day
//   ago, names every record at most once, and waits for the earliest start
//   still to come.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "host/absence_rules.h"
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

// A UTC stamp read apart from the store's own reader.
std::optional<std::time_t> stampOf(const std::string& text) {
    int y, mo, d, h, mi, se;
    char t, z;
    int used = 0;
    if (text.size() != 20 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c%n", &y, &mo, &d, &t, &h, &mi, &se, &z, &used) !=
            8 ||
        used != 20 || t != 'T' || z != 'Z')
        return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_sec = se;
    if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || se > 59) return std::nullopt;
    const std::time_t at = ::timegm(&parts);
    if (parts.tm_mday != d) return std::nullopt;
    return at;
}

// An absence's end as the test reads it: nothing when it has none or it
// does not read.
std::optional<std::time_t> untilOf(const TSCHEDNode& r) {
    if (r.Until.empty()) return std::nullopt;
    return stampOf(r.Until);
}

// What the keeper may do to the loaded records at `now`.
void checkWork(const TSCHEDList& store, std::uint8_t options, std::time_t now) {
    const auto holds = [options](const TSCHEDNode& r) { return (r.Comments.size() + options) % 2 == 0; };
    const TScheduleWork work = scheduleWorkAt(store, now, holds);
    std::map<std::uint64_t, const TSCHEDNode*> bySerial;
    for (const auto& r : store.records()) bySerial[r->serial] = r.get();

    std::set<std::uint64_t> named;
    std::set<std::string> appliedAccounts;
    const auto each = [&](const std::vector<std::uint64_t>& serials, const char* what, auto&& allowed) {
        for (const std::uint64_t serial : serials) {
            ZV_FUZZ_CHECK(bySerial.count(serial) == 1, std::string(what) + " names no record");
            ZV_FUZZ_CHECK(named.insert(serial).second, std::string(what) + " names a record twice");
            const TSCHEDNode& r = *bySerial[serial];
            const auto from = stampOf(r.From);
            const std::optional<std::time_t> until = untilOf(r);
            ZV_FUZZ_CHECK(r.Kind == "Absence" && from && (r.Until.empty() || (until && *until >= *from)),
                          std::string(what) + " names a record that is no absence: " +
                              printable(r.Kind + " " + r.From + " " + r.Until));
            ZV_FUZZ_CHECK(allowed(r, *from, until),
                          std::string(what) + ": " + printable(r.State + " " + r.From + " " + r.Until));
        }
    };
    const auto due = [now](const TSCHEDNode& r, std::time_t from, const std::optional<std::time_t>& until) {
        return r.State.empty() && from <= now && (!until || *until > now);
    };
    each(work.apply, "apply", due);
    each(work.skip, "skip", due);
    for (const std::uint64_t serial : work.apply) {
        ZV_FUZZ_CHECK(appliedAccounts.insert(bySerial[serial]->Employee).second,
                      "two absences of one account applied");
    }
    each(work.endOpen, "endOpen", [&](const TSCHEDNode& r, std::time_t, const std::optional<std::time_t>&) {
        return r.State == "Applied" && r.Until.empty() && !holds(r);
    });
    each(work.remove, "remove",
         [now](const TSCHEDNode&, std::time_t, const std::optional<std::time_t>& until) {
             return until && *until <= now - kAbsenceKeptAfterEnd;
         });

    std::optional<std::time_t> earliest;
    for (const auto& r : store.records()) {
        const auto from = stampOf(r->From);
        const std::optional<std::time_t> until = untilOf(*r);
        if (r->Kind != "Absence" || !r->State.empty() || !from || *from <= now) continue;
        if (!r->Until.empty() && (!until || *until < *from)) continue;
        if (!earliest || *from < *earliest) earliest = from;
    }
    ZV_FUZZ_CHECK(work.nextStart == earliest, "the next start is not the earliest one to come");
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
    checkWork(store, options, fixedNow());

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
