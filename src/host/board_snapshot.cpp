#include "host/board_snapshot.h"

#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;

// Local midnight at the start of the day of `t`, and `days` days later.
std::time_t midnightOf(std::time_t t, int days = 0) {
    std::tm parts{};
    localtime_r(&t, &parts);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_mday += days;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

}  // namespace

std::optional<std::time_t> returningMoment(std::string_view returning, std::time_t reference) {
    if (const auto read = datetime::readDateTime(returning)) {
        return read->timeGiven ? read->at : midnightOf(read->at, 1);
    }
    if (const auto seconds = datetime::parseTimeOfDay(returning)) {
        // Built through the calendar, so that a change of summer time in
        // between keeps the clock time.
        std::tm parts{};
        localtime_r(&reference, &parts);
        const int referenceSeconds = parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec;
        parts.tm_hour = *seconds / 3600;
        parts.tm_min = *seconds / 60 % 60;
        parts.tm_sec = *seconds % 60;
        if (*seconds < referenceSeconds) parts.tm_mday += 1;
        parts.tm_isdst = -1;
        const std::time_t at = std::mktime(&parts);
        if (at != static_cast<std::time_t>(-1)) return at;
        return reference + (*seconds - referenceSeconds + kDaySeconds) % kDaySeconds;
    }
    return std::nullopt;
}

std::vector<TBoardRow> boardRows(TWIWOList& board) {
    const int count = board.getCount();
    std::vector<TBoardRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    const std::time_t now = datetime::now();
    for (int i = 0; i < count; ++i) {
        const TWIWONode& node = board.getNode(i);
        TBoardRow row{node.Employee, node.LastName,  node.FirstName, node.Department,
                      node.WorkPhone, node.Extension, node.Status,    node.Returning,
                      node.ReachedAt, node.Comments,  node.StatusChanged, {}, {}};
        row.statusSince = datetime::parseDateTime(node.StatusChanged);
        if (node.Status == "Out" && !node.Returning.empty()) {
            row.returnsAt = returningMoment(node.Returning, row.statusSince.value_or(now));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace zv
