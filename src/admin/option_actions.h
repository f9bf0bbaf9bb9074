// The option dialogs as the main window runs them from its "&Options" menu:
// each shows the setting's current text and, after it closes, OK hands the
// new text to the host's changeOptions (which checks it, takes it and writes
// the settings file), while Cancel (or the close box) reads the whole
// settings file back. Each returns true when the new value was taken.
#pragma once

class QWidget;

namespace zv {
class TMaintenanceApi;
}

namespace zv::admin {

bool openSmtpOptions(QWidget* parent, TMaintenanceApi& host);
// OK also shows the new port in the status bar's port panel.
bool openPortOptions(QWidget* parent, TMaintenanceApi& host);
// OK with no entry selected counts as Cancel.
bool openBlockSizeOptions(QWidget* parent, TMaintenanceApi& host);
bool openExpDaysOptions(QWidget* parent, TMaintenanceApi& host);
// OK also makes the new size the status change log's limit at once.
bool openMaxLogSizeOptions(QWidget* parent, TMaintenanceApi& host);
// The web port (from the next start) and the administrator's password for
// the administration pages (its hash is made while the window keeps serving).
bool openWebAccessOptions(QWidget* parent, TMaintenanceApi& host);
// The end-of-day punch-out time; a time that is not one is refused with a
// warning and the setting left as it was.
bool openAutoOutOptions(QWidget* parent, TMaintenanceApi& host);

}  // namespace zv::admin
