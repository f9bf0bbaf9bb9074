#include "mail/custom_smtp_client.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>

#include "mail/smtp_date.h"
#include "mail/smtp_message.h"
#include "net/async_socket.h"
#include "net/event_loop.h"
#include "net/socket_errors.h"

namespace zv {

namespace {

std::string localHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// Refuses a value that would break a command or a header line apart.
void refuseLineBreak(const std::string& value, const char* what) {
    if (hasLineBreak(value)) throw SmtpException(std::string(what) + " holds a line break: '" + value + "'");
}

void refuseUnsafeAddress(const std::string& value, const char* what) {
    refuseLineBreak(value, what);
    if (!isSafeEnvelopeAddress(value))
        throw SmtpException(std::string(what) + " holds \"<\", \">\" or white space: '" + value + "'");
}

}  // namespace

TCustomSmtpClient::TCustomSmtpClient() : m_socket(std::make_unique<TAsyncSocket>()) {
    m_socket->OnDnsLookupDone = [this](TAsyncSocket&, std::uint16_t error) { socketDnsLookupDone(error); };
    m_socket->OnSessionConnected = [this](TAsyncSocket&, std::uint16_t error) {
        socketSessionConnected(error);
    };
    m_socket->OnDataAvailable = [this](TAsyncSocket&, std::uint16_t) { socketDataAvailable(); };
    m_socket->OnDataSent = [this](TAsyncSocket&, std::uint16_t) { socketDataSent(); };
    m_socket->OnSessionClosed = [this](TAsyncSocket&, std::uint16_t error) { socketSessionClosed(error); };
}

TCustomSmtpClient::~TCustomSmtpClient() {
    *m_alive = false;
    // The socket closes itself without calling back into this object.
    m_socket->OnDnsLookupDone = nullptr;
    m_socket->OnSessionConnected = nullptr;
    m_socket->OnDataAvailable = nullptr;
    m_socket->OnDataSent = nullptr;
    m_socket->OnSessionClosed = nullptr;
}

// ---- requests ------------------------------------------------------------

void TCustomSmtpClient::checkReady() const {
    // smtpInternalReady only occurs between the steps of a request in
    // progress: a new request then would cut into it, so only smtpReady counts.
    if (m_state != smtpReady) throw SmtpException("SMTP component not ready");
}

void TCustomSmtpClient::Open() {
    checkReady();
    if (m_connected) throw SmtpException("SMTP component already connected");
    beginRequest(smtpOpen);
    m_state = smtpDnsLookup;
    try {
        m_socket->DnsLookup(m_host);
    } catch (const std::exception& e) {
        // Nothing was started: the request has ended before it began.
        m_state = smtpReady;
        m_lastResponse = std::string("500 ESocketException: ") + e.what();
        m_replyCode = 500;
        m_requestResult = 500;
        if (m_errorMessage.empty()) m_errorMessage = m_lastResponse;
        throw SmtpException(m_lastResponse);
    }
}

void TCustomSmtpClient::checkMailPreconditions() {
    if (!m_connected) throw SmtpException("SMTP component not connected");
    if (m_rcptName.empty()) throw SmtpException("RcptName list is empty");
    refuseUnsafeAddress(m_fromName, "FromName");
    for (const std::string& rcpt : m_rcptName) refuseUnsafeAddress(rcpt, "RcptName");
    refuseLineBreak(m_hdrFrom, "HdrFrom");
    refuseLineBreak(m_hdrTo, "HdrTo");
    refuseLineBreak(m_hdrReplyTo, "HdrReplyTo");
    refuseLineBreak(m_hdrReturnPath, "HdrReturnPath");
    refuseLineBreak(m_hdrSubject, "HdrSubject");
    refuseLineBreak(m_charSet, "CharSet");
}

void TCustomSmtpClient::Mail() {
    checkReady();
    checkMailPreconditions();
    beginRequest(smtpMail);
    guarded([this] { sendMailFrom(); });
}

void TCustomSmtpClient::Quit() {
    checkReady();
    if (!m_connected) {
        // Nothing to do: the request ends at once and keeps the last result.
        m_request = smtpQuit;
        endRequest();
        return;
    }
    beginRequest(smtpQuit);
    guarded([this] {
        sendCommand("QUIT", {221}, [this](bool) {
            // The session is over whatever the answer: drop our end too, so
            // the next request starts on a fresh connection.
            closeByClient();
            endRequest();
        });
    });
}

void TCustomSmtpClient::Abort() {
    m_state = smtpAbort;
    m_replyStep = nullptr;
    m_sendingText = false;
    dropConnection([this] {
        ignoringErrors([this] { m_socket->CancelDnsLookup(); });
        ignoringErrors([this] { m_socket->Abort(); });
    });
    m_state = smtpReady;
}

void TCustomSmtpClient::startFailed(const std::string& text) { m_errorMessage = text; }

void TCustomSmtpClient::abortWithTimeout() {
    Abort();
    m_errorMessage = "426 Timeout";
    m_lastResponse = m_errorMessage;
    m_replyCode = 426;
    m_requestResult = 426;
}

void TCustomSmtpClient::beginRequest(TSmtpRequest request) {
    m_request = request;
    m_requestResult = 0;
    m_errorMessage.clear();
    m_replyStep = nullptr;
    m_sendingText = false;
    m_lineInFlight = false;
}

void TCustomSmtpClient::endRequest() {
    m_state = smtpReady;
    m_replyStep = nullptr;
    m_accepted.clear();
    m_sendingText = false;
    m_lineInFlight = false;
    m_pendingLines.clear();
    if (OnRequestDone) {
        std::weak_ptr<bool> alive = m_alive;
        const TSmtpRequest request = m_request;
        const auto error = static_cast<std::uint16_t>(m_requestResult);
        m_socket->ownerLoop().post([this, alive, request, error] {
            const auto token = alive.lock();
            if (token && *token && OnRequestDone) OnRequestDone(*this, request, error);
        });
    }
}

void TCustomSmtpClient::failRequest(int result, const std::string& text) {
    m_lastResponse = text;
    m_replyCode = 500;
    m_requestResult = result;
    if (m_errorMessage.empty()) m_errorMessage = text;
}

void TCustomSmtpClient::failWithSocketError(int error) {
    failRequest(error, "500 " + WSocketErrorDesc(error) + " (Winsock error #" + std::to_string(error) + ")");
}

void TCustomSmtpClient::closeByClient() {
    dropConnection([this] {
        try {
            m_socket->Close();
        } catch (const std::exception&) {
            ignoringErrors([this] { m_socket->Abort(); });
        }
    });
}

void TCustomSmtpClient::dropConnection(const std::function<void()>& close) {
    m_closingByClient = true;
    close();
    m_closingByClient = false;
    m_connected = false;
    m_reply.clear();
}

void TCustomSmtpClient::ignoringErrors(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

void TCustomSmtpClient::guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        const bool inRequest = m_state != smtpReady;
        failRequest(500, std::string("500 ") + e.what());
        closeByClient();
        if (inRequest) endRequest();
    }
}

// ---- commands --------------------------------------------------------------

void TCustomSmtpClient::sendCommand(const std::string& command, std::vector<int> accepted, TReplyStep next) {
    if (!m_connected) throw SmtpException("SMTP component not connected");
    m_state = smtpWaitingResponse;
    m_accepted = std::move(accepted);
    m_replyStep = std::move(next);
    display("> " + command);
    m_socket->SendText(command + "\r\n");
}

void TCustomSmtpClient::sendHelo() {
    const std::string name = m_signOn.empty() ? localHostName() : m_signOn;
    refuseLineBreak(name, "SignOn");
    sendCommand("HELO " + name, {250}, [this](bool) { endRequest(); });
}

void TCustomSmtpClient::sendMailFrom() {
    sendCommand("MAIL FROM:<" + trimmedText(m_fromName) + ">", {250}, [this](bool accepted) {
        if (accepted)
            sendRcptTo(0);
        else
            endRequest();
    });
}

void TCustomSmtpClient::sendRcptTo(std::size_t index) {
    sendCommand("RCPT TO:<" + trimmedText(m_rcptName.at(index)) + ">", {250, 251},
                [this, index](bool accepted) {
                    // Only the answer for the last recipient decides.
                    if (index + 1 < m_rcptName.size())
                        sendRcptTo(index + 1);
                    else if (accepted)
                        sendData();
                    else
                        endRequest();
                });
}

void TCustomSmtpClient::sendData() {
    TSmtpHeaderValues values;
    values.ReplyTo = m_hdrReplyTo;
    values.ReturnPath = m_hdrReturnPath;
    values.From = m_hdrFrom;
    values.To = m_hdrTo;
    values.Subject = m_hdrSubject;
    values.MediaType = m_contentType == smtpHTML ? "text/html" : "text/plain";
    values.CharSet = m_charSet;
    values.Date = smtpDateText(std::time(nullptr));
    m_headerLines = smtpHeaderLines(values);
    sendCommand("DATA", {354}, [this](bool accepted) {
        if (accepted)
            startText();
        else
            endRequest();
    });
}

void TCustomSmtpClient::startText() {
    // The lines are handed over one at a time; the system gathers them into
    // full segments until the final "." lets everything go at once.
    m_socket->setCork(true);
    m_state = smtpInternalReady;  // replies are not expected while the text goes out
    m_sendingText = true;
    m_headerIndex = 0;
    m_bodyLineNum = 1;
    m_moreBody = true;
    m_pendingLines.clear();
    sendNextTextLine();
}

bool TCustomSmtpClient::fetchBodyLine() {
    if (!OnGetData) return false;
    char line[kBodyLineMaxLen + 1] = {};
    bool more = true;
    try {
        OnGetData(*this, m_bodyLineNum, line, kBodyLineMaxLen, more);
    } catch (const std::exception&) {
        return false;
    }
    if (!more) return false;
    ++m_bodyLineNum;
    line[kBodyLineMaxLen] = '\0';
    // A value with line breaks becomes several lines, each under the dot rule.
    for (std::string& part : splitBodyLines(std::string_view(line, std::strlen(line))))
        m_pendingLines.push_back(std::move(part));
    return true;
}

void TCustomSmtpClient::sendNextTextLine() {
    if (!m_connected || !m_sendingText) return;
    std::string line;
    if (m_headerIndex < m_headerLines.size()) {
        line = m_headerLines[m_headerIndex++];
    } else {
        while (m_pendingLines.empty() && m_moreBody) m_moreBody = fetchBodyLine();
        if (m_pendingLines.empty()) {
            m_sendingText = false;
            sendCommand(".", {250}, [this](bool) { endRequest(); });
            m_socket->setCork(false);
            return;
        }
        line = dotStuffed(m_pendingLines.front());
        m_pendingLines.pop_front();
    }
    display("> " + line);
    m_lineInFlight = true;
    m_socket->SendText(line + "\r\n");
}

// ---- replies ---------------------------------------------------------------

void TCustomSmtpClient::processReplyLine(const std::string& line) {
    m_lastResponse = line;
    display("< " + line);
    if (m_state != smtpWaitingBanner && m_state != smtpWaitingResponse) return;
    const TSmtpReplyCode reply = parseSmtpReplyCode(line);
    m_replyCode = reply.code;
    if (reply.continuation) return;
    // A line without a code is a failure, never a success.
    const bool accepted = reply.hasDigits && smtpReplyAccepted(reply.code, m_accepted);
    if (accepted) {
        m_requestResult = 0;
    } else {
        m_requestResult = (reply.hasDigits && reply.code != 0) ? reply.code : 500;
        if (m_errorMessage.empty()) m_errorMessage = m_lastResponse;
    }
    m_state = smtpInternalReady;
    TReplyStep step = std::move(m_replyStep);
    m_replyStep = nullptr;
    if (step) step(accepted);
}

void TCustomSmtpClient::display(const std::string& text) {
    if (OnDisplay) ignoringErrors([&] { OnDisplay(*this, text); });
}

// ---- socket events ---------------------------------------------------------

void TCustomSmtpClient::socketDnsLookupDone(std::uint16_t error) {
    if (m_state != smtpDnsLookup) return;
    if (error != 0) {
        failWithSocketError(error);
        endRequest();
        return;
    }
    try {
        m_socket->setAddr(m_socket->DnsResult());
        m_socket->setProto("tcp");
        m_socket->setPort(m_port);
        // A plain close (no reset) once the conversation is over.
        m_socket->setLingerOnOff(lingerOff);
        m_state = smtpConnecting;
        m_socket->Connect();
    } catch (const std::exception& e) {
        failRequest(500, std::string("500 ESocketException: ") + e.what());
        m_requestResult = 500;
        closeByClient();
        endRequest();
    }
}

void TCustomSmtpClient::socketSessionConnected(std::uint16_t error) {
    if (m_state != smtpConnecting) return;
    if (error != 0) {
        // The socket closes itself after this handler; the request is over.
        failWithSocketError(error);
        endRequest();
        return;
    }
    m_connected = true;
    m_reply.clear();
    // The text goes out one short line at a time; without this each line would
    // wait for the server's delayed acknowledgement of the one before.
    m_socket->setNoDelay(true);
    m_state = smtpWaitingBanner;
    m_accepted = {220};
    m_replyStep = [this](bool accepted) {
        if (accepted) {
            m_state = smtpConnected;
            guarded([this] { sendHelo(); });
        } else {
            closeByClient();
            endRequest();
        }
    };
}

void TCustomSmtpClient::socketDataAvailable() {
    const int count = m_socket->Receive(m_reply.writePointer(), static_cast<int>(m_reply.freeSpace()));
    if (count <= 0) return;
    m_reply.commit(static_cast<std::size_t>(count));
    guarded([this] {
        while (auto line = m_reply.takeLine()) processReplyLine(*line);
        if (m_reply.overflowed()) {
            // No line end within the whole buffer: the reply can never be read,
            // and the conversation cannot go on in step with the server.
            const bool inRequest = m_state != smtpReady;
            failRequest(500, "500 Reply line longer than " + std::to_string(kSmtpReplyBufferSize - 2) +
                                 " characters");
            closeByClient();
            if (inRequest) endRequest();
        }
    });
}

void TCustomSmtpClient::socketDataSent() {
    if (!m_sendingText || !m_lineInFlight) return;
    m_lineInFlight = false;
    guarded([this] { sendNextTextLine(); });
}

void TCustomSmtpClient::socketSessionClosed(std::uint16_t error) {
    m_connected = false;
    m_reply.clear();
    if (m_closingByClient) return;
    if (m_state == smtpReady || m_state == smtpAbort) return;
    // The server closed while a request was in progress.
    if (m_errorMessage.empty()) {
        m_errorMessage =
            error != 0 ? "500 " + WSocketErrorDesc(error) + " (Winsock error #" + std::to_string(error) + ")"
                       : std::string("500 Connection closed by the mail server");
    }
    m_requestResult = WSAEINTR;
    endRequest();
}

}  // namespace zv
