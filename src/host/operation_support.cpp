#include "host/operation_support.h"

#include "host/record_fields.h"

namespace zv {

void saveOrUndo(Saving saving, const std::function<void()>& save, const std::function<void()>& undo) {
    if (saving == Saving::WithTheDialog) return;
    try {
        save();
    } catch (...) {
        undo();
        throw;
    }
}

std::optional<TAdminResult> unfitText(const std::string& text, std::string_view field,
                                      std::string_view label) {
    std::string why = recordTextRefusal(text, label);
    if (why.empty()) return std::nullopt;
    return TAdminResult::refused(std::string(field), std::move(why));
}

}  // namespace zv
