// The page's files, compiled in, served with their content type and an ETag.
// The pages ("/", "/admin", "/display/...") name the other files under the
// version of the set ("/a/<version>/app.js"): those addresses never change
// content, so a browser keeps them for a year without asking again, and a
// new program, with a new version, is picked up with its page. The files'
// plain addresses ("/app.js") are revalidated on every load.
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

namespace {

constexpr std::string_view kRevalidated = "no-cache";
constexpr std::string_view kKept = "public, max-age=31536000, immutable";

TReply assetReply(const TAsset& asset, const TRequest& request, std::string_view cacheControl) {
    if (request.header("If-None-Match") == asset.etag) {
        return notModified(std::string(asset.etag)).header("Cache-Control", std::string(cacheControl));
    }
    TReply reply;
    reply.contentType = std::string(asset.contentType);
    reply.staticBody = asset.bytes;
    reply.header("ETag", std::string(asset.etag));
    reply.header("Cache-Control", std::string(cacheControl));
    return reply;
}

}  // namespace

TReply assetReply(const TAsset& asset, const TRequest& request) {
    return assetReply(asset, request, kRevalidated);
}

void addPageRoutes(TRouter& router) {
    auto serve = [](const TAsset& asset) {
        return [&asset](TRouteContext& context) { return assetReply(asset, context.request); };
    };
    if (const TAsset* index = findAsset("/")) router.add("GET", "/", Access::Public, serve(*index));
    // The administrator's pages.
    if (const TAsset* admin = findAsset("/admin.html"))
        router.add("GET", "/admin", Access::Public, serve(*admin));
    for (const TAsset& asset : compiledAssets()) {
        router.add("GET", std::string(asset.path), Access::Public, serve(asset));
    }
    // The files under the version: only the current one's (an older page's
    // address must not be kept with this version's content), and no page
    // (a page is revalidated, so that it names the files of a new version).
    router.add("GET", "/a/{version}/{file}", Access::Public, [](TRouteContext& context) {
        const TAsset* asset = findAsset("/" + context.params.at("file"));
        if (context.params.at("version") != compiledAssetVersion() || !asset ||
            asset->contentType.starts_with("text/html")) {
            return errorReply(404, "There is nothing at " + context.request.path + ".");
        }
        return assetReply(*asset, context.request, kKept);
    });
}

}  // namespace zv::web
