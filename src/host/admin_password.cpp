#include "host/admin_password.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace zv {

namespace {

void startSodium() {
    // Safe to call from any thread, as often as wanted.
    if (::sodium_init() < 0) throw std::runtime_error("libsodium cannot start (no random source?)");
}

}  // namespace

std::string adminPasswordRefusal(std::string_view password) {
    if (password.empty()) return "The administrator's password must not be empty.";
    // Characters, not bytes: every byte but a UTF-8 continuation byte
    // begins one.
    const auto characters = std::count_if(password.begin(), password.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (static_cast<std::size_t>(characters) < kAdminPasswordMinLength) {
        return "The administrator's password must have at least " + std::to_string(kAdminPasswordMinLength) +
               " characters.";
    }
    if (password.size() > kAdminPasswordMaxLength) {
        return "The administrator's password must not be longer than " + std::to_string(kAdminPasswordMaxLength) +
               " characters.";
    }
    return {};
}

std::string hashAdminPassword(std::string_view password) {
    startSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (::crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw std::runtime_error("the password's hash cannot be made: not enough memory");
    }
    return hash;
}

bool adminPasswordMatches(const std::string& hash, std::string_view password) {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    startSodium();
    return ::crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace zv
