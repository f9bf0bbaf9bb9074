#pragma once
// A mail server stand-in for the SMTP client tests: a thread with a plain
// blocking socket on 127.0.0.1 (a free port) that plays one script per
// accepted connection and records every line the client sent.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv::test {

struct PeerStep {
    enum Kind {
        Send,          // send `text` as it is (add "\r\n" yourself)
        Receive,       // read one line from the client
        ReceiveData,   // read lines up to and including the lone "." line
        ReceiveLines,  // read `count` lines
        Close,         // close the connection now
        Silence,       // answer nothing: read until the client goes away
    };
    Kind kind;
    std::string text;
    int count = 0;
};

PeerStep send(std::string text);
PeerStep reply(const std::string& line);  // send(line + "\r\n")
PeerStep receive();
PeerStep receiveData();
PeerStep receiveLines(int count);
PeerStep closeConnection();
PeerStep silence();

using PeerScript = std::vector<PeerStep>;

// The usual script of a server that accepts one mail: greeting, HELO, MAIL,
// one RCPT, DATA with its text, QUIT.
PeerScript acceptingScript();

class ScriptedSmtpPeer {
public:
    // One script per connection, in the order the connections arrive.
    explicit ScriptedSmtpPeer(std::vector<PeerScript> scripts);
    ~ScriptedSmtpPeer();  // waits for the peer thread
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    std::string port() const { return std::to_string(m_port); }
    // Waits until every script has run and the client closed its end.
    void finish();
    // The lines the client sent, without their CR LF, all connections in order.
    std::vector<std::string> lines();
    int connectionsAccepted() const { return m_accepted; }
    // True when each connection ended with the client closing its end.
    bool clientClosedEach();

private:
    void run();
    void play(int fd, const PeerScript& script);
    bool readLine(int fd, std::string& pending, std::string& line);

    std::vector<PeerScript> m_scripts;
    int m_listenFd = -1;
    int m_stopFd = -1;  // eventfd: ends waits when the test is torn down
    int m_port = 0;
    std::atomic<int> m_accepted{0};
    std::mutex m_mutex;
    std::vector<std::string> m_lines;  // guarded by m_mutex
    bool m_allClosedByClient = true;   // guarded by m_mutex
    std::thread m_thread;
};

}  // namespace zv::test
