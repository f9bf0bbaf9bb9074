#include "host/auto_punch_out.h"

#include <cstdio>
#include <exception>

#include "host/admin_audit.h"
#include "host/server_parts.h"
#include "host/wall_clock_step.h"
#include "protocol/login.h"
#include "stores/date_time.h"

namespace zv {

namespace {

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

TAutoPunchOut::TAutoPunchOut(TServerParts& parts, TServerContext& context)
    : parts_(parts),
      context_(context),
      step_(std::make_unique<TWallClockStep>(
          parts, [this](std::time_t now) { runIfDue(now); },
          [this](std::time_t now) -> std::optional<std::time_t> {
              const std::optional<int> second = parts_.settings.autoOutSecond;
              if (!second) return std::nullopt;
              return nextPunchOutMoment(now, *second);
          },
          TWallClockTexts{"The end-of-day punch-out cannot keep its time: ",
                          "Nobody is punched out at the end of the day until the next start.",
                          "The end-of-day punch-out could not be done: "})) {}

TAutoPunchOut::~TAutoPunchOut() { stop(); }

void TAutoPunchOut::start() { step_->start(); }

void TAutoPunchOut::stop() { step_->stop(); }

void TAutoPunchOut::settingChanged() {
    TSettings& settings = parts_.settings;
    const std::time_t now = datetime::now();
    if (settings.autoOutSecond) {
        const TPunchOutDay due = latestPunchOutDay(now, *settings.autoOutSecond);
        if (!isDayText(settings.AutoOutDone) || settings.AutoOutDone < due.day)
            settings.AutoOutDone = due.day;
    }
    if (step_->running()) step_->reschedule(now);
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
