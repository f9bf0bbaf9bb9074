#include "protocol/step_context.h"

#include "stores/file_access.h"

namespace zv {

void TStepContext::notifyMessage(TWYWONode& message) {
    batch_.commitNow();
    // Sending the notice may serve other work while it waits for the mail
    // host; saves made by that work are not part of this step.
    fileio::TDirectorySyncSuspension outsideTheStep;
    host_.notifyMessage(message);
}

}  // namespace zv
