#include "app/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cerrno>
#include <cstring>

#include "host/message_lines.h"

namespace zv::app {

namespace {

void notify(const std::string& state) {
    // The variable stays set: nothing here starts other programs, and a
    // second notification (STOPPING after READY) needs it.
    const int result = ::sd_notify(0, state.c_str());
    if (result < 0) {
        standardErrorLine(LinePriority::Warning,
                          std::string(program_invocation_short_name) +
                              ": cannot tell systemd \"" + state.substr(0, state.find('\n')) +
                              "\": " + std::strerror(-result));
    }
}

}  // namespace

void notifyReady(const std::string& status) { notify("READY=1\nSTATUS=" + status); }

void notifyStopping() { notify("STOPPING=1\nSTATUS=Stopping"); }

}  // namespace zv::app
