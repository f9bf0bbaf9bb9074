#include "calendar/ical_feed.h"

#include <libical/ical.h>

#include <memory>

namespace zv::calendar {

namespace {

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

icaltimetype utcTime(std::time_t t) {
    return icaltime_from_timet_with_zone(t, 0, icaltimezone_get_utc_timezone());
}

void addText(icalcomponent* to, icalproperty* (*make)(const char*), const std::string& text) {
    icalcomponent_add_property(to, make(text.c_str()));
}

}  // namespace

std::string feedCalendar(const std::string& name, const std::vector<TFeedEvent>& events, std::time_t now) {
    std::unique_ptr<icalcomponent, ComponentFree> calendar(icalcomponent_new_vcalendar());
    icalcomponent* c = calendar.get();
    addText(c, &icalproperty_new_version, "2.0");
    addText(c, &icalproperty_new_prodid, "-//Zelvora//Zelvora Admin/Server//EN");
    addText(c, &icalproperty_new_calscale, "GREGORIAN");
    icalcomponent_add_property(c, icalproperty_new_method(ICAL_METHOD_PUBLISH));
    icalproperty* calendarName = icalproperty_new_x(name.c_str());
    icalproperty_set_x_name(calendarName, "X-WR-CALNAME");
    icalcomponent_add_property(c, calendarName);

    for (const TFeedEvent& event : events) {
        icalcomponent* e = icalcomponent_new_vevent();
        addText(e, &icalproperty_new_uid, event.uid);
        icalcomponent_add_property(e, icalproperty_new_dtstamp(utcTime(now)));
        icalcomponent_add_property(e, icalproperty_new_dtstart(utcTime(event.start)));
        icalcomponent_add_property(e, icalproperty_new_dtend(utcTime(event.end)));
        addText(e, &icalproperty_new_summary, event.summary);
        if (!event.description.empty()) addText(e, &icalproperty_new_description, event.description);
        icalcomponent_add_property(e, icalproperty_new_transp(ICAL_TRANSP_OPAQUE));
        icalcomponent_add_component(c, e);
    }
    char* text = icalcomponent_as_ical_string_r(c);
    if (text == nullptr) return {};
    std::string out(text);
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace zv::calendar
