#pragma once
// A short digest of a text as 32 hex digits (BLAKE2b through libsodium): an
// identity that stays the same for the same text, for names that must not
// carry the text itself or could be too long for their slot.

#include <string>
#include <string_view>

namespace zv {

std::string hexDigest(std::string_view text);

}  // namespace zv
