#include "host/secrets.h"

#include <sodium.h>

#include <stdexcept>

namespace zv {

std::string newSecret() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

bool sameSecret(const std::string& secret, const std::string& given) {
    return !secret.empty() && secret.size() == given.size() &&
           sodium_memcmp(secret.data(), given.data(), secret.size()) == 0;
}

std::string hexDigest(const std::string& text, std::size_t bytes) {
    unsigned char digest[crypto_generichash_BYTES_MAX];
    if (bytes < crypto_generichash_BYTES_MIN || bytes > sizeof digest) {
        throw std::invalid_argument("a digest of " + std::to_string(bytes) + " bytes cannot be made");
    }
    crypto_generichash(digest, bytes, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                       nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, bytes);
    return hex;
}

}  // namespace zv
