// Target "store": each of the six stores loading a data file of any bytes,
// then saving, loading again and doing its own work on what it loaded.
//
// Input: one byte that picks the store (byte % 6: board, memos, messages,
// departments, phonebook, status log), one byte of options (the expiration
// days and the recipient of a memo or message bundle, the size of the status
// log), then the bytes of the data file.
//
// Properties:
// - the load either succeeds or reports a StoreError, and never anything
//   else; a file of whole records always loads without a warning, and a file
//   that ends in an incomplete record, when its store gets over it, gives one
//   warning and is kept as found beside it (the board's as .unconverted);
// - whatever the outcome, the store holds the file's complete records, in
//   file order, each as the layout of the file says (read by a table kept
//   apart from the stores' own): saving writes exactly those, and loading
//   the saved file and saving again writes the same bytes;
// - the sorted stores bundle exactly their records and, after an add, hold
//   them and the new one in key order;
// - a memo or message bundle holds exactly the recipient's records; the
//   records left afterwards are the loaded ones in their order less expired
//   ones: never one whose date does not read (each such date gives one line
//   in the debug log) or that is clearly younger than the expiration period,
//   always one clearly older (two hours either side are left open, for
//   summer time);
// - the status log drops exactly its oldest record when an add finds it full.

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "record_files.h"
#include "stores/date_time.h"
#include "stores/debug_log.h"
#if __has_include("stores/load_warnings.h")
#include "stores/load_warnings.h"
#endif
#include "stores/record_codec.h"
#include "stores/store_error.h"
#include "stores/stores.h"

namespace zv::fuzz {
namespace {

using test::Fields;
using test::RecordKind;

struct TContext {
    RecordKind kind;
    std::string file;         // the data file's name
    std::string original;     // its bytes as the input gives them
    std::vector<Fields> whole;  // its complete records
    std::uint8_t options;
    std::time_t now;
};

std::vector<Fields> recordsIn(RecordKind kind, const std::string& bytes) {
    const std::size_t size = test::recordSize(kind);
    return test::decodeRecords(kind, bytes.substr(0, bytes.size() / size * size));
}

std::string bundleOf(const std::vector<Fields>& records) {
    std::string text = std::to_string(records.size()) + "|";
    for (const Fields& r : records) text += test::recordString(r) + std::string(kRecordSeparator);
    return text;
}

// A record as its file keeps it: each value cut to its slot.
Fields asStored(RecordKind kind, const Fields& record) {
    return test::decodeRecords(kind, test::encodeRecord(kind, record)).at(0);
}

bool sameRecords(std::vector<Fields> a, std::vector<Fields> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

// Sends the warnings of a store's loads to `warnings`: the board's
// conversion warning, and the warnings of the other stores where they have
// them (a file cut short that they get over).
template <class Store>
void countLoadWarnings(Store& store, int& warnings) {
    auto count = [&warnings](const std::string&) { ++warnings; };
    if constexpr (requires(Store& s) { s.setLoadWarning(count); }) store.setLoadWarning(count);
    else if constexpr (requires(Store& s) { s.setConversionWarning(count); }) store.setConversionWarning(count);
}

// Loads and checks the outcome of the load itself.
template <class Store>
void loadChecked(Store& store, const TContext& c, int& warnings) {
    const bool wholeRecords = c.original.size() % test::recordSize(c.kind) == 0;
    bool refused = false;
    try {
        store.loadFromFile();
    } catch (const StoreError& e) {
        refused = true;
        ZV_FUZZ_CHECK(!wholeRecords, std::string("a file of whole records did not load: ") + e.what());
        ZV_FUZZ_CHECK(c.kind != RecordKind::Board, std::string("the board refused its file: ") + e.what());
    }
    if (c.kind == RecordKind::Board) {
        ZV_FUZZ_CHECK(warnings == (wholeRecords ? 0 : 1), "conversion warnings: " + std::to_string(warnings));
        if (!wholeRecords)
            ZV_FUZZ_CHECK(readWholeFile(c.file + kUnconvertedSuffix) == c.original,
                          "the board file was not kept as found");
        return;
    }
    if (refused) return;
    // A store that gets over a file cut short says so once and keeps it.
    ZV_FUZZ_CHECK(warnings == (wholeRecords ? 0 : 1), "load warnings: " + std::to_string(warnings));
#if __has_include("stores/load_warnings.h")
    if (!wholeRecords)
        ZV_FUZZ_CHECK(readWholeFile(c.file + kDamagedSuffix) == c.original, "the damaged file was not kept as found");
#endif
}

// Saves what was loaded; the file then holds exactly the complete records,
// and a second load and save writes the same bytes.
template <class Store>
void checkSaveAndReload(Store& store, const TContext& c) {
    store.saveToFile();
    const std::string saved = readWholeFile(c.file);
    ZV_FUZZ_CHECK(saved.size() == c.whole.size() * test::recordSize(c.kind),
                  "saved " + std::to_string(saved.size()) + " bytes for " + std::to_string(c.whole.size()) +
                      " records");
    ZV_FUZZ_CHECK(test::decodeRecords(c.kind, saved) == c.whole, "the saved records differ from the loaded ones");

    Store again;
    again.setFileName(c.file);
    int warnings = 0;
    countLoadWarnings(again, warnings);
    again.loadFromFile();
    ZV_FUZZ_CHECK(warnings == 0, "a saved file gave a load warning");
    again.saveToFile();
    ZV_FUZZ_CHECK(readWholeFile(c.file) == saved, "saving what was loaded from a saved file changed it");
}

// Departments, phonebook, board: the bundle, then an add.
template <class Store, class Node>
void checkSortedStore(Store& store, const TContext& c) {
    ZV_FUZZ_CHECK(store.makeBundleFromList() == bundleOf(c.whole), "the bundle differs from the records");
    Fields added(test::fieldCount(c.kind), "");
    added[0] = c.whole.empty() ? "Middle" : c.whole[c.options % c.whole.size()][0] + "+";
    auto node = std::make_unique<Node>();
    node->setFromString(test::recordString(added));
    store.addNode(std::move(node));
    store.saveToFile();
    const std::vector<Fields> after = test::decodeRecords(c.kind, readWholeFile(c.file));
    std::vector<Fields> expected = c.whole;
    expected.push_back(asStored(c.kind, added));
    ZV_FUZZ_CHECK(keyOrdered(after), "the records are not in key order after an add");
    ZV_FUZZ_CHECK(sameRecords(after, expected), "an add lost or changed records");
}

// Memos and messages: the bundle of one recipient and the expiry.
template <class Store>
void checkRecipientStore(Store& store, const TContext& c, const std::string& debugLog) {
    static constexpr int kDays[4] = {0, 1, 2, 30};
    const int days = kDays[c.options & 3];
    const std::string key = c.whole.empty() ? "Smith,John" : c.whole[(c.options >> 2) % c.whole.size()][0];

    std::vector<Fields> mine;
    for (const Fields& r : c.whole)
        if (r[0] == key) mine.push_back(r);
    const std::string bundle = store.makeBundleFromList(key, days);
    ZV_FUZZ_CHECK(bundle == bundleOf(mine), "the bundle of \"" + printable(key) + "\" differs from its records");

    enum class TFate { kKept, kRemoved, kEither };
    std::vector<TFate> fate;
    std::size_t unreadable = 0;
    const long long period = static_cast<long long>(days) * 86400;
    for (const Fields& r : c.whole) {
        if (days <= 0) {
            fate.push_back(TFate::kKept);
            continue;
        }
        const auto stamp = datetime::parseDateTime(r[2] + " " + r[3]);
        if (!stamp) {
            ++unreadable;
            fate.push_back(TFate::kKept);
            continue;
        }
        const long long age = static_cast<long long>(c.now) - static_cast<long long>(*stamp);
        fate.push_back(age >= period + 7200 ? TFate::kRemoved : age < period - 7200 ? TFate::kKept : TFate::kEither);
    }
    const std::vector<Fields> left = test::decodeRecords(c.kind, readWholeFile(c.file));
    std::size_t j = 0;
    for (std::size_t i = 0; i < c.whole.size(); ++i) {
        const bool kept = j < left.size() && left[j] == c.whole[i];
        if (kept) ++j;
        ZV_FUZZ_CHECK(!(kept && fate[i] == TFate::kRemoved),
                      "an expired record was kept: " + printable(c.whole[i][2] + " " + c.whole[i][3]));
        ZV_FUZZ_CHECK(!(!kept && fate[i] == TFate::kKept),
                      "a record was removed that had to stay: " + printable(c.whole[i][2] + " " + c.whole[i][3]));
    }
    ZV_FUZZ_CHECK(j == left.size(), "records left that were not loaded, or out of their order");

    const std::string line = std::string(kBundleConvertError) + datetime::shortDateText(c.now) + " " +
                             datetime::longTimeText(c.now) + "\r\n";
    std::string expectedLog;
    for (std::size_t i = 0; i < unreadable; ++i) expectedLog += line;
    ZV_FUZZ_CHECK(readWholeFile(debugLog) == expectedLog,
                  std::to_string(unreadable) + " dates did not read, the debug log says otherwise");
}

void checkStatusLog(TLOGList& log, const TContext& c) {
    const int maxSize = 1 + c.options % 5;
    log.setMaxSize(maxSize);
    const Fields added = {"New,Entry", "Sales", "3/2/26", "10:20:30 AM", "In", "", "", ""};
    log.addNode(log.createNodeFromString(test::recordString(added)));
    std::vector<Fields> expected = c.whole;
    if (static_cast<int>(expected.size()) >= maxSize) expected.erase(expected.begin());
    expected.push_back(added);
    ZV_FUZZ_CHECK(test::decodeRecords(c.kind, readWholeFile(c.file)) == expected,
                  "an add to a log of " + std::to_string(c.whole.size()) + " records with room for " +
                      std::to_string(maxSize) + " kept the wrong ones");
}

template <class Store>
void runStore(TContext& c) {
    int warnings = 0;
    Store store;
    store.setFileName(c.file);
    countLoadWarnings(store, warnings);
    loadChecked(store, c, warnings);
    checkSaveAndReload(store, c);

    if constexpr (std::is_same_v<Store, TWIWOList>) checkSortedStore<Store, TWIWONode>(store, c);
    if constexpr (std::is_same_v<Store, TDEPTList>) {
        ZV_FUZZ_CHECK(store.makeBundleFromList() == bundleOf(c.whole), "the bundle differs from the records");
        auto node = std::make_unique<TDEPTNode>();
        node->setFromString(c.whole.empty() ? "Middle" : c.whole[0][0] + "+");
        const Fields added = {node->Name};
        store.addNode(std::move(node));
        store.saveToFile();
        std::vector<Fields> expected = c.whole;
        expected.push_back(asStored(c.kind, added));
        const std::vector<Fields> after = test::decodeRecords(c.kind, readWholeFile(c.file));
        ZV_FUZZ_CHECK(keyOrdered(after), "the departments are not in name order after an add");
        ZV_FUZZ_CHECK(sameRecords(after, expected), "an add lost or changed departments");
    }
    if constexpr (std::is_same_v<Store, TPHONEList>) checkSortedStore<Store, TPHONENode>(store, c);
    if constexpr (std::is_same_v<Store, TPOSTIList>) checkRecipientStore(store, c, "debug_posti.log");
    if constexpr (std::is_same_v<Store, TWYWOList>) checkRecipientStore(store, c, "debug_wywo.log");
    if constexpr (std::is_same_v<Store, TLOGList>) checkStatusLog(store, c);
}

int fuzzStore(const std::uint8_t* data, std::size_t size) {
    static constexpr RecordKind kKinds[6] = {RecordKind::Board,      RecordKind::Memo,  RecordKind::Message,
                                             RecordKind::Department, RecordKind::Phone, RecordKind::Log};
    TFuzzInput input(data, size);
    TContext c;
    c.kind = kKinds[input.byte() % 6];
    c.options = input.byte();
    c.original = std::string(input.rest());
    c.file = test::dataFileName(c.kind);
    c.whole = recordsIn(c.kind, c.original);

    enterWorkFolder("store");
    clearFolder();
    datetime::setFormats("", "");
    c.now = fixedNow();
    const std::time_t now = c.now;
    datetime::setClockForTesting([now] { return now; });
    writeWholeFile(c.file, c.original);

    switch (c.kind) {
        case RecordKind::Board: runStore<TWIWOList>(c); break;
        case RecordKind::Memo: runStore<TPOSTIList>(c); break;
        case RecordKind::Message: runStore<TWYWOList>(c); break;
        case RecordKind::Department: runStore<TDEPTList>(c); break;
        case RecordKind::Phone: runStore<TPHONEList>(c); break;
        case RecordKind::Log: runStore<TLOGList>(c); break;
        case RecordKind::Schedule: break;  // the schedule has a target of its own
    }
    datetime::setClockForTesting(nullptr);
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(store, zv::fuzz::fuzzStore)
