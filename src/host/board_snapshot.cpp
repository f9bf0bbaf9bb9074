#include "host/board_snapshot.h"

#include <utility>

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

void TMomentCache::startBuild(std::time_t now, std::size_t rows) {
    std::tm parts{};
    localtime_r(&now, &parts);
    const long day = (parts.tm_year + 1900L) * 1000 + parts.tm_yday;
    if (day != day_ || since_.size() > 2 * rows + 16 || returns_.size() > 2 * rows + 16) {
        since_.clear();
        returns_.clear();
        day_ = day;
    }
}

std::optional<std::time_t> TMomentCache::statusSince(const std::string& statusChanged) {
    const auto found = since_.find(statusChanged);
    if (found != since_.end()) return found->second;
    return since_[statusChanged] = datetime::parseDateTime(statusChanged);
}

std::optional<std::time_t> TMomentCache::returnsAt(const std::string& returning, const std::string& statusChanged,
                                                   std::time_t reference) {
    std::string key = returning;
    key += '\n';
    key += statusChanged;
    const auto found = returns_.find(key);
    if (found != returns_.end()) return found->second;
    return returns_[std::move(key)] = returningMoment(returning, reference);
}

std::vector<TBoardRow> boardRows(TWIWOList& board, TMomentCache* cache) {
    const int count = board.getCount();
    std::vector<TBoardRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    const std::time_t now = datetime::now();
    TMomentCache once;
    TMomentCache& moments = cache ? *cache : once;
    moments.startBuild(now, static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TWIWONode& node = std::as_const(board).getNode(i);
        TBoardRow row{node.Employee, node.LastName,  node.FirstName, node.Department,
                      node.WorkPhone, node.Extension, node.Status,    node.Returning,
                      node.ReachedAt, node.Comments,  node.StatusChanged, {}, {}, {}};
        row.statusSince = moments.statusSince(node.StatusChanged);
        // Every status but "In" may be away (the one-tap statuses say which
        // are); the page marks an away row whose moment has passed.
        if (node.Status != "In" && !node.Returning.empty()) {
            // A status set at a moment that does not read counts from today.
            row.returnsAt = moments.returnsAt(node.Returning, node.StatusChanged, row.statusSince.value_or(now));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace zv
