#include "stores/records.h"

#include <atomic>

#include "stores/record_codec.h"

namespace zv {

namespace {
std::atomic<std::uint64_t> lastSerial{0};

template <class Node>
std::string toText(const Node& node) {
    std::string out;
    out.reserve(recordStringLength(node));
    appendRecordString(out, node);
    return out;
}
}  // namespace

std::uint64_t nextRecordSerial() { return lastSerial.fetch_add(1, std::memory_order_relaxed) + 1; }

void TWIWONode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TWIWONode::toRecordString() const { return toText(*this); }
void TPOSTINode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TPOSTINode::toRecordString() const { return toText(*this); }
void TWYWONode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TWYWONode::toRecordString() const { return toText(*this); }
void TDEPTNode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TDEPTNode::toRecordString() const { return toText(*this); }
void TPHONENode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TPHONENode::toRecordString() const { return toText(*this); }
void TLOGNode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TLOGNode::toRecordString() const { return toText(*this); }
void TDIRNode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TDIRNode::toRecordString() const { return toText(*this); }
void TSCHEDNode::setFromString(std::string_view s) { parseRecordString(*this, s); }
std::string TSCHEDNode::toRecordString() const { return toText(*this); }

}  // namespace zv
