#pragma once
// The administrator's password for the browser pages. Only its hash is ever
// stored ([Web] AdminPassword): libsodium's crypto_pwhash_str, slow and
// memory-hungry on purpose, so both functions below take a noticeable part
// of a second and must run off the main loop. Passwords are UTF-8 as typed.

#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

inline constexpr std::size_t kAdminPasswordMinLength = 10;   // characters
inline constexpr std::size_t kAdminPasswordMaxLength = 256;  // bytes

// Why `password` cannot become the administrator's password (empty, shorter
// than kAdminPasswordMinLength characters, too long), or an empty text when
// it can.
std::string adminPasswordRefusal(std::string_view password);

// The hash to store for `password`. Throws std::runtime_error when libsodium
// cannot start or has no memory for it.
std::string hashAdminPassword(std::string_view password);

// True when `password` is the one `hash` was made from; false for an empty
// or malformed hash.
bool adminPasswordMatches(const std::string& hash, std::string_view password);

}  // namespace zv
