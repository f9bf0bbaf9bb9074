// Target "record": each of the six record types read from its record string,
// and written to and read from its fixed slots in a data file.
//
// Input: one byte that picks the record type (byte % 6: board, memo,
// message, department, phonebook, status log), then the record string.
//
// Properties:
// - writing the parsed record gives back the string, with the separators of
//   the fields it lacked added at the end (surplus separators stay in the
//   last field), and parsing that again gives the same record;
// - written to its slots and read back (by the layout of the file, table
//   kept apart from the stores' own), every field comes back as its value up
//   to the first zero byte, cut to the slot's width;
// - the bytes of a record in the file, whatever they are, read into a record
//   and written again, read back the same.

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "record_files.h"
#include "stores/record_codec.h"
#include "stores/records.h"

namespace zv::fuzz {
namespace {

using test::Fields;
using test::RecordKind;

template <class Node>
Fields fieldsOf(const Node& node) {
    Fields fields;
    for (const auto& f : RecordLayout<Node>::kFields) fields.push_back(node.*(f.member));
    return fields;
}

std::size_t countSeparators(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t at = text.find(kFieldSeparator); at != std::string_view::npos;
         at = text.find(kFieldSeparator, at + kFieldSeparator.size()))
        ++n;
    return n;
}

template <class Node>
void checkRecord(RecordKind kind, std::string_view text) {
    const std::size_t fieldCount = RecordLayout<Node>::kFields.size();

    Node node;
    node.setFromString(text);
    const std::string written = node.toRecordString();
    const std::size_t separators = countSeparators(text);
    std::string expected(text);
    for (std::size_t i = separators; i + 1 < fieldCount; ++i) expected.append(kFieldSeparator);
    ZV_FUZZ_CHECK(written == expected, "\"" + printable(text) + "\" was written \"" + printable(written) + "\"");
    Node again;
    again.setFromString(written);
    ZV_FUZZ_CHECK(fieldsOf(again) == fieldsOf(node), "parsing what was written changes the record");

    // The file slots, read back by the independent layout table.
    std::string slots(RecordLayout<Node>::kRecordSize, '\0');
    encodeRecord(node, slots.data());
    const std::vector<Fields> decoded = test::decodeRecords(kind, slots);
    ZV_FUZZ_CHECK(decoded.size() == 1, "one record gives one slot image");
    std::size_t i = 0;
    for (const auto& f : RecordLayout<Node>::kFields) {
        const std::string& value = node.*(f.member);
        const std::string stored = value.substr(0, std::min(value.find('\0'), f.width));
        ZV_FUZZ_CHECK(decoded[0][i] == stored,
                      std::string(f.name) + " \"" + printable(value) + "\" came back \"" + printable(decoded[0][i]) + "\"");
        ++i;
    }

    // Any bytes of a file record: read, written, read again.
    std::string bytes(text.substr(0, RecordLayout<Node>::kRecordSize));
    bytes.resize(RecordLayout<Node>::kRecordSize, '\0');
    Node fromFile;
    decodeRecord(fromFile, bytes.data());
    ZV_FUZZ_CHECK(fieldsOf(fromFile) == test::decodeRecords(kind, bytes).at(0),
                  "the store reads a file record otherwise than its layout says");
    std::string rewritten(RecordLayout<Node>::kRecordSize, '\0');
    encodeRecord(fromFile, rewritten.data());
    Node reread;
    decodeRecord(reread, rewritten.data());
    ZV_FUZZ_CHECK(fieldsOf(reread) == fieldsOf(fromFile), "a record read from a file changes when written again");
    ZV_FUZZ_CHECK(rewritten == test::encodeRecord(kind, fieldsOf(fromFile)),
                  "the store writes a record otherwise than its layout says");
}

int fuzzRecord(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const int type = input.byte() % 6;
    const std::string_view text = input.rest();
    switch (type) {
        case 0: checkRecord<TWIWONode>(RecordKind::Board, text); break;
        case 1: checkRecord<TPOSTINode>(RecordKind::Memo, text); break;
        case 2: checkRecord<TWYWONode>(RecordKind::Message, text); break;
        case 3: checkRecord<TDEPTNode>(RecordKind::Department, text); break;
        case 4: checkRecord<TPHONENode>(RecordKind::Phone, text); break;
        default: checkRecord<TLOGNode>(RecordKind::Log, text); break;
    }
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(record, zv::fuzz::fuzzRecord)
