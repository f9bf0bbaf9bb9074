// Target "ical": the iCalendar reader on any text, as a calendar server
// might answer.
//
// Input: the text.
//
// Properties:
// - the reader either gives busy times or refuses the text with a
//   TCalendarError, and never anything else;
// - it gives at most kMostBusyTimes, in the order of their start, each with
//   an identity, ending after it starts, and overlapping the window read;
// - a second reading of the same text gives the same busy times.

#include <string>
#include <vector>

#include "calendar/ical_reader.h"
#include "fuzz_support.h"

namespace zv::fuzz {
namespace {

using calendar::TBusyTime;
using calendar::TCalendarError;

int fuzzIcal(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::string text(input.rest());
    enterWorkFolder("ical");  // the fixed time zone
    const std::time_t now = fixedNow();
    const std::time_t from = now - 86400;
    const std::time_t to = now + 14 * 86400;

    std::vector<TBusyTime> busy;
    try {
        busy = calendar::readBusyTimes(text, from, to);
    } catch (const TCalendarError&) {
        return 0;
    }
    ZV_FUZZ_CHECK(busy.size() <= calendar::kMostBusyTimes, std::to_string(busy.size()) + " busy times");
    for (std::size_t i = 0; i < busy.size(); ++i) {
        const TBusyTime& b = busy[i];
        ZV_FUZZ_CHECK(!b.id.empty(), "a busy time without an identity");
        ZV_FUZZ_CHECK(b.start < b.end, "a busy time ends before it starts: " + printable(b.id));
        ZV_FUZZ_CHECK(b.start < to && b.end > from, "a busy time outside the window: " + printable(b.id));
        ZV_FUZZ_CHECK(i == 0 || busy[i - 1].start <= b.start,
                      "the busy times are not in the order of their start");
    }
    ZV_FUZZ_CHECK(calendar::readBusyTimes(text, from, to) == busy, "a second reading differs");
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(ical, zv::fuzz::fuzzIcal)
