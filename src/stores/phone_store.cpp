#include "stores/phone_store.h"

#include "stores/debug_log.h"
#include "stores/record_count.h"

namespace zv {

void TPHONEList::addToPhoneListFromString(std::string_view bundle) {
    const std::size_t bar = bundle.find('|');
    const auto count = bar == std::string_view::npos ? std::nullopt : readRecordCount(bundle.substr(0, bar));
    if (!count) {
        appendDebugLine(debugLogFileName_, kPhoneListConvertError);
        return;
    }
    std::string_view rest = bundle.substr(bar + 1);
    for (long long i = 0; i < *count; ++i) {
        const std::size_t end = rest.find(kRecordSeparator);
        if (end == std::string_view::npos) break;  // fewer records than counted
        addNode(createNodeFromString(rest.substr(0, end)));
        rest.remove_prefix(end + kRecordSeparator.size());
    }
    saveToFile();
}

}  // namespace zv
