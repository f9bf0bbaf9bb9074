#pragma once
// The floors of the load generator: a server that answers a login exchange
// with the same round trips and the same bytes as zelvorad, and writes to disk
// at the same points, but does no other work (no parsing, no stores, no shared
// lock). What it writes is one of:
// - the same bytes as whole files: files of the sizes the stores' files have,
//   each written whole and flushed (as saves did when every save rewrote the
//   whole file);
// - the minimal: only the records that change, each written durably in place
//   behind a journal (the journal written and flushed, the record written
//   where it lies and flushed, the journal emptied).

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv::bench {

// One file rewritten during the exchange: of a fixed size, or the memo file,
// which holds the memos of every client between its login and its
// confirmation, as the server's memo file does. For the minimal floor: one
// record of that fixed size.
struct FloorWrite {
    std::size_t bytes = 0;  // a fixed size
    bool memoFile = false;  // instead: the memos waiting, after memoChange
    int memoChange = 0;     // memos added (+1) or delivered (-1) just before

    static FloorWrite fixed(std::size_t size) { return {size, false, 0}; }
    static FloorWrite memos(int change) { return {0, true, change}; }
};

struct FloorScript {
    std::size_t requestSize = 0;                // bytes of one login request
    std::string bundle;                         // what is sent in blocks
    int blockSize = 8192;
    std::size_t memoBytes = 0;                  // size of one memo in the memo file
    std::vector<FloorWrite> writesBeforeReply;  // files written before "PREPARE_TO_RECEIVE"
    std::vector<FloorWrite> writesAtConfirm;    // files written at "CONFIRM"
    // Each write is a record written in place behind a journal.
    bool minimal = false;
};

class FloorServer {
public:
    FloorServer(FloorScript script, std::string folder);
    ~FloorServer();
    int port() const { return port_; }

private:
    void acceptLoop();
    void serve(int fd, int connection);
    void writeFiles(const std::vector<FloorWrite>& writes, const char* group);
    void writeRecordInPlace(std::size_t bytes, const std::string& path);

    FloorScript script_;
    std::string folder_;
    int listenFd_ = -1;
    int port_ = 0;
    std::mutex writeMutex_;  // the data files are shared: one rewrite at a time
    int memosWaiting_ = 0;   // guarded by writeMutex_
    std::atomic<bool> stopping_{false};
    std::atomic<int> nextConnection_{0};
    std::thread acceptThread_;
};

}  // namespace zv::bench
