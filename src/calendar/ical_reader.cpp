#include "calendar/ical_reader.h"

#include <libical/ical.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace zv::calendar {

namespace {

// However a rule is written (every second since 1970), its occurrences are
// looked at this many times at most.
constexpr int kMostSteps = 100000;

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using TComponent = std::unique_ptr<icalcomponent, ComponentFree>;

void prepareLibrary() {
    static std::once_flag once;
    // A malformed text is an answer to give, never a reason to abort.
    std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

bool holdsLine(std::string_view text, std::string_view line) {
    for (std::size_t at = text.find(line); at != std::string_view::npos; at = text.find(line, at + 1)) {
        const bool startsLine = at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r';
        if (startsLine) return true;
    }
    return false;
}

// The zones calendars define, kept from one reading to the next by their
// text: what a zone's changes are is worked out once (from the zone's first
// year on, 1601 for Outlook's), not at each reading of every calendar that
// defines it. A reading holds the zones it uses (`held`), so that a cache
// emptied meanwhile by another thread frees none under it.
class TZoneCache {
public:
    icaltimezone* cached(icaltimezone* defined, std::vector<std::shared_ptr<icaltimezone>>& held) {
        icalcomponent* definition = icaltimezone_get_component(defined);
        char* text = definition ? icalcomponent_as_ical_string_r(definition) : nullptr;
        if (!text) return defined;
        std::string key(text);
        icalmemory_free_buffer(text);
        std::lock_guard lock(mutex_);
        auto found = zones_.find(key);
        if (found == zones_.end()) {
            if (zones_.size() >= kMostZones) zones_.clear();
            std::shared_ptr<icaltimezone> zone(icaltimezone_new(),
                                               [](icaltimezone* z) { icaltimezone_free(z, 1); });
            if (!zone || !icaltimezone_set_component(zone.get(), icalcomponent_new_clone(definition)))
                return defined;
            found = zones_.emplace(std::move(key), std::move(zone)).first;
        }
        held.push_back(found->second);
        return found->second.get();
    }

private:
    static constexpr std::size_t kMostZones = 256;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<icaltimezone>> zones_;  // guarded by mutex_
};

TZoneCache& zoneCache() {
    static TZoneCache cache;
    return cache;
}

// The cached zones the reading under way on this thread uses.
thread_local std::vector<std::shared_ptr<icaltimezone>> heldZones;

// The time zone of a property's time: the one it names in its TZID, defined
// in the calendar or else known to the system by that name; nothing for a
// floating time (read in this computer's zone). A UTC time has UTC.
const icaltimezone* zoneOf(icalproperty* prop, const icaltimetype& time, icalcomponent* calendar) {
    if (time.zone != nullptr) return time.zone;
    if (icaltime_is_utc(time)) return icaltimezone_get_utc_timezone();
    icalparameter* tzid = icalproperty_get_first_parameter(prop, ICAL_TZID_PARAMETER);
    if (tzid == nullptr) return nullptr;
    const char* name = icalparameter_get_tzid(tzid);
    if (name == nullptr) return nullptr;
    if (icaltimezone* defined = icalcomponent_get_timezone(calendar, name)) {
        return zoneCache().cached(defined, heldZones);
    }
    return icaltimezone_get_builtin_timezone(name);
}

// Seconds since 1970 of a time in `zone`; a date, or a time without a zone,
// in this computer's zone (a date at its midnight).
std::time_t unixTime(icaltimetype time, const icaltimezone* zone) {
    if (time.is_date || zone == nullptr) {
        std::tm parts{};
        parts.tm_year = time.year - 1900;
        parts.tm_mon = time.month - 1;
        parts.tm_mday = time.day;
        if (!time.is_date) {
            parts.tm_hour = time.hour;
            parts.tm_min = time.minute;
            parts.tm_sec = time.second;
        }
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    }
    // The zone named is the one the time's fields are in.
    return icaltime_as_timet_with_zone(time, zone);
}

// `t` as the fields of a time in `zone` (this computer's zone when none).
icaltimetype timeIn(std::time_t t, const icaltimezone* zone, bool isDate) {
    if (zone != nullptr && !isDate) {
        return icaltime_from_timet_with_zone(t, 0, const_cast<icaltimezone*>(zone));
    }
    std::tm parts{};
    localtime_r(&t, &parts);
    icaltimetype time = icaltime_null_time();
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    if (isDate) {
        time.is_date = 1;
    } else {
        time.hour = parts.tm_hour;
        time.minute = parts.tm_min;
        time.second = parts.tm_sec;
    }
    return time;
}

// One event as the reading needs it.
struct TEvent {
    icalcomponent* component;
    std::string uid;
    icaltimetype start;
    const icaltimezone* zone;
    std::time_t firstStart;
    std::time_t length;  // seconds; for a whole-day event, whole days times 86400
    bool wholeDays;
    bool busy;
    bool outOfOffice;
};

// Outlook's busy status, when the event has one ("FREE", "OOF" ...).
std::string busyStatusOf(icalcomponent* event) {
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
        const char* name = icalproperty_get_x_name(p);
        if (name == nullptr) continue;
        const std::string_view n(name);
        if (n == "X-MICROSOFT-CDO-BUSYSTATUS" || n == "X-MICROSOFT-CDO-INTENDEDSTATUS") {
            const char* value = icalproperty_get_x(p);
            return value ? value : "";
        }
    }
    return {};
}

std::optional<TEvent> eventOf(icalcomponent* component, icalcomponent* calendar) {
    icalproperty* startProp = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
    if (startProp == nullptr) return std::nullopt;
    TEvent event{};
    event.component = component;
    const char* uid = icalcomponent_get_uid(component);
    event.uid = uid ? uid : "";
    event.start = icalproperty_get_dtstart(startProp);
    if (icaltime_is_null_time(event.start) || !icaltime_is_valid_time(event.start)) return std::nullopt;
    event.zone = zoneOf(startProp, event.start, calendar);
    event.wholeDays = event.start.is_date;
    event.firstStart = unixTime(event.start, event.zone);

    std::time_t end = event.firstStart;
    if (icalproperty* endProp = icalcomponent_get_first_property(component, ICAL_DTEND_PROPERTY)) {
        const icaltimetype t = icalproperty_get_dtend(endProp);
        end = unixTime(t, zoneOf(endProp, t, calendar));
    } else if (icalproperty* lengthProp =
                   icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY)) {
        end = event.firstStart + icaldurationtype_as_int(icalproperty_get_duration(lengthProp));
    } else if (event.wholeDays) {
        end = unixTime(icaltime_add(event.start, icaldurationtype_from_int(86400)), nullptr);
    }
    event.length = end - event.firstStart;
    if (event.wholeDays)
        event.length = (event.length + 43200) / 86400 * 86400;  // whole days, whatever DST did

    const std::string busyStatus = busyStatusOf(component);
    event.outOfOffice = busyStatus == "OOF";
    bool transparent = false;
    if (icalproperty* transp = icalcomponent_get_first_property(component, ICAL_TRANSP_PROPERTY)) {
        const icalproperty_transp value = icalproperty_get_transp(transp);
        transparent = value == ICAL_TRANSP_TRANSPARENT || value == ICAL_TRANSP_TRANSPARENTNOCONFLICT;
    }
    event.busy = busyStatus == "FREE" ? false : (event.outOfOffice || !transparent);
    if (icalcomponent_get_status(component) == ICAL_STATUS_CANCELLED) event.busy = false;
    return event;
}

// The end of an occurrence starting at `start` (an event's length; whole
// days as days of the calendar).
std::time_t endOf(const TEvent& event, std::time_t start) {
    if (!event.wholeDays) return start + event.length;
    std::tm parts{};
    localtime_r(&start, &parts);
    parts.tm_mday += static_cast<int>(event.length / 86400);
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// The local date of `t` as yyyymmdd.
int localDate(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    return (parts.tm_year + 1900) * 10000 + (parts.tm_mon + 1) * 100 + parts.tm_mday;
}

// What the event's EXDATEs leave out: instants, and whole days (a date
// leaves out that day's occurrence, whatever its time).
struct TExceptions {
    std::set<std::time_t> instants;
    std::set<int> days;
    bool leaveOut(std::time_t start) const { return instants.count(start) || days.count(localDate(start)); }
};

TExceptions exceptionsOf(const TEvent& event, icalcomponent* calendar) {
    TExceptions out;
    for (icalproperty* p = icalcomponent_get_first_property(event.component, ICAL_EXDATE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event.component, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype t = icalproperty_get_exdate(p);
        if (icaltime_is_null_time(t)) continue;
        if (t.is_date)
            out.days.insert(t.year * 10000 + t.month * 100 + t.day);
        else
            out.instants.insert(unixTime(t, zoneOf(p, t, calendar)));
    }
    return out;
}

// Every start of the event's series that may overlap [from, to): its first
// start, its rules' occurrences and its extra dates.
std::set<std::time_t> startsOf(const TEvent& event, icalcomponent* calendar, std::time_t from,
                               std::time_t to) {
    std::set<std::time_t> starts;
    const auto take = [&](std::time_t start) {
        if (start < to && endOf(event, start) > from) starts.insert(start);
    };
    take(event.firstStart);
    for (icalproperty* p = icalcomponent_get_first_property(event.component, ICAL_RRULE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event.component, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq == ICAL_NO_RECURRENCE) continue;
        icalrecur_iterator* it = icalrecur_iterator_new(rule, event.start);
        if (it == nullptr) continue;
        // Straight to the window where the rule allows it (not with COUNT,
        // which counts from the first occurrence).
        if (rule.count == 0 && from - event.length > event.firstStart) {
            icalrecur_iterator_set_start(it, timeIn(from - event.length, event.zone, event.wholeDays));
        }
        for (int step = 0; step < kMostSteps; ++step) {
            const icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next)) break;
            const std::time_t start = unixTime(next, event.zone);
            if (start >= to) break;
            take(start);
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty* p = icalcomponent_get_first_property(event.component, ICAL_RDATE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event.component, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
        const icaltimetype t = icaltime_is_null_time(value.time) ? value.period.start : value.time;
        if (!icaltime_is_null_time(t)) take(unixTime(t, zoneOf(p, t, calendar)));
    }
    const TExceptions exceptions = exceptionsOf(event, calendar);
    std::erase_if(starts, [&](std::time_t start) { return exceptions.leaveOut(start); });
    return starts;
}

// The free/busy periods of a VFREEBUSY that are not free.
void readFreeBusy(icalcomponent* freeBusy, std::time_t from, std::time_t to, std::vector<TBusyTime>& out) {
    for (icalproperty* p = icalcomponent_get_first_property(freeBusy, ICAL_FREEBUSY_PROPERTY); p != nullptr;
         p = icalcomponent_get_next_property(freeBusy, ICAL_FREEBUSY_PROPERTY)) {
        icalparameter_fbtype type = ICAL_FBTYPE_BUSY;
        if (icalparameter* kind = icalproperty_get_first_parameter(p, ICAL_FBTYPE_PARAMETER))
            type = icalparameter_get_fbtype(kind);
        if (type == ICAL_FBTYPE_FREE) continue;
        const icalperiodtype period = icalproperty_get_freebusy(p);
        if (icaltime_is_null_time(period.start)) continue;
        const icaltimezone* utc = icaltimezone_get_utc_timezone();
        const std::time_t start = unixTime(period.start, period.start.zone ? period.start.zone : utc);
        const std::time_t end = icaltime_is_null_time(period.end)
                                    ? start + icaldurationtype_as_int(period.duration)
                                    : unixTime(period.end, period.end.zone ? period.end.zone : utc);
        if (end <= start || start >= to || end <= from) continue;
        out.push_back({"freebusy|" + std::to_string(start) + "|" + std::to_string(end), start, end,
                       type == ICAL_FBTYPE_BUSYUNAVAILABLE});
    }
}

void readCalendar(icalcomponent* calendar, std::time_t from, std::time_t to, std::vector<TBusyTime>& out) {
    // Occurrences changed on their own, by event and original start.
    std::map<std::string, std::set<std::time_t>> changedAlone;
    std::vector<TEvent> series;
    std::vector<std::pair<TEvent, std::time_t>> changed;  // and its original start
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); c != nullptr;
         c = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        const auto event = eventOf(c, calendar);
        if (!event) continue;
        icalproperty* recurrence = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        if (recurrence == nullptr) {
            series.push_back(*event);
            continue;
        }
        const icaltimetype original = icalproperty_get_recurrenceid(recurrence);
        const std::time_t originalStart = unixTime(original, zoneOf(recurrence, original, calendar));
        changedAlone[event->uid].insert(originalStart);
        changed.emplace_back(*event, originalStart);
    }
    const auto add = [&](const TEvent& event, std::time_t start, std::time_t original) {
        if (!event.busy || out.size() >= kMostBusyTimes) return;
        const std::time_t end = endOf(event, start);
        if (end <= start || start >= to || end <= from) return;
        out.push_back({event.uid + "|" + std::to_string(original), start, end, event.outOfOffice});
    };
    for (const TEvent& event : series) {
        const auto alone = changedAlone.find(event.uid);
        for (const std::time_t start : startsOf(event, calendar, from, to)) {
            if (alone != changedAlone.end() && alone->second.count(start)) continue;
            add(event, start, start);
        }
    }
    for (const auto& [event, original] : changed) add(event, event.firstStart, original);
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VFREEBUSY_COMPONENT);
         c != nullptr; c = icalcomponent_get_next_component(calendar, ICAL_VFREEBUSY_COMPONENT)) {
        readFreeBusy(c, from, to, out);
    }
}

}  // namespace

std::vector<TBusyTime> readBusyTimes(std::string_view text, std::time_t from, std::time_t to) {
    prepareLibrary();
    if (!holdsLine(text, "BEGIN:VCALENDAR"))
        throw TCalendarError("the answer is no iCalendar file (no BEGIN:VCALENDAR)");
    if (!holdsLine(text, "END:VCALENDAR"))
        throw TCalendarError("the calendar is cut short (no END:VCALENDAR)");
    const std::string copy(text);  // libical reads a text that ends in a zero byte
    TComponent root(icalparser_parse_string(copy.c_str()));
    if (!root) throw TCalendarError("the calendar cannot be read");

    // The zones this reading holds go with it.
    struct Release {
        ~Release() { heldZones.clear(); }
    } release;
    std::vector<TBusyTime> busy;
    std::size_t calendars = 0;
    const auto read = [&](icalcomponent* calendar) {
        ++calendars;
        readCalendar(calendar, from, to, busy);
    };
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        read(root.get());
    } else {
        for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             c != nullptr; c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT)) {
            read(c);
        }
    }
    if (calendars == 0) throw TCalendarError("the answer holds no VCALENDAR");
    std::stable_sort(busy.begin(), busy.end(),
                     [](const TBusyTime& a, const TBusyTime& b) { return a.start < b.start; });
    return busy;
}

}  // namespace zv::calendar
