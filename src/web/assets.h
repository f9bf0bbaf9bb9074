#pragma once
// The page's files (src/web/assets/), compiled into the program by the build
// (embed_assets.cmake), so that both programs serve the page with no files
// beside them.

#include <string_view>
#include <vector>

namespace zv::web {

struct TAsset {
    std::string_view path;         // "/index.html", "/app.js" ...
    std::string_view contentType;  // with the charset for texts
    std::string_view etag;         // quoted, from the file's SHA-256
    std::string_view bytes;
};

// The version of the whole set (hex digits), which the pages name their
// files under: "/a/<version>/app.js".
std::string_view compiledAssetVersion();

// Every file, sorted by path.
const std::vector<TAsset>& compiledAssets();

// The file served at `path` ("/" is "/index.html"), or nullptr.
const TAsset* findAsset(std::string_view path);

}  // namespace zv::web
