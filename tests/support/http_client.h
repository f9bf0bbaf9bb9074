#pragma once
// A small blocking HTTP/1.1 client for the tests and benchmarks of the HTTP
// side: one keep-alive connection to 127.0.0.1, bodies by Content-Length or
// chunked, a cookie jar for the session cookie and the anti-forgery header on
// every change, with a time limit on every wait. And a reader of a live
// stream (Server-Sent Events).

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv::test {

struct HttpResponse {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name (any case), or empty.
    std::string header(std::string_view name) const;
    // Every value of that header (Set-Cookie may come more than once).
    std::vector<std::string> headers_named(std::string_view name) const;
};

class HttpClient {
public:
    // To `address` (an IPv4 address of this computer; 127.0.0.1 unless
    // given), so that a test can come from an address other than loopback;
    // from `from` when given (another address of 127.0.0.0/8, which the
    // system would not choose by itself).
    explicit HttpClient(int port, std::string address = "127.0.0.1", std::string from = {})
        : port_(port), address_(std::move(address)), from_(std::move(from)) {}
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends a request (a change as JSON, with the anti-forgery token when
    // one is known; `headers` may name another Host) and reads the whole
    // response. Throws std::runtime_error when the server does not answer
    // within the limit.
    HttpResponse request(const std::string& method, const std::string& path, const std::string& body = {},
                         const std::map<std::string, std::string>& headers = {},
                         std::chrono::milliseconds limit = std::chrono::seconds(15));
    HttpResponse get(const std::string& path) { return request("GET", path); }

    // POST /api/sign-in; on success keeps the session cookie and the
    // anti-forgery token.
    HttpResponse signIn(const std::string& employee, const std::string& password);
    // The administrator's first-run set-up (POST /api/admin/set-up) and
    // sign-in (POST /api/admin/sign-in); on success keep the cookie and the
    // anti-forgery token.
    HttpResponse adminSetUp(const std::string& password);
    HttpResponse adminSignIn(const std::string& password);

    // The session cookie's value ("" when none), and the token sent in
    // X-Zelvora-Token.
    std::string sessionToken() const;
    std::string antiForgeryToken;
    std::map<std::string, std::string> cookies;

private:
    void connect();
    void close();
    void sendAll(const std::string& bytes);
    // Takes the anti-forgery token of a successful answer.
    void keepAntiForgeryToken(const HttpResponse& response);
    // Reads until `done` says the buffer holds what is wanted.
    bool readMore(std::chrono::steady_clock::time_point deadline);

    int port_;
    std::string address_;
    std::string from_;
    int fd_ = -1;
    std::string buffer_;
};

// A live stream: GET /api/events with a session cookie, read event by event.
class EventStream {
public:
    EventStream(int port, const std::string& sessionToken);
    // Another stream: `path` with the cookie `cookie` ("name=value").
    EventStream(int port, const std::string& cookie, const std::string& path);
    ~EventStream();
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    int status() const { return status_; }
    // The next board version: the data of a "board" event, or the "tag" of a
    // "rows" event (the changed rows); throws when none comes within the
    // limit or the stream ends.
    std::string nextBoardEvent(std::chrono::milliseconds limit = std::chrono::seconds(15));
    // The data of the next event named one of `names` ("name\ndata").
    std::string nextEventOf(const std::vector<std::string>& names,
                            std::chrono::milliseconds limit = std::chrono::seconds(15));
    // The data of the next event named `name`, likewise.
    std::string nextEvent(const std::string& name, std::chrono::milliseconds limit = std::chrono::seconds(15));
    // True when the stream ended (the server closed it) within the limit.
    bool endsWithin(std::chrono::milliseconds limit);
    // Everything the stream sent so far, dechunked.
    const std::string& text() const { return text_; }

private:
    bool readMore(std::chrono::steady_clock::time_point deadline);
    void dechunk();

    int fd_ = -1;
    int status_ = 0;
    std::string raw_;     // bytes after the response head, still chunked
    std::string text_;    // the stream's text
    std::size_t consumed_ = 0;  // of text_, already returned as events
    bool ended_ = false;
};

}  // namespace zv::test
