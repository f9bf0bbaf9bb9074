#pragma once
// The secrets of the addresses that need no sign-in (the calendar feeds,
// the lobby displays): made from the system's random source and compared in
// constant time, so that the time a wrong guess takes tells nothing.

#include <cstddef>
#include <string>

namespace zv {

// 256 random bits as 64 hexadecimal digits.
std::string newSecret();

// Whether `given` is `secret`, in a time that depends on their lengths only.
bool sameSecret(const std::string& secret, const std::string& given);

// The BLAKE2b digest of `text`, `bytes` long (16 to 64), as hexadecimal digits.
std::string hexDigest(const std::string& text, std::size_t bytes);

// A name for the secret that tells nothing of it: 16 hexadecimal digits of
// its digest.
inline std::string secretName(const std::string& secret) { return hexDigest(secret, 16).substr(0, 16); }

}  // namespace zv
