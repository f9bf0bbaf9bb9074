#pragma once
// Responses compressed for browsers that accept gzip (Accept-Encoding):
// texts of a kilobyte or more are sent gzip-compressed with
// "Content-Encoding: gzip"; every compressible type says "Vary:
// Accept-Encoding" so that a cache keeps both forms apart.

#include <string>
#include <string_view>

namespace zv::web {

struct TReply;

// Whether an Accept-Encoding header accepts gzip ("gzip;q=0" refuses it).
bool acceptsGzip(std::string_view acceptEncoding);

// The gzip form of `data`. Throws std::runtime_error when zlib fails.
std::string gzipped(std::string_view data);

// Compresses `reply` in place when `accepted` and worth it (a text body of
// at least 1 KiB; a reply that carries its compressed form already uses
// that). A streamed body stays as it is.
void compressReply(TReply& reply, bool accepted);

}  // namespace zv::web
