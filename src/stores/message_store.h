#pragma once
// "While You Were Out" messages waiting for their addressees, in the order
// they came ("wywa.dat").

#include "stores/recipient_store.h"
#include "stores/records.h"

namespace zv {

// Owns its records; every change is saved at once. A date that does not read
// while bundling gives a line in "debug_wywo.log".
class TWYWOList : public RecipientStore<TWYWONode> {
public:
    TWYWOList() : RecipientStore("debug_wywo.log") {}
};

}  // namespace zv
