#include "host/text_digest.h"

#include <sodium.h>

namespace zv {

std::string hexDigest(std::string_view text) {
    unsigned char digest[16];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size(), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

}  // namespace zv
