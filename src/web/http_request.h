#pragma once
// One HTTP request as the routes see it: copied out of libmicrohttpd once it
// has arrived whole, so that handlers and the steps they hand to the main
// loop never touch the connection.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv::web {

struct TRequest {
    std::string method;  // "GET", "POST" ...
    std::string path;    // without the query
    std::string body;    // at most the body limit
    std::string clientAddress;  // numeric; set for changes and the administrator's requests
    bool https = false;
    std::vector<std::pair<std::string, std::string>> headers;
    // The query's arguments, decoded, in order.
    std::vector<std::pair<std::string, std::string>> query;

    // The first header of that name (compared without regard to case), or
    // an empty text.
    std::string_view header(std::string_view name) const;
    // The value of one cookie of the Cookie header, or an empty text.
    std::string cookie(std::string_view name) const;
    // The first query argument of that name, or nothing.
    std::optional<std::string> queryValue(std::string_view name) const;
    // True for methods that change something (POST, PUT, DELETE, PATCH).
    bool changes() const;
};

}  // namespace zv::web
