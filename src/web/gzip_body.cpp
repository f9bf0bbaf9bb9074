#include "web/gzip_body.h"

#include <zlib.h>

#include <cctype>
#include <stdexcept>

#include "web/http_reply.h"

namespace zv::web {

namespace {

constexpr std::size_t kWorthIt = 1024;

bool compressible(std::string_view contentType) {
    return contentType.starts_with("text/") || contentType.starts_with("application/json") ||
           contentType.starts_with("application/javascript") || contentType.starts_with("image/svg+xml") ||
           contentType.starts_with("application/manifest+json");
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

bool acceptsGzip(std::string_view acceptEncoding) {
    const std::string header = lowered(acceptEncoding);
    std::size_t start = 0;
    while (start <= header.size()) {
        std::size_t end = header.find(',', start);
        if (end == std::string::npos) end = header.size();
        std::string_view item = std::string_view(header).substr(start, end - start);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        const std::size_t semicolon = item.find(';');
        std::string_view coding = item.substr(0, semicolon);
        while (!coding.empty() && coding.back() == ' ') coding.remove_suffix(1);
        if (coding == "gzip" || coding == "*") {
            if (semicolon == std::string_view::npos) return true;
            std::string_view q = item.substr(semicolon + 1);
            while (!q.empty() && q.front() == ' ') q.remove_prefix(1);
            // "q=0", "q=0.0", "q=0.000": refused; any other weight accepts.
            if (!q.starts_with("q=0") || q.find_first_not_of("0.", 2) != std::string_view::npos) return true;
            return false;
        }
        start = end + 1;
    }
    return false;
}

std::string gzipped(std::string_view data) {
    z_stream z{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("gzip could not start: " + std::string(z.msg ? z.msg : "no memory"));
    }
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    const std::size_t written = out.size() - z.avail_out;
    deflateEnd(&z);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("gzip failed on " + std::to_string(data.size()) + " bytes (zlib " +
                                 std::to_string(result) + ")");
    }
    out.resize(written);
    return out;
}

void compressReply(TReply& reply, bool accepted) {
    if (reply.bodySource || !compressible(reply.contentType)) return;
    reply.header("Vary", "Accept-Encoding");
    if (!accepted) return;
    if (reply.sharedGzipBody) {
        reply.sharedBody = std::move(reply.sharedGzipBody);
    } else {
        const std::string_view body = reply.bodyView();
        if (body.size() < kWorthIt) return;
        reply.body = gzipped(body);
        reply.sharedBody.reset();
        reply.staticBody = {};
    }
    reply.header("Content-Encoding", "gzip");
}

}  // namespace zv::web
