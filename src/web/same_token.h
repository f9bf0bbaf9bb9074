#pragma once
// Compares a secret the request carries with the one the server holds.

#include <string_view>

namespace zv::web {

// Compares all of both texts whatever they hold, so that the time taken
// tells nothing about the token.
inline bool sameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace zv::web
