// The maintenance API's operations on the settings: the options and the
// administrator's password. Each checks, changes, saves the settings file
// (or puts the settings back as they were and throws), and records the change.

#include <exception>

#include "host/admin_audit.h"
#include "host/auto_punch_out.h"
#include "host/maintenance_api.h"
#include "host/option_rules.h"
#include "host/server_parts.h"

namespace zv {

TAdminResult TMaintenanceApi::changeOptions(const std::string& who, const TOptionChanges& changes) {
    struct Check {
        const std::optional<std::string>& value;
        const char* field;
        std::string (*refusal)(std::string_view);
    };
    for (const Check& check : {Check{changes.blockSize, "blockSize", &blockSizeRefusal},
                               Check{changes.expDays, "expDays", &expDaysRefusal},
                               Check{changes.maxLogSize, "maxLogSize", &maxLogSizeRefusal},
                               Check{changes.autoOutAt, "autoOutAt", &autoOutAtRefusal},
                               Check{changes.webPort, "webPort", &webPortRefusal}}) {
        if (!check.value) continue;
        if (std::string why = check.refusal(*check.value); !why.empty()) return TAdminResult::refused(check.field, why);
    }

    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    std::string changed;
    // `name`: the setting as the record line names it.
    const auto set = [&changed](std::string& setting, const std::optional<std::string>& value, const char* name) {
        if (!value) return false;
        std::string text = keptSettingText(*value);
        if (text == setting) return false;
        changed += (changed.empty() ? "" : ", ") + std::string(name) + " to " + auditQuoted(text);
        setting = std::move(text);
        return true;
    };
    set(settings.SMTPHost, changes.smtpHost, "SMTPHost");
    const bool portChanged = set(settings.Port, changes.port, "Port");
    set(settings.BlockSize, changes.blockSize, "BlockSize");  // in use from the next settings load
    set(settings.ExpDays, changes.expDays, "ExpDays");
    // Written as the spin box writes it.
    const std::optional<std::string> maxLogSize =
        changes.maxLogSize ? std::optional(std::to_string(*wholeNumber(*changes.maxLogSize))) : std::nullopt;
    const bool logChanged = set(settings.MaxLogSize, maxLogSize, "MaxLogSize");
    const bool autoOutChanged = set(settings.AutoOutAt, changes.autoOutAt, "AutoOutAt");
    set(settings.WebPort, changes.webPort, "the web port");  // used from the next start, as the client port
    if (autoOutChanged) {
        settings.autoOutSecond = autoOutSecondOf(settings.AutoOutAt);
        if (parts_.autoPunchOut) parts_.autoPunchOut->settingChanged();
    }
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        if (autoOutChanged && parts_.autoPunchOut) parts_.autoPunchOut->settingChanged();
        throw;
    }
    if (logChanged) parts_.setLogSizeLimit(*wholeNumber(settings.MaxLogSize));
    if (portChanged) parts_.view.setStatusPanel(kPortPanel, "Port: " + settings.Port);
    if (!changed.empty()) auditAdminChange(parts_.view, who, "set " + changed);
    return TAdminResult::done();
}

TAdminResult TMaintenanceApi::setAdminPasswordHash(const std::string& who, const std::string& hash, bool onlyIfUnset) {
    TSettings& settings = parts_.settings;
    if (onlyIfUnset && !settings.WebAdminPassword.empty()) {
        return TAdminResult::refused("password", "An administrator's password has been set meanwhile; please sign in.");
    }
    const TSettings before = settings;
    settings.WebAdminPassword = hash;
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings.WebAdminPassword = before.WebAdminPassword;
        throw;
    }
    auditAdminChange(parts_.view, who,
                     before.WebAdminPassword.empty() ? "set the administrator's password" : "changed the administrator's password");
    parts_.adminPasswordObservers.notify();
    return TAdminResult::done();
}

}  // namespace zv
