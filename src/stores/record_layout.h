#pragma once
// One table per record type: each field's name, slot offset and slot width in
// the data file, and the member that holds it. The file codec and the text
// codec both walk these tables.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "stores/records.h"

namespace zv {

template <class Node>
struct FieldSlot {
    std::string_view name;
    std::size_t offset;
    std::size_t width;
    std::string Node::*member;
};

template <class Node>
struct RecordLayout;

template <>
struct RecordLayout<TWIWONode> {
    using N = TWIWONode;
    static constexpr std::size_t kRecordSize = 1909;
    static constexpr std::array<FieldSlot<N>, 22> kFields{{
        {"Employee", 0, 256, &N::Employee},
        {"LastName", 256, 64, &N::LastName},
        {"FirstName", 320, 64, &N::FirstName},
        {"Password", 384, 64, &N::Password},
        {"Department", 448, 64, &N::Department},
        {"WorkPhone", 512, 24, &N::WorkPhone},
        {"Extension", 536, 16, &N::Extension},
        {"Status", 552, 64, &N::Status},
        {"Returning", 616, 64, &N::Returning},
        {"ReachedAt", 680, 64, &N::ReachedAt},
        {"Comments", 744, 256, &N::Comments},
        {"EMail", 1000, 128, &N::EMail},
        {"EMailNotify", 1128, 5, &N::EMailNotify},
        {"HomePhone", 1133, 24, &N::HomePhone},
        {"CarPhone", 1157, 24, &N::CarPhone},
        {"Pager", 1181, 128, &N::Pager},
        {"Other", 1309, 128, &N::Other},
        {"StatusChanged", 1437, 128, &N::StatusChanged},
        {"LastContact", 1565, 128, &N::LastContact},
        {"EmergName", 1693, 128, &N::EmergName},
        {"EmergPhone", 1821, 24, &N::EmergPhone},
        {"EmergRelation", 1845, 64, &N::EmergRelation},
    }};
};

template <>
struct RecordLayout<TPOSTINode> {
    using N = TPOSTINode;
    static constexpr std::size_t kRecordSize = 1076;
    static constexpr std::array<FieldSlot<N>, 6> kFields{{
        {"Recipient", 0, 256, &N::Recipient},
        {"ClientText2", 256, 256, &N::ClientText2},
        {"Date", 512, 26, &N::Date},
        {"Time", 538, 26, &N::Time},
        {"ClientText5", 564, 256, &N::ClientText5},
        {"ClientText6", 820, 256, &N::ClientText6},
    }};
};

template <>
struct RecordLayout<TWYWONode> {
    using N = TWYWONode;
    static constexpr std::size_t kRecordSize = 1624;
    static constexpr std::array<FieldSlot<N>, 14> kFields{{
        {"Recipient", 0, 256, &N::Recipient},
        {"TakenBy", 256, 256, &N::TakenBy},
        {"Date", 512, 26, &N::Date},
        {"Time", 538, 26, &N::Time},
        {"Caller", 564, 256, &N::Caller},
        {"Company", 820, 256, &N::Company},
        {"Phone", 1076, 26, &N::Phone},
        {"Regarding", 1102, 256, &N::Regarding},
        {"Called", 1358, 2, &N::Called},
        {"ReturnedCall", 1360, 2, &N::ReturnedCall},
        {"WasHere", 1362, 2, &N::WasHere},
        {"WantsToSee", 1364, 2, &N::WantsToSee},
        {"Urgent", 1366, 2, &N::Urgent},
        {"Comments", 1368, 256, &N::Comments},
    }};
};

template <>
struct RecordLayout<TDEPTNode> {
    using N = TDEPTNode;
    static constexpr std::size_t kRecordSize = 256;
    static constexpr std::array<FieldSlot<N>, 1> kFields{{
        {"Name", 0, 256, &N::Name},
    }};
};

template <>
struct RecordLayout<TPHONENode> {
    using N = TPHONENode;
    static constexpr std::size_t kRecordSize = 641;
    static constexpr std::array<FieldSlot<N>, 3> kFields{{
        {"Caller", 0, 256, &N::Caller},
        {"Company", 256, 256, &N::Company},
        {"PhoneNumber", 512, 129, &N::PhoneNumber},
    }};
};

template <>
struct RecordLayout<TLOGNode> {
    using N = TLOGNode;
    static constexpr std::size_t kRecordSize = 820;
    static constexpr std::array<FieldSlot<N>, 8> kFields{{
        {"Employee", 0, 256, &N::Employee},
        {"Department", 256, 64, &N::Department},
        {"Date", 320, 26, &N::Date},
        {"Time", 346, 26, &N::Time},
        {"Status", 372, 64, &N::Status},
        {"Returning", 436, 64, &N::Returning},
        {"ReachedAt", 500, 64, &N::ReachedAt},
        {"Comments", 564, 256, &N::Comments},
    }};
};

template <>
struct RecordLayout<TDIRNode> {
    using N = TDIRNode;
    static constexpr std::size_t kRecordSize = 640;
    static constexpr std::array<FieldSlot<N>, 3> kFields{{
        {"Person", 0, 256, &N::Person},
        {"Employee", 256, 256, &N::Employee},
        {"Left", 512, 128, &N::Left},
    }};
};

template <>
struct RecordLayout<TSCHEDNode> {
    using N = TSCHEDNode;
    static constexpr std::size_t kRecordSize = 2068;
    static constexpr std::array<FieldSlot<N>, 14> kFields{{
        {"Employee", 0, 256, &N::Employee},
        {"Kind", 256, 16, &N::Kind},
        {"From", 272, 26, &N::From},
        {"Until", 298, 26, &N::Until},
        {"Status", 324, 64, &N::Status},
        {"ReachedAt", 388, 64, &N::ReachedAt},
        {"Comments", 452, 256, &N::Comments},
        {"PlannedBy", 708, 256, &N::PlannedBy},
        {"Origin", 964, 128, &N::Origin},
        {"State", 1092, 16, &N::State},
        {"Department", 1108, 64, &N::Department},
        {"Address", 1172, 512, &N::Address},
        {"Secret", 1684, 128, &N::Secret},
        {"Note", 1812, 256, &N::Note},
    }};
};

// Slots follow each other with no gap and end exactly at the record size.
template <class Node>
constexpr bool slotsTileRecord() {
    std::size_t next = 0;
    for (const auto& f : RecordLayout<Node>::kFields) {
        if (f.offset != next || f.width == 0) return false;
        next += f.width;
    }
    return next == RecordLayout<Node>::kRecordSize;
}

static_assert(slotsTileRecord<TWIWONode>() && RecordLayout<TWIWONode>::kRecordSize == 1909);
static_assert(slotsTileRecord<TPOSTINode>() && RecordLayout<TPOSTINode>::kRecordSize == 1076);
static_assert(slotsTileRecord<TWYWONode>() && RecordLayout<TWYWONode>::kRecordSize == 1624);
static_assert(slotsTileRecord<TDEPTNode>() && RecordLayout<TDEPTNode>::kRecordSize == 256);
static_assert(slotsTileRecord<TPHONENode>() && RecordLayout<TPHONENode>::kRecordSize == 641);
static_assert(slotsTileRecord<TLOGNode>() && RecordLayout<TLOGNode>::kRecordSize == 820);
static_assert(slotsTileRecord<TDIRNode>() && RecordLayout<TDIRNode>::kRecordSize == 640);
static_assert(slotsTileRecord<TSCHEDNode>() && RecordLayout<TSCHEDNode>::kRecordSize == 2068);

}  // namespace zv
