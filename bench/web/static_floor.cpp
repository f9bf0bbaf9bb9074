#include "static_floor.h"

#include <microhttpd.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zv::bench {

namespace {

MHD_Result answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*, const char*,
                  std::size_t* uploadSize, void** state) {
    if (*state == nullptr) {
        *state = cls;  // the headers: wait for the (empty) body
        return MHD_YES;
    }
    *uploadSize = 0;
    const auto* body = static_cast<const std::string*>(cls);
    MHD_Response* response =
        MHD_create_response_from_buffer(body->size(), const_cast<char*>(body->data()), MHD_RESPMEM_PERSISTENT);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

StaticFloor::StaticFloor(std::string body, unsigned threads) : body_(std::move(body)) {
    daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr, &answer,
                               &body_, MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_LIMIT,
                               4096u, MHD_OPTION_END);
    if (daemon_ == nullptr) throw std::runtime_error("the static floor did not start");
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : 0;
}

StaticFloor::~StaticFloor() {
    if (daemon_) MHD_stop_daemon(daemon_);
}

int runStaticFloor(const std::string& bodyFile, unsigned threads) {
    std::ifstream in(bodyFile, std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    StaticFloor floor(std::move(body), threads);
    std::printf("%d\n", floor.port());
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}

StaticFloorProcess::StaticFloorProcess(const std::string& body, unsigned threads) {
    char name[] = "/tmp/zv-floor-body-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("cannot write the floor's body");
    bodyFile_ = name;
    if (::write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size())) {
        ::close(fd);
        throw std::runtime_error("cannot write the floor's body");
    }
    ::close(fd);
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        const std::string threadText = std::to_string(threads);
        ::execl("/proc/self/exe", "web_bench", "--static-floor", bodyFile_.c_str(), threadText.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    char line[32] = {};
    std::size_t got = 0;
    while (got < sizeof line - 1) {
        const ssize_t n = ::read(out[0], line + got, 1);
        if (n <= 0 || line[got] == '\n') break;
        ++got;
    }
    ::close(out[0]);
    port_ = std::atoi(line);
    if (port_ <= 0) throw std::runtime_error("the floor process did not start");
}

StaticFloorProcess::~StaticFloorProcess() {
    if (toChild_ >= 0) ::close(toChild_);
    if (pid_ > 0) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!bodyFile_.empty()) ::unlink(bodyFile_.c_str());
}

}  // namespace zv::bench
