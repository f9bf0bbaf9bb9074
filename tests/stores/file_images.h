#pragma once
// What a store's data file must hold: its list, in list order, each record
// encoded by the byte-exact writer of the test support (its own table of
// offsets and widths), as a save that writes the whole file writes it.

#include <string>

#include "record_files.h"
#include "stores/record_layout.h"

namespace zv::testing {

template <class Node>
test::Fields fieldsOf(const Node& node) {
    test::Fields fields;
    for (const auto& f : RecordLayout<Node>::kFields) fields.push_back(node.*(f.member));
    return fields;
}

// The whole-file image of a store that has getCount and getNode.
template <class Store>
std::string wholeFileImage(const Store& store, test::RecordKind kind) {
    std::string image;
    for (int i = 0; i < store.getCount(); ++i) image += test::encodeRecord(kind, fieldsOf(store.getNode(i)));
    return image;
}

}  // namespace zv::testing
