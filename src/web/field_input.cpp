#include "web/field_input.h"

#include <nlohmann/json.hpp>

#include "stores/code_page.h"

namespace zv::web {

namespace {

std::string quoted(std::string_view label) { return "\"" + std::string(label) + "\""; }

}  // namespace

nlohmann::json inputWidths(std::initializer_list<TTextField> fields) {
    nlohmann::json widths = nlohmann::json::object();
    for (const TTextField& field : fields) widths[std::string(field.json)] = longestText(field.width);
    return widths;
}

nlohmann::json parseBody(const std::string& body) {
    if (body.empty()) return nlohmann::json::object();
    nlohmann::json value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded()) throw TInputError({}, "The request is not valid JSON.");
    if (!value.is_object()) throw TInputError({}, "The request must be a JSON object.");
    return value;
}

std::string recordText(const nlohmann::json& body, const TTextField& field, Need need) {
    const std::string name(field.json);
    const auto it = body.find(name);
    if (it == body.end() || it->is_null()) {
        if (need != Need::Optional) throw TInputError(name, "The field " + quoted(field.label) + " is missing.");
        return {};
    }
    if (!it->is_string()) throw TInputError(name, "The field " + quoted(field.label) + " must be a text.");
    const std::string& text = it->get_ref<const std::string&>();
    if (need == Need::NotEmpty && text.empty()) {
        throw TInputError(name, "The field " + quoted(field.label) + " is empty.");
    }

    std::string bytes;
    try {
        bytes = codepage::fromUtf8(text, field.label);
    } catch (const codepage::CodePageError& e) {
        throw TInputError(name, e.what());
    }
    if (std::string why = recordTextRefusal(bytes, field.label); !why.empty()) throw TInputError(name, why);
    // One byte is one character in the code page, so the cut never splits one.
    if (field.width > 0 && bytes.size() > longestText(field.width)) bytes.resize(longestText(field.width));
    return bytes;
}

std::string checkMark(const nlohmann::json& body, std::string_view json, std::string_view label) {
    const auto it = body.find(std::string(json));
    if (it == body.end() || it->is_null()) return {};
    if (!it->is_boolean()) {
        throw TInputError(std::string(json), "The check mark " + quoted(label) + " must be true or false.");
    }
    return it->get<bool>() ? "X" : "";
}

std::string shownText(std::string_view recordBytes) { return codepage::toUtf8(recordBytes); }

}  // namespace zv::web
