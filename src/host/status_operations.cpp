// The maintenance API's one-tap statuses: kept by the administrator in the
// settings file, read by every board page.

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/server_parts.h"

namespace zv {

std::vector<TStatusPreset> TMaintenanceApi::statusPresets() const {
    TStatusPresetsRead read = readStatusPresets(parts_.settings.StatusPresets);
    // A text edited by hand that does not read: the board keeps working with
    // the defaults.
    return read.refusal.empty() ? std::move(read.presets) : defaultStatusPresets();
}

TAdminResult TMaintenanceApi::changeStatusPresets(const std::string& who,
                                                  const std::vector<TStatusPreset>& presets) {
    if (std::string why = statusPresetRefusal(presets); !why.empty())
        return TAdminResult::refused("presets", why);
    TSettings& settings = parts_.settings;
    const TSettings before = settings;
    settings.StatusPresets = statusPresetsText(presets);
    if (settings.StatusPresets == before.StatusPresets) return TAdminResult::done();
    try {
        parts_.saveSettingChanges(before);
    } catch (...) {
        settings = before;
        throw;
    }
    auditAdminChange(parts_.view, who, "set [Board] StatusPresets to \"" + settings.StatusPresets + "\"");
    return TAdminResult::done();
}

}  // namespace zv
