#include "admin/instance_restore.h"

#include <QPointer>

#include "admin/server_form.h"
#include "host/maintenance_api.h"
#include "net/single_instance.h"
#include "net/event_loop.h"

namespace zv::admin {

void restoreOnSecondStart(SingleInstanceGuard& guard, TServerForm& form) {
    QPointer<TServerForm> window(&form);
    std::shared_ptr<TLoopHandle> loop = form.maintenance().mainLoop().handle();
    guard.serveRestoreRequests([loop, window] {
        loop->post([window] {
            if (window) window->restoreWindow();
        });
    });
}

}  // namespace zv::admin
