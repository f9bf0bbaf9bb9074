// The page's files, compiled in: served with their content type and an ETag,
// revalidated on every load so that a new version of the program is picked
// up at once.
#include <string>

#include "web/assets.h"
#include "web/router.h"
#include "web/web_services.h"

namespace zv::web {

const TAsset* findAsset(std::string_view path) {
    if (path == "/") path = "/index.html";
    for (const TAsset& asset : compiledAssets()) {
        if (asset.path == path) return &asset;
    }
    return nullptr;
}

TReply assetReply(const TAsset& asset, const TRequest& request) {
    if (request.header("If-None-Match") == asset.etag) {
        return notModified(std::string(asset.etag)).header("Cache-Control", "no-cache");
    }
    TReply reply;
    reply.contentType = std::string(asset.contentType);
    reply.staticBody = asset.bytes;
    reply.header("ETag", std::string(asset.etag));
    reply.header("Cache-Control", "no-cache");
    return reply;
}

void addPageRoutes(TRouter& router) {
    auto serve = [](const TAsset& asset) {
        return [&asset](TRouteContext& context) { return assetReply(asset, context.request); };
    };
    if (const TAsset* index = findAsset("/")) router.add("GET", "/", Access::Public, serve(*index));
    // The administrator's pages.
    if (const TAsset* admin = findAsset("/admin.html")) router.add("GET", "/admin", Access::Public, serve(*admin));
    for (const TAsset& asset : compiledAssets()) {
        router.add("GET", std::string(asset.path), Access::Public, serve(asset));
    }
}

}  // namespace zv::web
