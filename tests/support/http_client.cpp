#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zv::test {

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port, const std::string& host = "127.0.0.1", const std::string& from = {}) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    if (!from.empty()) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        if (::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd);
            throw std::runtime_error("cannot send from " + from);
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        ::close(fd);
        throw std::runtime_error("not an IPv4 address: " + host);
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::runtime_error("cannot connect to port " + std::to_string(port) + ": " + std::strerror(err));
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Appends what arrives before the deadline; false on time-out or close
// (`closed` tells which).
bool receive(int fd, std::string& into, Clock::time_point deadline, bool& closed) {
    closed = false;
    char chunk[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, left < 0 ? 0 : static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            closed = true;
            return false;
        }
        into.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Parses a response head ending at `end` (the blank line excluded).
void parseHead(std::string_view head, HttpResponse& response) {
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, lineEnd);
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) throw std::runtime_error("bad status line: " + std::string(statusLine));
    response.status = std::stoi(std::string(statusLine.substr(space + 1, 3)));
    std::size_t at = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        std::size_t end = head.find("\r\n", at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            response.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
        }
        at = end + 2;
    }
}

// Takes one chunk off `raw` into `out`; false while incomplete. Sets `last`
// at the final (empty) chunk.
bool takeChunk(std::string& raw, std::string& out, bool& last) {
    const std::size_t lineEnd = raw.find("\r\n");
    if (lineEnd == std::string::npos) return false;
    const std::size_t size = std::stoul(raw.substr(0, lineEnd), nullptr, 16);
    if (size == 0) {
        // The last chunk, with no trailers: "0\r\n\r\n".
        if (raw.size() < lineEnd + 4) return false;
        raw.erase(0, lineEnd + 4);
        last = true;
        return true;
    }
    if (raw.size() < lineEnd + 2 + size + 2) return false;
    out.append(raw, lineEnd + 2, size);
    raw.erase(0, lineEnd + 2 + size + 2);
    return true;
}

}  // namespace

std::string HttpResponse::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (sameNoCase(key, name)) return value;
    return {};
}

std::vector<std::string> HttpResponse::headers_named(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (sameNoCase(key, name)) values.push_back(value);
    return values;
}

HttpClient::~HttpClient() { close(); }

void HttpClient::connect() {
    if (fd_ < 0) fd_ = connectTo(port_, address_, from_);
}

void HttpClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

void HttpClient::sendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("send: ") + std::strerror(errno));
        sent += static_cast<std::size_t>(n);
    }
}

bool HttpClient::readMore(Clock::time_point deadline) {
    bool closed = false;
    if (receive(fd_, buffer_, deadline, closed)) return true;
    if (closed) throw std::runtime_error("the server closed the connection");
    throw std::runtime_error("the server did not answer in time");
}

std::string HttpClient::sessionToken() const {
    const auto it = cookies.find("zv_session");
    return it == cookies.end() ? std::string() : it->second;
}

HttpResponse HttpClient::request(const std::string& method, const std::string& path, const std::string& body,
                                 const std::map<std::string, std::string>& headers,
                                 std::chrono::milliseconds limit) {
    const bool change = method != "GET" && method != "HEAD";
    std::string text = method + " " + path + " HTTP/1.1\r\n";
    std::map<std::string, std::string> all{{"Host", "127.0.0.1"}};
    if (change) {
        all["Content-Type"] = "application/json";
        if (!antiForgeryToken.empty()) all["X-Zelvora-Token"] = antiForgeryToken;
    }
    if (!cookies.empty()) {
        std::string jar;
        for (const auto& [name, value] : cookies) jar += (jar.empty() ? "" : "; ") + name + "=" + value;
        all["Cookie"] = jar;
    }
    for (const auto& [name, value] : headers) all[name] = value;
    for (const auto& [name, value] : all) {
        if (!value.empty() || name != "Content-Type") text += name + ": " + value + "\r\n";
    }
    if (change || !body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n" + body;

    // A kept connection that the server has closed meanwhile is opened anew.
    for (int attempt = 0;; ++attempt) {
        try {
            connect();
            sendAll(text);
            const auto deadline = Clock::now() + limit;
            std::size_t headEnd;
            while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) readMore(deadline);
            HttpResponse response;
            parseHead(std::string_view(buffer_).substr(0, headEnd), response);
            buffer_.erase(0, headEnd + 4);
            const bool noBody = method == "HEAD" || response.status == 204 || response.status == 304;
            if (noBody) {
            } else if (sameNoCase(response.header("Transfer-Encoding"), "chunked")) {
                bool last = false;
                while (!last) {
                    if (!takeChunk(buffer_, response.body, last)) readMore(deadline);
                }
            } else if (const std::string length = response.header("Content-Length"); !length.empty()) {
                const std::size_t n = std::stoul(length);
                while (buffer_.size() < n) readMore(deadline);
                response.body = buffer_.substr(0, n);
                buffer_.erase(0, n);
            } else {
                bool closed = false;
                while (receive(fd_, buffer_, deadline, closed)) {
                }
                response.body = std::move(buffer_);
                close();
            }
            if (sameNoCase(response.header("Connection"), "close")) close();
            for (const std::string& cookie : response.headers_named("Set-Cookie")) {
                const std::size_t eq = cookie.find('=');
                const std::size_t end = cookie.find(';');
                if (eq == std::string::npos) continue;
                const std::string name = cookie.substr(0, eq);
                const std::string value = cookie.substr(eq + 1, end == std::string::npos ? end : end - eq - 1);
                if (value.empty() || cookie.find("Max-Age=0") != std::string::npos) {
                    cookies.erase(name);
                } else {
                    cookies[name] = value;
                }
            }
            return response;
        } catch (const std::runtime_error&) {
            const bool reused = fd_ >= 0 && attempt == 0;
            close();
            if (!reused) throw;
        }
    }
}

HttpResponse HttpClient::signIn(const std::string& employee, const std::string& password) {
    auto escape = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == '"' || c == '\\') out.push_back('\\');
            out.push_back(c);
        }
        return out;
    };
    HttpResponse response = request("POST", "/api/sign-in",
                                    "{\"employee\":\"" + escape(employee) + "\",\"password\":\"" +
                                        escape(password) + "\"}");
    keepAntiForgeryToken(response);
    return response;
}

void HttpClient::keepAntiForgeryToken(const HttpResponse& response) {
    const std::string key = "\"antiForgeryToken\":\"";
    if (const std::size_t at = response.body.find(key);
        (response.status == 200 || response.status == 201) && at != std::string::npos) {
        const std::size_t start = at + key.size();
        antiForgeryToken = response.body.substr(start, response.body.find('"', start) - start);
    }
}

HttpResponse HttpClient::adminSetUp(const std::string& password) {
    HttpResponse response = request("POST", "/api/admin/set-up", "{\"password\":\"" + password + "\"}");
    keepAntiForgeryToken(response);
    return response;
}

HttpResponse HttpClient::adminSignIn(const std::string& password) {
    HttpResponse response = request("POST", "/api/admin/sign-in", "{\"password\":\"" + password + "\"}");
    keepAntiForgeryToken(response);
    return response;
}

// --- EventStream ------------------------------------------------------------------

EventStream::EventStream(int port, const std::string& sessionToken)
    : EventStream(port, "zv_session=" + sessionToken, "/api/events") {}

EventStream::EventStream(int port, const std::string& cookie, const std::string& path) {
    fd_ = connectTo(port);
    const std::string text = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n"
                             "Cookie: " + cookie + "\r\n\r\n";
    if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("cannot send the stream request");
    }
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    std::size_t headEnd;
    while ((headEnd = raw_.find("\r\n\r\n")) == std::string::npos) {
        bool closed = false;
        if (!receive(fd_, raw_, deadline, closed)) throw std::runtime_error("the stream's head did not come");
    }
    HttpResponse head;
    parseHead(std::string_view(raw_).substr(0, headEnd), head);
    status_ = head.status;
    raw_.erase(0, headEnd + 4);
    dechunk();
}

EventStream::~EventStream() {
    if (fd_ >= 0) ::close(fd_);
}

bool EventStream::readMore(Clock::time_point deadline) {
    if (ended_) return false;
    bool closed = false;
    if (receive(fd_, raw_, deadline, closed)) {
        dechunk();
        return true;
    }
    if (closed) ended_ = true;
    return false;
}

void EventStream::dechunk() {
    bool last = false;
    while (!last && takeChunk(raw_, text_, last)) {
    }
    if (last) ended_ = true;
}

std::string EventStream::nextBoardEvent(std::chrono::milliseconds limit) {
    const std::string event = nextEventOf({"board", "rows"}, limit);
    const std::string data = event.substr(event.find('\n') + 1);
    if (event.rfind("board\n", 0) == 0) return data;
    // {"base":"\"x-1\"","tag":"\"x-2\"",...}: the tag, unescaped.
    const std::size_t at = data.find("\"tag\":\"");
    if (at == std::string::npos) throw std::runtime_error("a rows event without its tag: " + data);
    std::string tag;
    for (std::size_t i = at + 7; i < data.size() && data[i] != '"'; ++i) {
        if (data[i] == '\\' && i + 1 < data.size()) ++i;
        tag.push_back(data[i]);
    }
    return tag;
}

std::string EventStream::nextEvent(const std::string& name, std::chrono::milliseconds limit) {
    const std::string event = nextEventOf({name}, limit);
    return event.substr(event.find('\n') + 1);
}

std::string EventStream::nextEventOf(const std::vector<std::string>& names, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        // Events end with an empty line.
        std::size_t end;
        while ((end = text_.find("\n\n", consumed_)) != std::string::npos) {
            const std::string event = text_.substr(consumed_, end - consumed_);
            consumed_ = end + 2;
            for (const std::string& name : names) {
                if (event.rfind("event: " + name + "\n", 0) != 0) continue;
                const std::size_t data = event.find("data: ");
                if (data != std::string::npos) return name + "\n" + event.substr(data + 6);
            }
        }
        if (ended_) throw std::runtime_error("the stream ended: " + text_);
        if (!readMore(deadline) && !ended_) {
            throw std::runtime_error("no " + names.front() + " event came in time: " + text_);
        }
    }
}

bool EventStream::endsWithin(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!ended_) {
        if (!readMore(deadline) && !ended_) return false;
    }
    return true;
}

}  // namespace zv::test
