// Target "phonebook": the phonebook section of a login, the received bundle
// of new callers ("count|record<~REC~>record<~REC~>..."), read by the three
// parts that look at its count: the request collector (is the request
// complete?), the section cutter (may the section be merged?) and the
// phonebook store (what is added?).
//
// Input: the section, as it follows "[*PHONE*]" in a login.
//
// Properties:
// - the three read the count alike: the store refuses exactly the counts the
//   section reader does not take for a number;
// - a section is complete once its count is not a number, or once it holds
//   as many records as its count; a count larger than the records present
//   leaves it incomplete (so the login never merges it); the collector, fed
//   the whole login in pieces, agrees with the section reader;
// - a refused count adds nothing, leaves the file as it was and writes one
//   line to "debug_phone.log";
// - otherwise the store adds the records present up to the count, keeps
//   every entry it had, is in caller order, and its file holds exactly that.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/incoming_sections.h"
#include "protocol/request_collector.h"
#include "protocol/wire_texts.h"
#include "record_files.h"
#include "stores/date_time.h"
#include "stores/debug_log.h"
#include "stores/phone_store.h"
#if __has_include("stores/record_count.h")
#include "stores/record_count.h"
#endif

namespace zv::fuzz {
namespace {

using test::Fields;
using test::RecordKind;

// The count as the section reader reads it (the one count reader, once
// there is one).
std::optional<long long> sectionCount(std::string_view text) {
#if __has_include("stores/record_count.h")
    return readRecordCount(text);
#else
    return parseBundleCount(text);
#endif
}

const std::vector<Fields> kInitial = {
    {"Ann Caller", "Acme", "555-0100"}, {"Bob Dial", "Beta", "555-0101"}, {"Zed", "Zeta", ""}};

std::vector<std::string_view> recordsAfterBar(std::string_view records) {
    std::vector<std::string_view> found;
    for (std::size_t end = records.find(wire::kRecordSeparator); end != std::string_view::npos;
         end = records.find(wire::kRecordSeparator)) {
        found.push_back(records.substr(0, end));
        records.remove_prefix(end + wire::kRecordSeparator.size());
    }
    return found;
}

void checkCompleteness(std::string_view section, const std::optional<long long>& count, std::size_t present) {
    const bool complete = isPhonebookSectionComplete(section);
    const bool hasBar = section.find('|') != std::string_view::npos;
    if (count) {
        const bool enough = *count <= static_cast<long long>(present);
        ZV_FUZZ_CHECK(complete == enough, "count " + std::to_string(*count) + ", " + std::to_string(present) +
                                              " records, complete " + std::to_string(complete));
    } else if (hasBar) {
        ZV_FUZZ_CHECK(complete, "a count that is not a number leaves the section waiting");
    }

    const std::string payload = "[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]" + std::string(section);
    ZV_FUZZ_CHECK(cutSections(payload).phonebookComplete == complete, "the cutter and the section reader differ");
    const std::string login = "SUBMIT_LOGIN:DLTA:Smith,John|pw:" + payload;
    ZV_FUZZ_CHECK(isRequestComplete(login) == complete,
                  "the collector takes the login as " + std::string(complete ? "incomplete" : "complete"));
    TRequestCollector collector;
    bool sawComplete = false;
    for (std::string_view piece : cutIntoPieces(login, TDelivery::kRandomPieces, hashBytes(section))) {
        collector.append(piece);
        sawComplete = collector.complete();
    }
    ZV_FUZZ_CHECK(sawComplete == complete, "the collector fed in pieces differs from the whole text");
}

int fuzzPhonebook(const std::uint8_t* data, std::size_t size) {
    const std::string_view section(reinterpret_cast<const char*>(data), size);

    enterWorkFolder("phonebook");
    clearFolder();
    datetime::setFormats("", "");
    const std::time_t now = fixedNow();
    datetime::setClockForTesting([now] { return now; });
    test::writeRecordFile("phonebook.dat", RecordKind::Phone, kInitial);
    const std::string before = readWholeFile("phonebook.dat");

    const std::size_t bar = section.find('|');
    const std::optional<long long> count =
        bar == std::string_view::npos ? std::nullopt : sectionCount(section.substr(0, bar));
    const std::vector<std::string_view> present =
        bar == std::string_view::npos ? std::vector<std::string_view>{} : recordsAfterBar(section.substr(bar + 1));
    if (!isNoData(section)) checkCompleteness(section, count, present.size());

    TPHONEList phonebook;
    phonebook.setFileName("phonebook.dat");
    phonebook.loadFromFile();
    phonebook.addToPhoneListFromString(section);
    const std::string log = readWholeFile("debug_phone.log");

    if (!isNoData(section))
        ZV_FUZZ_CHECK_KNOWN("count-reader", log.empty() == count.has_value(), "the store reads the count \"" +
                                                            printable(section.substr(0, bar)) + "\" otherwise than the section reader");
    if (!log.empty()) {
        ZV_FUZZ_CHECK(log == std::string(kPhoneListConvertError) + datetime::shortDateText(now) + " " +
                                 datetime::longTimeText(now) + "\r\n",
                      "debug line \"" + printable(log) + "\"");
        ZV_FUZZ_CHECK(readWholeFile("phonebook.dat") == before, "a refused bundle changed the file");
        ZV_FUZZ_CHECK(phonebook.getCount() == static_cast<int>(kInitial.size()), "a refused bundle changed the list");
        datetime::setClockForTesting(nullptr);
        return 0;
    }

    std::vector<Fields> expected = kInitial;
    const long long wanted = count ? std::max(0LL, *count) : 0;
    for (std::size_t i = 0; i < present.size() && static_cast<long long>(i) < wanted; ++i) {
        TPHONENode node;
        node.setFromString(present[i]);
        expected.push_back({node.Caller, node.Company, node.PhoneNumber});
    }
    const std::vector<Fields> after = test::decodeRecords(RecordKind::Phone, readWholeFile("phonebook.dat"));
    ZV_FUZZ_CHECK(phonebook.getCount() == static_cast<int>(expected.size()),
                  "added " + std::to_string(phonebook.getCount() - static_cast<int>(kInitial.size())) + " of " +
                      std::to_string(expected.size() - kInitial.size()));
    ZV_FUZZ_CHECK(keyOrdered(after), "the phonebook is not in caller order");
    // Values are cut to their slots in the file.
    for (Fields& f : expected) {
        for (std::size_t i = 0; i < f.size(); ++i) {
            static constexpr std::size_t kWidths[3] = {256, 256, 129};
            f[i] = f[i].substr(0, std::min(f[i].find('\0'), kWidths[i]));
        }
    }
    std::vector<Fields> a = after, b = expected;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ZV_FUZZ_CHECK(a == b, "the file does not hold the old entries and the added ones");
    datetime::setClockForTesting(nullptr);
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(phonebook, zv::fuzz::fuzzPhonebook)
