#include "web/directory_sign_in.h"

#include <chrono>

#include "host/maintenance_api.h"
#include "host/settings.h"

namespace zv::web {

bool signInAsksDirectory(TWebServices& s) { return !s.host.settings().DirectoryURI.empty(); }

TReply afterDirectoryCheck(TWebServices& s, const std::string& name, const std::string& password,
                           std::function<TReply(const TDirectoryCheck&)> then) {
    // A check is a few questions (the search account's bind, the search, the
    // person's bind, the groups), each bounded by the Timeout; a check queued
    // behind others waits for them too.
    const int timeout = s.host.settings().directoryTimeoutSeconds;
    TAwaited awaited;
    awaited.limit = std::chrono::seconds(3 * timeout + 2);
    awaited.ask = [&s, name, password, then](std::function<void(TReply)> answer) {
        s.host.checkDirectoryPassword(name, password, [then, answer](const TDirectoryCheck& check) {
            answer(onMainLoop([then, check] { return then(check); }));
        });
    };
    awaited.late = [then, timeout] {
        TDirectoryCheck check;
        check.answer.outcome = TDirectorySignIn::Outcome::Unavailable;
        check.answer.why = "no answer within " + std::to_string(3 * timeout + 2) + " seconds";
        return onMainLoop([then, check] { return then(check); });
    };
    return awaiting(std::move(awaited));
}

}  // namespace zv::web
