#pragma once
// TCustomSmtpClient: the SMTP protocol engine. Event-driven on a TAsyncSocket
// that it creates and owns; the socket, and so every handler of the client,
// belongs to the thread that created the client. Requests (Open, Mail, Quit)
// start here and end later in the owner thread's loop; TSyncSmtpClient waits
// for them.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mail/smtp_reply.h"

namespace zv {

class TAsyncSocket;

enum TSmtpState {
    smtpReady,
    smtpDnsLookup,
    smtpConnecting,
    smtpConnected,
    smtpInternalReady,
    smtpWaitingBanner,
    smtpWaitingResponse,
    smtpAbort,
};

enum TSmtpContentType { smtpHTML, smtpPlainText };

// The requests a client runs; OnRequestDone names the one that ended.
enum TSmtpRequest { smtpOpen, smtpMail, smtpQuit };

// A request refused before it starts (the client is busy, not connected ...).
class SmtpException : public std::runtime_error {
public:
    explicit SmtpException(const std::string& what) : std::runtime_error(what) {}
};

class TCustomSmtpClient {
public:
    // MsgLine holds MaxLen + 1 bytes; the handler writes at most MaxLen - 1
    // characters and a NUL, or sets More false to end the body.
    using TGetDataEvent =
        std::function<void(TCustomSmtpClient& sender, int LineNum, char* MsgLine, int MaxLen, bool& More)>;
    using TRequestDoneEvent =
        std::function<void(TCustomSmtpClient& sender, TSmtpRequest request, std::uint16_t error)>;
    // Trace of the conversation: commands and text lines "> ...", replies "< ...".
    using TDisplayEvent = std::function<void(TCustomSmtpClient& sender, const std::string& text)>;

    static constexpr int kBodyLineMaxLen = 1023;

    TCustomSmtpClient();
    virtual ~TCustomSmtpClient();
    TCustomSmtpClient(const TCustomSmtpClient&) = delete;
    TCustomSmtpClient& operator=(const TCustomSmtpClient&) = delete;

    const std::string& Host() const { return m_host; }
    void setHost(std::string value) { m_host = std::move(value); }
    const std::string& Port() const { return m_port; }
    void setPort(std::string value) { m_port = std::move(value); }
    const std::string& SignOn() const { return m_signOn; }
    void setSignOn(std::string value) { m_signOn = std::move(value); }
    const std::string& FromName() const { return m_fromName; }
    void setFromName(std::string value) { m_fromName = std::move(value); }
    std::vector<std::string>& RcptName() { return m_rcptName; }
    const std::vector<std::string>& RcptName() const { return m_rcptName; }
    void setRcptName(std::vector<std::string> value) { m_rcptName = std::move(value); }
    const std::string& HdrFrom() const { return m_hdrFrom; }
    void setHdrFrom(std::string value) { m_hdrFrom = std::move(value); }
    const std::string& HdrTo() const { return m_hdrTo; }
    void setHdrTo(std::string value) { m_hdrTo = std::move(value); }
    const std::string& HdrReplyTo() const { return m_hdrReplyTo; }
    void setHdrReplyTo(std::string value) { m_hdrReplyTo = std::move(value); }
    const std::string& HdrReturnPath() const { return m_hdrReturnPath; }
    void setHdrReturnPath(std::string value) { m_hdrReturnPath = std::move(value); }
    const std::string& HdrSubject() const { return m_hdrSubject; }
    void setHdrSubject(std::string value) { m_hdrSubject = std::move(value); }
    const std::string& CharSet() const { return m_charSet; }
    void setCharSet(std::string value) { m_charSet = std::move(value); }
    TSmtpContentType ContentType() const { return m_contentType; }
    void setContentType(TSmtpContentType value) { m_contentType = value; }
    int Timeout() const { return m_timeout; }
    void setTimeout(int seconds) { m_timeout = seconds; }

    TSmtpState State() const { return m_state; }
    const std::string& ErrorMessage() const { return m_errorMessage; }
    const std::string& LastResponse() const { return m_lastResponse; }
    int ReplyCode() const { return m_replyCode; }
    int RequestResult() const { return m_requestResult; }
    bool Connected() const { return m_connected; }

    TGetDataEvent OnGetData;
    TRequestDoneEvent OnRequestDone;
    TDisplayEvent OnDisplay;

    // Start a request; each raises SmtpException when its precondition fails.
    // Connect to Host/Port, greeting 220, HELO.
    void Open();
    // MAIL FROM, RCPT TO per recipient, DATA, header, body, ".". Refused
    // before anything is sent when an address or header value holds CR or LF.
    // A body line holding CR, LF or CR LF goes out as several lines, each under
    // the dot rule, so no value can end the message or start a command.
    void Mail();
    // QUIT, then the client closes its end whatever the answer; ends at once,
    // sending nothing, when not connected.
    void Quit();
    // Ends the request in progress and drops the connection without QUIT.
    void Abort();

    TAsyncSocket& socket() { return *m_socket; }

protected:
    // A request that could not start: ErrorMessage tells why.
    void startFailed(const std::string& text);
    // The wait for a request ran out: abort it and the connection, and leave
    // "426 Timeout" as the failure.
    void abortWithTimeout();

private:
    using TReplyStep = std::function<void(bool accepted)>;

    void checkReady() const;
    // Checks made before a mail starts; raises SmtpException.
    void checkMailPreconditions();
    void beginRequest(TSmtpRequest request);
    void endRequest();
    void failRequest(int result, const std::string& text);
    void failWithSocketError(int error);
    void closeByClient();
    // Runs `close` (which must not throw) marked as our own closing, then
    // forgets the connection and any partial reply.
    void dropConnection(const std::function<void()>& close);
    // Runs `step`, ignoring a failure: for clean-up whose result changes nothing.
    static void ignoringErrors(const std::function<void()>& step);

    void sendCommand(const std::string& command, std::vector<int> accepted, TReplyStep next);
    void sendHelo();
    void sendMailFrom();
    void sendRcptTo(std::size_t index);
    void sendData();
    void startText();
    void sendNextTextLine();
    bool fetchBodyLine();
    void processReplyLine(const std::string& line);
    void display(const std::string& text);
    // Runs a step of a request inside an event handler: an exception ends the
    // request with 500 and drops the connection instead of leaving it hanging.
    void guarded(const std::function<void()>& step);

    void socketDnsLookupDone(std::uint16_t error);
    void socketSessionConnected(std::uint16_t error);
    void socketDataAvailable();
    void socketDataSent();
    void socketSessionClosed(std::uint16_t error);

    std::string m_host;
    std::string m_port = "smtp";
    std::string m_signOn;
    std::string m_fromName;
    std::vector<std::string> m_rcptName;
    std::string m_hdrFrom, m_hdrTo, m_hdrReplyTo, m_hdrReturnPath, m_hdrSubject;
    std::string m_charSet = "iso-8859-1";
    TSmtpContentType m_contentType = smtpPlainText;
    int m_timeout = 15;

    TSmtpState m_state = smtpReady;
    TSmtpRequest m_request = smtpOpen;
    std::string m_errorMessage;
    std::string m_lastResponse;
    int m_replyCode = 0;
    int m_requestResult = 0;
    bool m_connected = false;
    bool m_closingByClient = false;

    TSmtpReplyBuffer m_reply;
    std::vector<int> m_accepted;
    TReplyStep m_replyStep;

    // The message text in progress.
    bool m_sendingText = false;
    bool m_lineInFlight = false;
    std::vector<std::string> m_headerLines;
    std::size_t m_headerIndex = 0;
    int m_bodyLineNum = 1;
    bool m_moreBody = false;
    std::deque<std::string> m_pendingLines;

    // Lets a task posted to the loop see whether the client still exists.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<TAsyncSocket> m_socket;
};

}  // namespace zv
