#pragma once
// Tells systemd how a Type=notify service is doing: READY=1 once clients can
// connect, STOPPING=1 when the stop begins. Started any other way
// (NOTIFY_SOCKET unset) these do nothing.

#include <string>

namespace zv::app {

// READY=1, with `status` as the line `systemctl status` shows.
void notifyReady(const std::string& status);
// STOPPING=1.
void notifyStopping();

}  // namespace zv::app
