// TAsyncSocket: name look-ups, on a lookup thread, reported on the owner thread.
#include "net/async_socket.h"

#include <netdb.h>

#include <system_error>
#include <thread>

#include "net/socket_internal.h"
#include "net/socket_resolve.h"

namespace zv {

using namespace socket_internal;

void TAsyncSocket::DnsLookup(const std::string& host) {
  assertInLoopThreadOrBlocked();
  if (host.empty()) {
    raiseText("DNS lookup: invalid host name.");
    if (OnDnsLookupDone) OnDnsLookupDone(*this, WSAEINVAL);
    return;
  }
  if (pendingDns_) {
    pendingDns_->cancelled = true;
    pendingDns_.reset();
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  const std::string dotted = normaliseDottedAddress(host);
  if (!dotted.empty()) {
    dnsResult_ = dotted;
    dnsResultList_.push_back(dotted);
    if (OnDnsLookupDone) OnDnsLookupDone(*this, 0);
    return;
  }
  auto request = std::make_shared<DnsRequest>();
  request->host = host;
  // The lookup thread touches only the request and the loop handle, both
  // shared: it may safely outlive the socket and the loop.
  std::shared_ptr<TLoopHandle> target = loop_->handle();
  std::shared_ptr<Life> life = life_;
  try {
    std::thread([request, target, life] {
      addrinfo hints{};
      hints.ai_family = AF_INET;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* result = nullptr;
      const int rc = ::getaddrinfo(request->host.c_str(), nullptr, &hints, &result);
      request->error = static_cast<std::uint16_t>(socketErrorFromLookup(rc, errno));
      for (addrinfo* ai = result; rc == 0 && ai != nullptr; ai = ai->ai_next) {
        const std::string text =
            dottedAddress(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
        bool seen = false;
        for (const auto& known : request->addresses) seen = seen || known == text;
        if (!seen) request->addresses.push_back(text);
      }
      if (result != nullptr) ::freeaddrinfo(result);
      target->post([request, life] {
        if (!life->alive || request->cancelled) return;
        TAsyncSocket* self = life->self;
        if (self->pendingDns_ != request) return;
        self->dispatchGuarded([self, &request] { self->dnsLookupFinished(request); });
      });
    }).detach();
  } catch (const std::system_error& e) {
    return raiseText(host + ": can't start DNS lookup, error #" +
                     std::to_string(e.code().value()));
  }
  pendingDns_ = std::move(request);
}

void TAsyncSocket::dnsLookupFinished(const std::shared_ptr<DnsRequest>& request) {
  pendingDns_.reset();
  dnsResultList_ = request->addresses;
  dnsResult_ = dnsResultList_.empty() ? std::string() : dnsResultList_.front();
  if (OnDnsLookupDone) OnDnsLookupDone(*this, request->error);
}

void TAsyncSocket::CancelDnsLookup() {
  if (!pendingDns_) return;
  pendingDns_->cancelled = true;
  pendingDns_.reset();
  if (!destroying_ && OnDnsLookupDone) OnDnsLookupDone(*this, WSAEINTR);
}

}  // namespace zv
