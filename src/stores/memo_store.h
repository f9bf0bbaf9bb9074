#pragma once
// Memos waiting for their addressees, in the order they came ("posti.dat").

#include "stores/recipient_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records; every change is saved at once. A date that does not read
// while bundling gives a line in "debug_posti.log".
class TPOSTIList : public RecipientStore<TPOSTINode> {
public:
    TPOSTIList() : RecipientStore("debug_posti.log") {}
};

}  // namespace zv
