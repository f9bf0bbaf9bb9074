#pragma once
// What the route handlers work with. The parts are owned by TWebServer; the
// handlers keep references for the life of the server.

namespace zv {
class TMaintenanceApi;
}

#include <string>

namespace zv::web {

class TBoardFeed;
class TConnectionLimits;
class TLiveStreams;
class TPasswordWorker;
class TRouter;
class TSignInThrottle;
class TWebSessions;

struct TWebServices {
    TMaintenanceApi& host;
    TWebSessions& sessions;
    TSignInThrottle& throttle;
    TBoardFeed& board;
    TPasswordWorker& worker;
    TLiveStreams& streams;
    TConnectionLimits& connections;
    // [Web] MetricsToken as the HTTP side started (empty: the metrics are
    // open to this computer only).
    const std::string& metricsToken;
};

// The page: "/" and each compiled file.
void addPageRoutes(TRouter& router);
// A compiled file as the answer to `request` (304 when the browser holds it).
struct TAsset;
struct TReply;
struct TRequest;
TReply assetReply(const TAsset& asset, const TRequest& request);
// The employees' API under /api/.
void addEmployeeRoutes(TRouter& router, TWebServices& services);
// The administrator's sign-in under /api/admin/.
void addAdminSignInRoutes(TRouter& router, TWebServices& services);
// The rest of the administrator's API under /api/admin/.
void addAdminDataRoutes(TRouter& router, TWebServices& services);
// What those who run the server use: /healthz, /metrics and the backup.
void addServiceRoutes(TRouter& router, TWebServices& services);
// The planned absences: an employee's own, and everyone's for the administrator.
void addScheduleRoutes(TRouter& router, TWebServices& services);
// The accounts' calendars and the hosts they come from, for the administrator.
void addCalendarRoutes(TRouter& router, TWebServices& services);
// One-tap statuses, returning times, the employee's messages, the phonebook.
void addStatusRoutes(TRouter& router, TWebServices& services);
// The office's absences as calendar feeds at secret addresses, and their
// management.
void addCalendarFeedRoutes(TRouter& router, TWebServices& services);
// The lobby displays at secret addresses without a sign-in, and their
// management.
void addDisplayRoutes(TRouter& router, TWebServices& services);
// The front desk: a front-desk account changes anyone's status; the
// administrator says who is at the front desk.
void addFrontDeskRoutes(TRouter& router, TWebServices& services);
// The office's directory and team chat on the administration's Options page.
void addOfficeRoutes(TRouter& router, TWebServices& services);

}  // namespace zv::web
