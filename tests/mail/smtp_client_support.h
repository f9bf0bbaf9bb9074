#pragma once
// Setting up the SMTP client for a conversation with a scripted peer.

#include <algorithm>
#include <string>
#include <vector>

#include "mail/smtp_client.h"
#include "scripted_smtp_peer.h"

namespace zv::test {

// Host and port of the peer, a sign-on, a 10 s limit and a one-recipient
// header.
inline void prepare(TSyncSmtpClient& client, const ScriptedSmtpPeer& peer) {
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    client.setSignOn("tester");
    client.setTimeout(10);
    client.setRcptName({"anna@example.com"});
    client.setHdrFrom("desk@example.com");
    client.setHdrTo("anna@example.com");
    client.setHdrSubject("While You Were Out");
}

// A body supplier that hands out `body` one line per call.
inline void supplyBody(TCustomSmtpClient& client, std::vector<std::string> body) {
    client.OnGetData = [body](TCustomSmtpClient&, int lineNum, char* msgLine, int maxLen, bool& more) {
        if (lineNum > static_cast<int>(body.size())) {
            more = false;
            return;
        }
        const std::string& line = body[static_cast<std::size_t>(lineNum - 1)];
        const std::size_t n = std::min(line.size(), static_cast<std::size_t>(maxLen - 1));
        line.copy(msgLine, n);
        msgLine[n] = '\0';
    };
}

}  // namespace zv::test
