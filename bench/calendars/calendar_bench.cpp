// 500 accounts' calendars read every 15 minutes, against a zelvorad of its
// own and a small web server of the bench's own (calendar_server.py). Each
// calendar is an Outlook-style file of about 40 KB: recurring meetings in a
// time zone of its own, a daily stand-up with an exception and a
// cancellation, meetings ahead, an out-of-office day, free events, and a
// year of past meetings.
//
// Every figure is set against a floor measured in the same run: libcurl
// alone fetching the same 500 calendars, as many at once as the server
// fetches them, and doing nothing with them.
//  - The first reading (every calendar new: its absences made): the
//    server's CPU time against the floor's.
//  - A further reading (what every 15 minutes costs when the calendars did
//    not change): the server's CPU time against the floor's, and the share
//    of one core that reading every 15 minutes takes.
//  - Memory: the server's resident memory with the calendars read against
//    the same server before any calendar was set; and the bytes it wrote.
//
// Usage: calendar_bench [--calendars N] [--rounds N]

#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "calendar_server.h"
#include "http_client.h"
#include "process_figures.h"
#include "record_files.h"
#include "server_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using zv::bench::readProcessFigures;
using zv::bench::TProcessFigures;

std::string employeeKey(int i) { return "Desk" + std::to_string(1000 + i) + ",Calendar"; }

// A moment as an iCalendar UTC time, or as a local time without zone.
std::string icalTime(std::time_t t, bool utc = true) {
    std::tm parts{};
    ::gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, utc ? "%Y%m%dT%H%M%SZ" : "%Y%m%dT%H%M%S", &parts);
    return text;
}

std::string icalDate(std::time_t t) { return icalTime(t).substr(0, 8); }

// Calendar `i`, as Outlook publishes one.
std::string calendarOf(int i, std::time_t now) {
    const std::string tz = "TZID=W. Europe Standard Time:";
    const std::string uid = "040000008200E00074C5B7101A82E008000000" + std::to_string(100000 + i);
    std::string t;
    const auto line = [&t](const std::string& text) { t += text + "\r\n"; };
    line("BEGIN:VCALENDAR");
    line("METHOD:PUBLISH");
    line("PRODID:Microsoft Exchange Server 2010");
    line("VERSION:2.0");
    line("X-WR-CALNAME:Calendar");
    for (const char* l :
         {"BEGIN:VTIMEZONE", "TZID:W. Europe Standard Time", "BEGIN:STANDARD", "DTSTART:16010101T030000",
          "TZOFFSETFROM:+0200", "TZOFFSETTO:+0100", "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=10",
          "END:STANDARD", "BEGIN:DAYLIGHT", "DTSTART:16010101T020000", "TZOFFSETFROM:+0100",
          "TZOFFSETTO:+0200", "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3", "END:DAYLIGHT",
          "END:VTIMEZONE"})
        line(l);
    const auto event = [&](const std::string& id, const std::vector<std::string>& body) {
        line("BEGIN:VEVENT");
        line("UID:" + uid + id);
        for (const std::string& l : body) line(l);
        line("CLASS:PUBLIC");
        line("PRIORITY:5");
        line("DTSTAMP:20260101T000000Z");
        line("END:VEVENT");
    };
    const std::time_t longAgo = now - 200 * 86400;
    // Three weekly meetings since long ago.
    for (int m = 0; m < 3; ++m) {
        const std::time_t start = longAgo + m * 2 * 86400 + (9 + m * 2) * 3600;
        event("W" + std::to_string(m),
              {"SUMMARY:Weekly meeting " + std::to_string(m), "DTSTART;" + tz + icalTime(start, false),
               "DTEND;" + tz + icalTime(start + 3600, false), "RRULE:FREQ=WEEKLY;INTERVAL=1", "TRANSP:OPAQUE",
               "X-MICROSOFT-CDO-BUSYSTATUS:BUSY"});
    }
    // A stand-up on working days, one moved and one cancelled.
    const std::time_t standup = longAgo + 8 * 3600 + 30 * 60;
    event("S", {"SUMMARY:Stand-up", "DTSTART;" + tz + icalTime(standup, false),
                "DTEND;" + tz + icalTime(standup + 900, false), "RRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR",
                "X-MICROSOFT-CDO-BUSYSTATUS:BUSY"});
    const std::time_t day = (now / 86400) * 86400;
    for (int d = 2; d <= 3; ++d) {
        const std::time_t original = day + d * 86400 + 7 * 3600 + 30 * 60;
        event("S", {"RECURRENCE-ID;" + tz + icalTime(original + 3600, false), "SUMMARY:Stand-up",
                    "DTSTART;" + tz + icalTime(original + (d == 2 ? 7200 : 3600), false),
                    "DTEND;" + tz + icalTime(original + (d == 2 ? 8100 : 4500), false),
                    d == 2 ? "X-MICROSOFT-CDO-BUSYSTATUS:BUSY" : "STATUS:CANCELLED"});
    }
    // Meetings ahead, an out-of-office day, free events.
    for (int k = 0; k < 6; ++k) {
        const std::time_t start = now + (k * 2 + 1) * 86400 + ((i + k) % 8) * 3600;
        event("A" + std::to_string(k),
              {"SUMMARY:Customer meeting", "DTSTART:" + icalTime(start), "DTEND:" + icalTime(start + 5400),
               "X-MICROSOFT-CDO-BUSYSTATUS:BUSY"});
    }
    event("O", {"SUMMARY:Training", "DTSTART;VALUE=DATE:" + icalDate(now + (5 + i % 5) * 86400),
                "DTEND;VALUE=DATE:" + icalDate(now + (6 + i % 5) * 86400), "X-MICROSOFT-CDO-BUSYSTATUS:OOF"});
    for (int k = 0; k < 2; ++k) {
        const std::time_t start = now + (k + 1) * 86400 + 12 * 3600;
        event("F" + std::to_string(k),
              {"SUMMARY:Lunch", "DTSTART:" + icalTime(start), "DTEND:" + icalTime(start + 3600),
               "TRANSP:TRANSPARENT", "X-MICROSOFT-CDO-BUSYSTATUS:FREE"});
    }
    // A year of past meetings, as published calendars carry them.
    for (int k = 0; k < 120; ++k) {
        const std::time_t start = now - (k * 3 + 2) * 86400 + 10 * 3600;
        event("P" + std::to_string(k),
              {"SUMMARY:Past meeting " + std::to_string(k),
               "DESCRIPTION:Minutes and agenda were sent by mail before the meeting.",
               "LOCATION:Room " + std::to_string(k % 12), "DTSTART:" + icalTime(start),
               "DTEND:" + icalTime(start + 3600), "X-MICROSOFT-CDO-BUSYSTATUS:BUSY"});
    }
    line("END:VCALENDAR");
    return t;
}

// The floor: libcurl alone fetching `addresses`, `atOnce` at a time; the
// CPU time this process spent and the bytes that came.
struct TFloor {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::size_t bytes = 0;
};

double ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TFloor fetchAlone(const std::vector<std::string>& addresses, int atOnce) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLM* multi = curl_multi_init();
    std::vector<std::string> bodies(addresses.size());
    const auto collect = +[](char* data, std::size_t size, std::size_t count, void* body) {
        static_cast<std::string*>(body)->append(data, size * count);
        return size * count;
    };
    TFloor floor;
    const double cpuBefore = ownCpuSeconds();
    const auto started = Clock::now();
    std::size_t next = 0, running = 0;
    const auto add = [&] {
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, addresses[next].c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bodies[next]);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_multi_add_handle(multi, easy);
        ++next;
        ++running;
    };
    while (next < addresses.size() && running < static_cast<std::size_t>(atOnce)) add();
    while (running > 0) {
        int active = 0;
        curl_multi_perform(multi, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            curl_multi_remove_handle(multi, message->easy_handle);
            curl_easy_cleanup(message->easy_handle);
            --running;
            if (next < addresses.size()) add();
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    floor.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    floor.cpuSeconds = ownCpuSeconds() - cpuBefore;
    for (const std::string& body : bodies) floor.bytes += body.size();
    curl_multi_cleanup(multi);
    return floor;
}

// The calendars' lines once every calendar was read after what `before`
// holds (its lastRead moved past it, no failure noted) and none is being
// read. Throws when that does not come within 5 minutes.
json waitForReading(zv::test::HttpClient& admin, const std::map<std::string, long long>& before) {
    const auto limit = Clock::now() + std::chrono::minutes(5);
    for (;;) {
        const json calendars = json::parse(admin.get("/api/admin/calendars").body)["calendars"];
        bool done = !calendars.empty();
        for (const json& c : calendars) {
            const long long read = c["lastRead"].is_number() ? c["lastRead"].get<long long>() : -1;
            const auto was = before.find(c["employee"]);
            if (c["reading"] || read < 0 || (was != before.end() && read <= was->second) || c["note"] != "") {
                if (Clock::now() > limit) throw std::runtime_error("a calendar was not read: " + c.dump());
                done = false;
                break;
            }
        }
        if (done) return calendars;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

std::map<std::string, long long> lastReads(const json& calendars) {
    std::map<std::string, long long> reads;
    for (const json& c : calendars) reads[c["employee"]] = c["lastRead"].get<long long>();
    return reads;
}

}  // namespace

int run(int argc, char** argv) {
    int count = 500;
    int rounds = 2;
    for (int a = 1; a + 1 < argc; a += 2) {
        if (std::strcmp(argv[a], "--calendars") == 0) count = std::atoi(argv[a + 1]);
        if (std::strcmp(argv[a], "--rounds") == 0) rounds = std::max(2, std::atoi(argv[a + 1]));
    }
    const std::time_t now = std::time(nullptr);
    zv::test::CalendarServer web;
    std::vector<std::string> addresses;
    std::size_t calendarBytes = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = calendarOf(i, now);
        calendarBytes += text.size();
        web.serve("c" + std::to_string(i) + ".ics", text);
        addresses.push_back(web.address("c" + std::to_string(i) + ".ics"));
    }
    std::printf("%d calendars of %.0f KB each on average (%.1f MB in all)\n", count,
                static_cast<double>(calendarBytes) / count / 1024.0,
                static_cast<double>(calendarBytes) / 1048576.0);

    zv::test::ServerProcess server(ZV_ZELVORAD_PATH);
    server.enableWeb();
    std::vector<zv::test::Fields> board;
    for (int i = 0; i < count; ++i)
        board.push_back(zv::test::boardRecord(employeeKey(i), "pw", "Sales", "In"));
    zv::test::writeRecordFile(server.dataFile("wiwo.dat"), zv::test::RecordKind::Board, board);
    server.start();
    zv::test::HttpClient admin(server.webPort());
    admin.adminSetUp("bench-office-keys");

    // The calendars set while no host is allowed: nothing is fetched yet.
    for (int i = 0; i < count; ++i) {
        admin.request("PUT", "/api/admin/calendars",
                      json{{"employee", employeeKey(i)}, {"address", addresses[i]}}.dump());
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the refusals of the hosts not allowed settle
    const TProcessFigures idle = readProcessFigures(server.pid());

    // The first reading: every calendar new.
    auto started = Clock::now();
    admin.request("PUT", "/api/admin/calendar-hosts", R"({"allowedHosts":"127.0.0.1"})");
    json calendars = waitForReading(admin, {});
    const double firstWall = std::chrono::duration<double>(Clock::now() - started).count();
    const TProcessFigures afterFirst = readProcessFigures(server.pid());
    const std::size_t absences = json::parse(admin.get("/api/admin/absences").body)["absences"].size();

    // Further readings, the calendars unchanged, as every 15 minutes.
    double furtherCpu = 0, furtherWall = 0;
    TProcessFigures last = afterFirst;
    for (int r = 1; r < rounds; ++r) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(1100));  // a reading's second differs from the last
        const auto before = lastReads(calendars);
        const TProcessFigures start = readProcessFigures(server.pid());
        started = Clock::now();
        admin.request("POST", "/api/admin/calendars/read", "{}");
        calendars = waitForReading(admin, before);
        furtherWall += std::chrono::duration<double>(Clock::now() - started).count();
        last = readProcessFigures(server.pid());
        furtherCpu += last.cpuSeconds - start.cpuSeconds;
    }
    furtherCpu /= rounds - 1;
    furtherWall /= rounds - 1;

    const TFloor floor = fetchAlone(addresses, 8);
    const double firstCpu = afterFirst.cpuSeconds - idle.cpuSeconds;
    std::printf("floor: libcurl alone fetched the %d calendars (%.1f MB) in %.2f s, %.3f s of CPU\n", count,
                static_cast<double>(floor.bytes) / 1048576.0, floor.wallSeconds, floor.cpuSeconds);
    std::printf("first reading (%zu absences made): %.2f s, server CPU %.2f s = %.1f x the floor\n", absences,
                firstWall, firstCpu, firstCpu / floor.cpuSeconds);
    std::printf(
        "each further reading, calendars unchanged: %.2f s, server CPU %.2f s = %.1f x the floor; "
        "every 15 minutes: %.3f%% of one core\n",
        furtherWall, furtherCpu, furtherCpu / floor.cpuSeconds, 100.0 * furtherCpu / (15 * 60));
    std::printf(
        "memory: RSS %.1f MB with the calendars read against %.1f MB before = %.2f x (peak %.1f MB); "
        "schedule.dat %.1f MB; written %.1f MB by the first reading, %.1f MB by each further one\n",
        last.residentMB, idle.residentMB, last.residentMB / idle.residentMB, last.peakResidentMB,
        static_cast<double>(zv::test::readFile(server.dataFile("schedule.dat")).size()) / 1048576.0,
        afterFirst.writtenMB - idle.writtenMB, (last.writtenMB - afterFirst.writtenMB) / (rounds - 1));
    server.stop();
    return 0;
}

int main(int argc, char** argv) {
    // The server and the calendars' web server stop with their objects,
    // whatever ends the run.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "calendar_bench: %s\n", e.what());
        return 1;
    }
}
