#pragma once
// Text and binary forms of a record, driven by its RecordLayout table.
//
// Record string: the field values joined by kFieldSeparator. Parsing gives the
// pieces to the fields in order; surplus separators stay in the last field and
// fields left without a piece are empty.
// Bundle: count, "|", then each record string followed by kRecordSeparator.
// File record: fixed slots; a value shorter than its slot is followed by one
// zero byte, a value of the slot's width fills it, a longer one is cut.

#include <cstring>
#include <string>
#include <string_view>

#include "stores/record_layout.h"

namespace zv {

inline constexpr std::string_view kFieldSeparator = "<~FLD~>";
inline constexpr std::string_view kRecordSeparator = "<~REC~>";
inline constexpr std::string_view kEmptyBundle = "0|";

template <class Node>
void parseRecordString(Node& node, std::string_view text) {
    const auto& fields = RecordLayout<Node>::kFields;
    const std::size_t last = fields.size() - 1;
    bool exhausted = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string& value = node.*(fields[i].member);
        if (exhausted) {
            value.clear();
            continue;
        }
        if (i == last) {
            value.assign(text);
            break;
        }
        const std::size_t pos = text.find(kFieldSeparator);
        if (pos == std::string_view::npos) {
            value.assign(text);
            exhausted = true;
            continue;
        }
        value.assign(text.substr(0, pos));
        text.remove_prefix(pos + kFieldSeparator.size());
    }
}

template <class Node>
std::size_t recordStringLength(const Node& node) {
    const auto& fields = RecordLayout<Node>::kFields;
    std::size_t length = (fields.size() - 1) * kFieldSeparator.size();
    for (const auto& f : fields) length += (node.*(f.member)).size();
    return length;
}

template <class Node>
void appendRecordString(std::string& out, const Node& node) {
    bool first = true;
    for (const auto& f : RecordLayout<Node>::kFields) {
        if (!first) out.append(kFieldSeparator);
        first = false;
        out.append(node.*(f.member));
    }
}

// Writes the record into `bytes` (RecordLayout<Node>::kRecordSize bytes, which
// the caller has zero-filled).
template <class Node>
void encodeRecord(const Node& node, char* bytes) {
    for (const auto& f : RecordLayout<Node>::kFields) {
        const std::string& value = node.*(f.member);
        const std::size_t n = value.size() < f.width ? value.size() : f.width;
        std::memcpy(bytes + f.offset, value.data(), n);
        if (n < f.width) bytes[f.offset + n] = '\0';
    }
}

// Length of the value in a slot: the bytes before the first zero byte, or
// the whole slot when it has none.
inline std::size_t slotValueLength(const char* slot, std::size_t width) {
    const void* zero = std::memchr(slot, 0, width);
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - slot) : width;
}

// Reads each field from its slot.
template <class Node>
void decodeRecord(Node& node, const char* bytes) {
    for (const auto& f : RecordLayout<Node>::kFields) {
        const char* slot = bytes + f.offset;
        std::string& value = node.*(f.member);
        value.clear();  // keeps the capacity, so a reused record needs no allocation
        value.append(slot, slotValueLength(slot, f.width));
    }
}

}  // namespace zv
