#pragma once
// The floor of the load generator: a server that answers a login exchange
// with the same round trips and the same bytes as zelvorad, and writes and
// flushes to disk files of the same sizes at the same points, but does no
// other work (no parsing, no stores, no shared lock).

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv::bench {

struct FloorScript {
    std::size_t requestSize = 0;                   // bytes of one login request
    std::string bundle;                            // what is sent in blocks
    int blockSize = 8192;
    std::vector<std::size_t> writesBeforeReply;   // file sizes written before "PREPARE_TO_RECEIVE"
    std::vector<std::size_t> writesAtConfirm;     // file sizes written at "CONFIRM"
    // Each write replaces its file as the stores do: a temporary file, flushed,
    // renamed over the old one, and the folder flushed.
    bool durableReplace = false;
};

class FloorServer {
public:
    FloorServer(FloorScript script, std::string folder);
    ~FloorServer();
    int port() const { return port_; }

private:
    void acceptLoop();
    void serve(int fd, int connection);
    void writeFiles(const std::vector<std::size_t>& sizes, const char* group);

    FloorScript script_;
    std::string folder_;
    int listenFd_ = -1;
    int port_ = 0;
    std::mutex writeMutex_;  // the data files are shared: one rewrite at a time
    std::atomic<bool> stopping_{false};
    std::atomic<int> nextConnection_{0};
    std::thread acceptThread_;
};

}  // namespace zv::bench
