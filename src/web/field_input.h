#pragma once
// Texts a browser sends, turned into record bytes: converted to the clients'
// code page, refused when a record field cannot hold them (the host's
// recordTextRefusal), and cut to the width of the field's slot, leaving room
// for the terminating zero byte. Every refusal names the field.

#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "host/record_fields.h"

namespace zv::web {

// A request body or field that cannot be taken; `field` is the JSON name of
// the field (empty for the body as a whole).
class TInputError : public std::runtime_error {
public:
    TInputError(std::string field, const std::string& what)
        : std::runtime_error(what), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

private:
    std::string field_;
};

// One text field of a request: its JSON name, the name a person reads, and
// the slot width of the record field it goes to.
struct TTextField {
    std::string_view json;
    std::string_view label;
    std::size_t width;
};

// How long each field's text may be, as the page limits its inputs:
// {json name: characters}.
nlohmann::json inputWidths(std::initializer_list<TTextField> fields);

// The request body as a JSON object; an empty body is an empty object.
nlohmann::json parseBody(const std::string& body);

// How much of a field a request must give.
enum class Need {
    Optional,  // missing is empty
    Present,   // must be there, may be empty
    NotEmpty,  // must be there and hold something
};

// The field as record bytes; refused when it does not meet `need` or is not
// a text.
std::string recordText(const nlohmann::json& body, const TTextField& field, Need need = Need::Optional);

// A check mark sent as true or false (missing: false); true becomes "X", the
// text a client stores for a set mark.
std::string checkMark(const nlohmann::json& body, std::string_view json, std::string_view label);

// Record bytes as the page shows them (UTF-8).
std::string shownText(std::string_view recordBytes);

}  // namespace zv::web
