#pragma once
// What the end-to-end tests of the planned absences, the calendars and the
// office's calendar feed share: the wall clock, board entries and rows, and
// the Returning text an absence puts on the board.

#include <time.h>

#include <ctime>

#include "stores/date_time.h"
#include "web_e2e_support.h"

namespace zv::webtest {

// The clock the server's timers wait on (time() reads a coarse copy of it
// that may still show the second before).
inline std::time_t wallClock() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

// An account that is "In", with the password "pw".
inline Fields inEntry(const std::string& key, const std::string& department = "Sales") {
    return test::boardRecord(key, "pw", department, "In");
}

inline const Fields& boardEntry(const std::vector<Fields>& board, const std::string& key) {
    for (const Fields& f : board) {
        if (f[test::board::Employee] == key) return f;
    }
    throw std::runtime_error("no board entry " + key);
}

// The row of `key` on the board as a browser gets it (empty when none).
inline json boardRow(HttpClient& browser, const std::string& key) {
    const json board = bodyOf(browser.get("/api/board"));
    for (const json& row : board["rows"]) {
        if (row["employee"] == key) return row;
    }
    return {};
}

// The Returning text of an absence that ends at `until`.
inline std::string returningText(std::time_t until) {
    return datetime::shortDateText(until) + " " + datetime::longTimeText(until);
}

}  // namespace zv::webtest
