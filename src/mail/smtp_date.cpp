#include "mail/smtp_date.h"

#include <cstdio>
#include <cstdlib>

namespace zv {

namespace {
constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string formatDate(const std::tm& tm, const std::string& zone) {
    const int wday = (tm.tm_wday >= 0 && tm.tm_wday < 7) ? tm.tm_wday : 0;
    const int mon = (tm.tm_mon >= 0 && tm.tm_mon < 12) ? tm.tm_mon : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d ", kDayNames[wday], tm.tm_mday,
                  kMonthNames[mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text + zone;
}
}  // namespace

std::string smtpZoneText(long secondsEastOfUtc) {
    const char sign = secondsEastOfUtc < 0 ? '-' : '+';
    const long minutes = std::labs(secondsEastOfUtc) / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld%02ld", sign, (minutes / 60) % 100, minutes % 60);
    return text;
}

std::string smtpDateText(const std::tm& local) { return formatDate(local, smtpZoneText(local.tm_gmtoff)); }

std::string smtpDateText(std::time_t t) {
    std::tm local{};
    if (localtime_r(&t, &local) != nullptr) return smtpDateText(local);
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr) utc = std::tm{};
    return formatDate(utc, "+0000");
}

}  // namespace zv
