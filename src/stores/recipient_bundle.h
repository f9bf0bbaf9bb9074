#pragma once
// The bundle of one recipient's records, with expiry, shared by the memo and
// message stores.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stores/date_time.h"
#include "stores/debug_log.h"
#include "stores/record_store.h"

namespace zv {

// The records whose field 1 equals `key`, in list order, as a bundle. With
// expDays above 0, every record of the store whose Date and Time lie expDays
// calendar days or more before now (the same clock time expDays dates later)
// is removed afterwards; a record of `key` is still in
// this bundle. A Date and Time that do not read give one line in
// `debugLogName`, and that record stays. The store is saved in every case.
// `carried`, when given, receives the serials of the records in the bundle.
template <class Node>
std::string makeRecipientBundle(RecordStore<Node>& store, std::string_view key, int expDays,
                                std::vector<std::uint64_t>* carried, const std::string& debugLogName) {
    const auto& list = std::as_const(store).records();
    std::string text;
    std::size_t count = 0;
    std::vector<std::uint64_t> expired;
    const std::time_t now = datetime::now();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Node& node = *list[i];
        if (node.*(RecordLayout<Node>::kFields[0].member) == key) {
            appendRecordString(text, node);
            text.append(kRecordSeparator);
            ++count;
            if (carried) carried->push_back(node.serial);
        }
        if (expDays <= 0) continue;
        const auto written = datetime::readLocalDateTime(node.Date + " " + node.Time);
        if (!written) {
            appendDebugLine(debugLogName, kBundleConvertError);
            continue;
        }
        // Days on the calendar: a day over a daylight-saving change has 23
        // or 25 hours.
        const auto expiry = datetime::addCalendarDays(*written, expDays);
        if (expiry && now >= *expiry) expired.push_back(node.serial);
    }
    if (!expired.empty()) store.deleteSerials(expired);
    store.saveToFile();
    std::string bundle = std::to_string(count);
    bundle.push_back('|');
    bundle.append(text);
    return bundle;
}

}  // namespace zv
