#pragma once
// What the route handlers work with. The parts are owned by TWebServer; the
// handlers keep references for the life of the server.

namespace zv {
class TMaintenanceApi;
}

namespace zv::web {

class TBoardFeed;
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
};

// The page: "/" and each compiled file.
void addPageRoutes(TRouter& router);
// The employees' API under /api/.
void addEmployeeRoutes(TRouter& router, TWebServices& services);
// The administrator's sign-in under /api/admin/.
void addAdminSignInRoutes(TRouter& router, TWebServices& services);
// The rest of the administrator's API under /api/admin/.
void addAdminDataRoutes(TRouter& router, TWebServices& services);

}  // namespace zv::web
