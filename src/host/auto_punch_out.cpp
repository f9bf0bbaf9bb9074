#include "host/auto_punch_out.h"

#include <cstdio>
#include <exception>

#include "host/admin_audit.h"
#include "host/server_parts.h"
#include "net/loop_timer.h"
#include "protocol/login.h"
#include "stores/date_time.h"

namespace zv {

namespace {

// However far off the next moment, the schedule is looked at again within
// this time (a change of the time zone moves no timer).
constexpr std::time_t kLongestWait = 3600;

// `day` (a local date, any hour) at `secondOfDay`; `dayShift` days later.
std::time_t momentOn(std::tm day, int secondOfDay, int dayShift) {
    day.tm_mday += dayShift;
    day.tm_hour = secondOfDay / 3600;
    day.tm_min = secondOfDay / 60 % 60;
    day.tm_sec = secondOfDay % 60;
    day.tm_isdst = -1;  // as the wall clock reads on that day
    return std::mktime(&day);
}

std::tm localDay(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

// "yyyy-mm-dd": anything else in AutoOutDone counts as no day done.
bool isDayText(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

std::string dayText(const std::tm& tm) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return text;
}

}  // namespace

TPunchOutDay latestPunchOutDay(std::time_t now, int secondOfDay) {
    const std::tm today = localDay(now);
    int shift = 0;
    std::time_t at = momentOn(today, secondOfDay, 0);
    if (at > now) {
        shift = -1;
        at = momentOn(today, secondOfDay, -1);
    }
    std::tm day = today;
    day.tm_mday += shift;
    day.tm_hour = 12;  // a time every day has
    day.tm_isdst = -1;
    std::mktime(&day);
    return {dayText(day), at};
}

std::time_t nextPunchOutMoment(std::time_t now, int secondOfDay) {
    const std::tm today = localDay(now);
    const std::time_t at = momentOn(today, secondOfDay, 0);
    return at > now ? at : momentOn(today, secondOfDay, 1);
}

TAutoPunchOut::TAutoPunchOut(TServerParts& parts, TServerContext& context) : parts_(parts), context_(context) {}

TAutoPunchOut::~TAutoPunchOut() { stop(); }

void TAutoPunchOut::start() {
    if (alive_) return;
    alive_ = std::make_shared<bool>(true);
    try {
        timer_ = std::make_unique<TLoopTimer>(parts_.mainLoop, TLoopTimer::Clock::WallClock,
                                              [this](bool) { wake(); });
    } catch (const std::exception& e) {
        parts_.view.showMessage(MessageKind::Warning,
                                 std::string("The end-of-day punch-out cannot keep its time: ") + e.what() +
                                     "\rNobody is punched out at the end of the day until the next start.");
    }
    wake();  // a day missed while the server was down
}

void TAutoPunchOut::stop() {
    alive_.reset();
    timer_.reset();
}

void TAutoPunchOut::settingChanged() {
    TSettings& settings = parts_.settings;
    const std::time_t now = datetime::now();
    if (settings.autoOutSecond) {
        const TPunchOutDay due = latestPunchOutDay(now, *settings.autoOutSecond);
        if (!isDayText(settings.AutoOutDone) || settings.AutoOutDone < due.day) settings.AutoOutDone = due.day;
    }
    if (alive_) schedule(now);
}

void TAutoPunchOut::wake() {
    // The punch-out waits for its turn behind the client steps under way.
    std::weak_ptr<bool> alive = alive_;
    parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive] {
        if (!alive.lock()) return;
        // One reading of the clock for both decisions: read twice, the moment
        // could pass between them, found not yet due and then waited for
        // again tomorrow.
        const std::time_t now = datetime::now();
        try {
            runIfDue(now);
        } catch (const std::exception& e) {
            // The day stays due: the next look (within the hour) tries again.
            parts_.view.showMessage(MessageKind::Warning,
                                     std::string("The end-of-day punch-out could not be done: ") + e.what());
        }
        if (alive.lock()) schedule(now);
    });
}

void TAutoPunchOut::schedule(std::time_t now) {
    if (!timer_) return;
    const TSettings& settings = parts_.settings;
    if (!settings.autoOutSecond) {
        timer_->cancel();
        return;
    }
    timer_->startAt(std::min(nextPunchOutMoment(now, *settings.autoOutSecond), now + kLongestWait));
}

std::size_t TAutoPunchOut::runIfDue(std::time_t now) {
    TSettings& settings = parts_.settings;
    if (!parts_.serving || !settings.autoOutSecond) return 0;
    const TPunchOutDay due = latestPunchOutDay(now, *settings.autoOutSecond);
    if (isDayText(settings.AutoOutDone) && settings.AutoOutDone >= due.day) return 0;

    const std::vector<std::string> punched = punchOutEveryoneIn(context_);
    const TSettings before = settings;
    settings.AutoOutDone = due.day;
    parts_.saveSettingChangesOrWarn(before);
    std::string names;
    for (const std::string& key : punched) names += (names.empty() ? "" : ", ") + auditQuoted(key);
    auditAdminChange(parts_.view, "the end-of-day punch-out",
                     "punched out " + std::to_string(punched.size()) + " employee" +
                         (punched.size() == 1 ? "" : "s") + " for " + due.day + " at " + settings.AutoOutAt +
                         (names.empty() ? "" : ": " + names));
    return punched.size();
}

}  // namespace zv
