#pragma once
// What the front ends need to know of the records' fields to take input for
// them: the width of each field's slot, from the stores' field tables, and
// the texts a field cannot hold.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "stores/record_layout.h"

namespace zv {

// The slot width of a record field, from the record's layout table.
template <class Node>
constexpr std::size_t slotWidth(std::string_view recordField) {
    for (const auto& f : RecordLayout<Node>::kFields) {
        if (f.name == recordField) return f.width;
    }
    throw std::logic_error("no such record field");
}

// The longest text a slot of `width` bytes keeps: it keeps its terminating
// zero byte, and one byte is one character in the code page.
constexpr std::size_t longestText(std::size_t width) { return width > 0 ? width - 1 : 0; }

// Why `bytes` (record bytes) cannot go into the field `label` names: a line
// break, a zero byte or one of the record codec's separators, which would
// split the record on the wire. Empty when it can.
std::string recordTextRefusal(std::string_view bytes, std::string_view label);

}  // namespace zv
