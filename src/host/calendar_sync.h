#pragma once
// The accounts' calendars, read every 15 minutes and kept in the schedule as
// absences (calendar_absences.h), which the keeper puts on the board at
// their start like any planned absence.
//
// The fetches and the reading of what comes back run on the fetcher's
// thread (calendar/calendar_fetcher.h), never on a loop that serves
// clients; what they give is applied in a step on the main loop, under the
// session mutex, a batch of calendars at a time with one save. The
// calendars are spread over the 15 minutes so that they do not all come at
// once. A calendar that cannot be fetched or read keeps the absences it
// gave last; why is noted on its record (the administration shows it) and
// written to standard error once per failure, not once per fetch.
//
// Main thread only, but for the fetcher's callback.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "calendar/ical_reader.h"

namespace zv {

namespace calendar {
class TCalendarFetcher;
struct TFetchResult;
}  // namespace calendar

class TLoopTimer;
class TServerContext;
struct TServerParts;

class TCalendarSync {
public:
    static constexpr std::chrono::minutes kEvery{15};
    // The window of each reading: from a day back to the end of the seventh
    // day ahead. It ends at a midnight, so that the events of a new day come
    // into the schedule once a day and every other reading of a calendar
    // that did not change changes no record.
    static constexpr std::time_t kReadBack = 24 * 60 * 60;
    static constexpr int kDaysAhead = 7;
    // Readings that come close together are applied together, with one
    // save: at most one batch in this time.
    static constexpr std::chrono::milliseconds kBatchEvery{1000};

    TCalendarSync(TServerParts& parts, TServerContext& context);
    ~TCalendarSync();
    TCalendarSync(const TCalendarSync&) = delete;
    TCalendarSync& operator=(const TCalendarSync&) = delete;

    // Once the server serves: the fetcher's thread and the timer. A part
    // that cannot start is reported through the view.
    void start();
    // Before the stores are emptied: transfers under way are cut, readings
    // not yet applied dropped.
    void stop();

    // Reads `employee`'s calendar (every calendar when empty) at once, as
    // when a calendar was just set. Returns how many are asked for.
    std::size_t fetchSoon(const std::string& employee);
    // Whether a fetch of `employee`'s calendar is under way.
    bool fetching(const std::string& employee) const;

private:
    struct TReading {
        std::uint64_t ticket = 0;
        std::vector<calendar::TBusyTime> busy;
        std::string failure;
        std::time_t readFrom = 0;
    };
    struct TCalendarState {
        std::chrono::steady_clock::time_point next;
        bool inFlight = false;
    };
    struct TAsked {
        std::string employee, address;
    };

    // In a step: fetches the calendars that are due.
    void look();
    // The fetcher's thread: reads what came and hands it to the main loop.
    void fetched(calendar::TFetchResult result);
    // In a step: the readings that came since the last, now or after the
    // rest of kBatchEvery.
    void applySoon();
    void applyReadings();
    void applyReading(const TAsked& asked, const TReading& reading, bool& changed, bool& absencesChanged);

    TServerParts& parts_;
    TServerContext& context_;

    // Main thread only.
    std::unique_ptr<calendar::TCalendarFetcher> fetcher_;
    std::unique_ptr<TLoopTimer> timer_;
    std::unique_ptr<TLoopTimer> batchTimer_;
    std::chrono::steady_clock::time_point lastApply_{};
    std::shared_ptr<bool> alive_;                   // steps queued on the loop check it
    std::map<std::string, TCalendarState> states_;  // by account
    std::map<std::uint64_t, TAsked> asked_;         // by ticket, while in flight
    std::uint64_t lastTicket_ = 0;
    bool lookPending_ = false;

    // Guarded by mutex_ (the fetcher's thread hands readings over).
    mutable std::mutex mutex_;
    std::vector<TReading> readings_;
    bool applyPosted_ = false;
};

}  // namespace zv
