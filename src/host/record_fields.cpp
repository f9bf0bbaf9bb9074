#include "host/record_fields.h"

#include "stores/record_codec.h"

namespace zv {

namespace {

std::string quoted(std::string_view label) { return "\"" + std::string(label) + "\""; }

}  // namespace

std::string recordTextRefusal(std::string_view bytes, std::string_view label) {
    if (bytes.find_first_of("\r\n") != std::string_view::npos) {
        return "The field " + quoted(label) + " must be one line: line breaks are not allowed.";
    }
    if (bytes.find('\0') != std::string_view::npos) {
        return "The field " + quoted(label) + " must not hold a zero character.";
    }
    for (const std::string_view separator : {kFieldSeparator, kRecordSeparator}) {
        if (bytes.find(separator) != std::string_view::npos) {
            return "The field " + quoted(label) + " must not hold the text \"" + std::string(separator) + "\".";
        }
    }
    return {};
}

}  // namespace zv
