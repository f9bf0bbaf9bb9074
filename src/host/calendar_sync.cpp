#include "host/calendar_sync.h"

#include <exception>

#include "calendar/calendar_address.h"
#include "calendar/calendar_fetcher.h"
#include "host/absence_board.h"
#include "host/absence_keeper.h"
#include "host/admin_audit.h"
#include "host/calendar_absences.h"
#include "host/platform_info.h"
#include "host/server_parts.h"
#include "net/loop_timer.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

using Clock = std::chrono::steady_clock;

// How often the calendars are looked over for one that is due.
constexpr std::chrono::seconds kLookEvery{10};
// A calendar the fetcher had no room for is asked for again after this.
constexpr std::chrono::minutes kNoRoomWait{1};

// The account's calendar record, lent; nullptr when it has none.
TSCHEDNode* calendarOf(TSCHEDList& schedule, const std::string& employee, int* index = nullptr) {
    for (int i = 0; i < schedule.getCount(); ++i) {
        const TSCHEDNode& record = std::as_const(schedule).getNode(i);
        if (record.Employee == employee && record.Kind == schedule::kCalendar) {
            if (index) *index = i;
            return &schedule.getNode(i);
        }
    }
    return nullptr;
}

}  // namespace

TCalendarSync::TCalendarSync(TServerParts& parts, TServerContext& context)
    : parts_(parts), context_(context) {}

TCalendarSync::~TCalendarSync() { stop(); }

void TCalendarSync::start() {
    if (alive_) return;
    alive_ = std::make_shared<bool>(true);
    calendar::TFetchLimits limits;
    limits.userAgent = std::string(programName()) + "/" + programVersion();
    try {
        fetcher_ = std::make_unique<calendar::TCalendarFetcher>(
            limits, [this](calendar::TFetchResult result) { fetched(std::move(result)); });
        fetcher_->start();
        timer_ = std::make_unique<TLoopTimer>(parts_.mainLoop, TLoopTimer::Clock::Monotonic, [this](bool) {
            if (timer_) timer_->startAfter(kLookEvery);
            look();
        });
        timer_->startAfter(std::chrono::seconds(0));
        batchTimer_ =
            std::make_unique<TLoopTimer>(parts_.mainLoop, TLoopTimer::Clock::Monotonic, [this](bool) {
                std::weak_ptr<bool> alive = alive_;
                parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive] {
                    if (alive.lock()) applyReadings();
                });
            });
    } catch (const std::exception& e) {
        parts_.view.showMessage(
            MessageKind::Warning,
            std::string("The accounts' calendars cannot be read: ") + e.what() +
                "\rThe absences they gave last stay; they are read again from the next start.");
        fetcher_.reset();
        timer_.reset();
        batchTimer_.reset();
    }
}

void TCalendarSync::stop() {
    if (fetcher_) fetcher_->stop();  // joins its thread: no reading comes after this
    fetcher_.reset();
    timer_.reset();
    batchTimer_.reset();
    alive_.reset();
    std::lock_guard lock(mutex_);
    readings_.clear();
    applyPosted_ = false;
}

std::size_t TCalendarSync::fetchSoon(const std::string& employee) {
    std::size_t asked = 0;
    for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
        if (node->Kind != schedule::kCalendar || (!employee.empty() && node->Employee != employee)) continue;
        states_[node->Employee].next = Clock::now();
        ++asked;
    }
    if (asked > 0 && alive_ && !lookPending_) look();
    return asked;
}

bool TCalendarSync::fetching(const std::string& employee) const {
    const auto it = states_.find(employee);
    return it != states_.end() && it->second.inFlight;
}

void TCalendarSync::look() {
    if (lookPending_) return;
    lookPending_ = true;
    std::weak_ptr<bool> alive = alive_;
    parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive] {
        if (!alive.lock()) return;
        lookPending_ = false;
        if (!parts_.serving || !fetcher_) return;
        // Every calendar there is, spread over the period the first time it
        // is seen; those whose record went are forgotten.
        std::vector<std::pair<std::string, std::string>> calendars;  // account, address
        for (const auto& node : std::as_const(parts_.stores.schedule()).records()) {
            if (node->Kind == schedule::kCalendar) calendars.emplace_back(node->Employee, node->Address);
        }
        std::map<std::string, TCalendarState> states;
        const auto now = Clock::now();
        std::size_t fresh = 0;
        for (const auto& [employee, address] : calendars) {
            auto found = states_.find(employee);
            if (found != states_.end()) {
                states[employee] = found->second;
            } else {
                states[employee].next = now + kEvery * fresh++ / std::max<std::size_t>(calendars.size(), 1);
            }
        }
        states_ = std::move(states);

        const std::vector<std::string> allowed =
            calendar::allowedHostList(parts_.settings.CalendarAllowedHosts);
        for (const auto& [employee, address] : calendars) {
            TCalendarState& state = states_[employee];
            if (state.inFlight || state.next > now) continue;
            const std::uint64_t ticket = ++lastTicket_;
            if (!fetcher_->submit({ticket, address, allowed})) {
                state.next = now + kNoRoomWait;
                continue;
            }
            asked_[ticket] = {employee, address};
            state.inFlight = true;
            state.next = now + kEvery;
        }
    });
}

void TCalendarSync::fetched(calendar::TFetchResult result) {
    TReading reading;
    reading.ticket = result.ticket;
    reading.failure = std::move(result.failure);
    const std::time_t now = datetime::now();
    reading.readFrom = now - kReadBack;
    std::tm lastDay{};
    localtime_r(&now, &lastDay);
    lastDay.tm_mday += kDaysAhead + 1;
    lastDay.tm_hour = lastDay.tm_min = lastDay.tm_sec = 0;
    lastDay.tm_isdst = -1;
    const std::time_t readTo = std::mktime(&lastDay);
    if (reading.failure.empty()) {
        try {
            reading.busy = calendar::readBusyTimes(result.body, reading.readFrom, readTo);
        } catch (const calendar::TCalendarError& e) {
            reading.failure = e.what();
        }
    }
    std::lock_guard lock(mutex_);
    readings_.push_back(std::move(reading));
    if (applyPosted_) return;
    applyPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive] {
        if (alive.lock()) applySoon();
    });
}

void TCalendarSync::applySoon() {
    const auto since = Clock::now() - lastApply_;
    if (since >= kBatchEvery || !batchTimer_) {
        applyReadings();
        return;
    }
    batchTimer_->startAfter(kBatchEvery - since);
}

void TCalendarSync::applyReadings() {
    lastApply_ = Clock::now();
    std::vector<TReading> readings;
    {
        std::lock_guard lock(mutex_);
        readings.swap(readings_);
        applyPosted_ = false;
    }
    bool changed = false;
    bool absencesChanged = false;
    for (const TReading& reading : readings) {
        const auto asked = asked_.find(reading.ticket);
        if (asked == asked_.end()) continue;
        const TAsked what = asked->second;
        asked_.erase(asked);
        if (auto state = states_.find(what.employee); state != states_.end()) state->second.inFlight = false;
        try {
            applyReading(what, reading, changed, absencesChanged);
        } catch (const std::exception& e) {
            parts_.view.logLine(LinePriority::Warning, std::string(programName()) + ": the calendar of " +
                                                           auditQuoted(what.employee) +
                                                           " could not be applied: " + e.what());
        }
    }
    if (!changed) return;
    try {
        parts_.stores.saveSchedule();
    } catch (const std::exception& e) {
        parts_.view.logLine(
            LinePriority::Warning,
            std::string(programName()) + ": the calendars' absences could not be saved: " + e.what());
    }
    if (absencesChanged && parts_.absenceKeeper) parts_.absenceKeeper->scheduleChanged();
}

void TCalendarSync::applyReading(const TAsked& asked, const TReading& reading, bool& changed,
                                 bool& absencesChanged) {
    if (parts_.stores.closed()) return;
    TSCHEDList& schedule = parts_.stores.schedule();
    int index = -1;
    TSCHEDNode* record = calendarOf(schedule, asked.employee, &index);
    if (!record || record->Address != asked.address) return;  // changed or taken away meanwhile
    const std::string program = programName();
    const std::string whose =
        "the calendar of " + auditQuoted(asked.employee) + " (" + calendar::hostOf(asked.address) + ")";

    if (!reading.failure.empty()) {
        // Once per failure: a calendar that keeps failing the same way says
        // nothing more; what it gave last stays.
        if (record->Note == reading.failure) return;
        record->Note = reading.failure;
        changed = true;
        parts_.view.logLine(LinePriority::Warning, program + ": " + whose + " cannot be read: " +
                                                       reading.failure + "; the absences it gave last stay");
        return;
    }
    if (!record->Note.empty()) {
        parts_.view.logLine(LinePriority::Notice, program + ": " + whose + " is read again");
        record->Note.clear();
    }
    const std::time_t now = datetime::now();
    record->From = datetime::utcStampText(now);
    changed = true;

    const TWIWOList& board = parts_.stores.board();
    const TCalendarFollowed followed =
        followCalendar(schedule, asked.employee, reading.busy, reading.readFrom, now,
                       [&board](const TSCHEDNode& applied) { return absenceHoldsBoard(board, applied); });
    absencesChanged = absencesChanged || followed.changed;
    for (const std::uint64_t serial : followed.putAgain) {
        for (int i = 0; i < schedule.getCount(); ++i) {
            if (std::as_const(schedule).getNode(i).serial == serial) {
                putAbsenceOnBoard(context_, std::as_const(schedule).getNode(i));
                break;
            }
        }
    }
}

}  // namespace zv
