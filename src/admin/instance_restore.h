// Connects the single-instance guard to the main window: a second start of
// the program asks the running one to show itself, and the window comes back
// from the tray (or the task bar). The request arrives on the guard's thread
// and is handed to the main loop; a window that is gone by then is left alone.
#pragma once

namespace zv {
class SingleInstanceGuard;
}

namespace zv::admin {

class TServerForm;

// `guard` must have been acquired; it must outlive the loop's last pump.
void restoreOnSecondStart(SingleInstanceGuard& guard, TServerForm& form);

}  // namespace zv::admin
