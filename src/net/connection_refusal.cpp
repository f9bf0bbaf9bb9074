#include "net/connection_refusal.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/async_socket.h"

namespace zv {

TConnectionRefusal::TConnectionRefusal() { takeReserve(); }

TConnectionRefusal::~TConnectionRefusal() {
    if (reserve_ >= 0) ::close(reserve_);
}

void TConnectionRefusal::takeReserve() { reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

void TConnectionRefusal::closeAccepted(int handle) {
    if (handle >= 0) ::close(handle);
}

void TConnectionRefusal::refuseOnePending(const TAsyncSocket& listener) {
    if (reserve_ >= 0) {
        ::close(reserve_);
        reserve_ = -1;
    }
    const int fd = ::accept4(listener.HSocket(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
    takeReserve();
}

}  // namespace zv
