#pragma once
// What the maintenance API's operations share: the save that undoes the
// change when it fails, and the refusal of a text no record field may hold.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "host/admin_operations.h"

namespace zv {

// Saves now; when the save fails, `undo` puts the store back as it was and
// the failure goes on to the caller. With the dialog: nothing yet.
void saveOrUndo(Saving saving, const std::function<void()>& save, const std::function<void()>& undo);

// A text that no record field may hold (a line break, a zero byte, a
// separator of the record codec: it would split the record on the wire),
// refused naming the field; nothing when the text fits.
std::optional<TAdminResult> unfitText(const std::string& text, std::string_view field,
                                      std::string_view label);

}  // namespace zv
