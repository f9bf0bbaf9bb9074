#include "host/server_host.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "host/auto_punch_out.h"
#include "host/platform_info.h"
#include "mail/message_notice.h"
#include "mail/smtp_client.h"
#include "net/async_socket.h"
#include "net/event_loop.h"
#include "net/socket_errors.h"
#include "protocol/client_thread.h"
#include "stores/stores.h"

namespace zv {

namespace {

constexpr const char* kNoAddressText =
    "Zelvora could not find an IP Address.\r"
    "Please assign a Static IP Address to this computer,\r"
    "then restart Zelvora Admin/Server.";

// Why the listening socket could not open, in the administrator's words
// first and the socket layer's after.
std::string listenFailureText(const std::string& port, const ESocketException& e) {
    std::string text;
    if (e.code() == WSAEADDRINUSE) {
        text = "Another program on this computer is already using port " + port +
               "\r(perhaps another Zelvora Admin/Server).\r"
               "Stop the other program, or set another Port under [Options] in zva.ini,\r"
               "then start Zelvora Admin/Server again.";
    } else if (e.code() == WSAEACCES) {
        text = "Only the system administrator may open port " + port +
               " (ports below 1024 need special rights).\rSet a Port above 1023 under "
               "[Options] in zva.ini,\rthen start Zelvora Admin/Server again.";
    } else {
        text = "The server cannot listen on port " + port + ".";
    }
    return text + "\rZelvora Admin/Server stops without changing any data file.\r\r" + e.what();
}

}  // namespace

TServerHost::TServerHost(AdminView& view, SettingsFiles settingsFiles)
    : view_(view),
      settingsFiles_(std::move(settingsFiles)),
      mainLoop_(TEventLoop::forCurrentThread()) {
    SmtpClient1 = std::make_unique<TSyncSmtpClient>();
    SmtpClient1->setPort("smtp");
    SmtpClient1->setCharSet("iso-8859-1");
    SmtpClient1->setTimeout(15);
    // Kept in reserve to close a connection that arrives when the process has
    // no descriptor left for it.
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    // The stores exist from the start, empty, so that nothing ever meets a
    // missing one; they are named and loaded by FormShow.
    board_ = std::make_unique<TWIWOList>();
    messages_ = std::make_unique<TWYWOList>();
    memos_ = std::make_unique<TPOSTIList>();
    departments_ = std::make_unique<TDEPTList>();
    phonebook_ = std::make_unique<TPHONEList>();
    statusLog_ = std::make_unique<TLOGList>();
    // What a load got over (a file cut short, an old employee file) is told
    // as a warning, and start-up goes on.
    const auto warn = [this](const std::string& text) { view_.showMessage(MessageKind::Warning, text); };
    board_->setLoadWarning(warn);
    messages_->setLoadWarning(warn);
    memos_->setLoadWarning(warn);
    departments_->setLoadWarning(warn);
    phonebook_->setLoadWarning(warn);
    statusLog_->setLoadWarning(warn);
    board_->setChangeObserver([this] { boardChanged(); });
    autoPunchOut_ = std::make_unique<TAutoPunchOut>(*this);
}

void TServerHost::nameStores() {
    board_->setFileName("wiwo.dat");
    messages_->setFileName("wywa.dat");
    memos_->setFileName("posti.dat");
    departments_->setFileName("department.dat");
    phonebook_->setFileName("phonebook.dat");
    statusLog_->setFileName("log_stat.dat");
}

TServerHost::~TServerHost() {
    autoPunchOut_.reset();
    // The listening socket goes first, so that no connection is accepted
    // into a host that is being taken apart.
    ServerSocket.reset();
    if (spareFd_ >= 0) ::close(spareFd_);
}

// --- start-up ------------------------------------------------------------------

void TServerHost::FormShow() {
    if (!firstShow_) return;

    // The stores exist (empty) since construction; now they get their files.
    nameStores();

    firstShow_ = false;
    loadSettings();

    ServerSocket = std::make_unique<TAsyncSocket>();
    try {
        ServerSocket->setProto("tcp");
        ServerSocket->setPort(settings_.Port);
        ServerSocket->setAddr("0.0.0.0");
    } catch (const std::exception& e) {
        failStartup("The server cannot use port \"" + settings_.Port + "\":\r" + e.what());
        return;
    }
    ServerSocket->OnSessionAvailable = [this](TAsyncSocket& sender, std::uint16_t error) {
        ServerSocketSessionAvailable(sender, error);
    };
    view_.userTableChanged();  // the header texts

    if (!findLocalAddress()) {
        view_.showMessage(MessageKind::Warning, kNoAddressText);
        fatalStartup_ = true;
        view_.requestClose();
        return;
    }
    view_.setStatusPanel(kAddressPanel, "IP Address: " + localIPAddress_);
    view_.setStatusPanel(kPortPanel, "Port: " + settings_.Port);

    if (!loadStore("departments", [this] { departments_->loadFromFile(); }) ||
        !loadStore("phonebook", [this] { phonebook_->loadFromFile(); }) ||
        !loadStore("employee board", [this] { board_->loadFromFile(); })) {
        return;
    }
    if (!startListening()) return;
    if (!loadStore("messages", [this] { messages_->loadFromFile(); }) ||
        !loadStore("memos", [this] { memos_->loadFromFile(); }) ||
        !loadStore("status change log", [this] { statusLog_->loadFromFile(); })) {
        return;
    }
    refreshUserTable("");
    serving_ = true;
    autoPunchOut_->start();
    if (OnServing) OnServing();
}

bool TServerHost::findLocalAddress() {
    auto address = localIPAddressOfHost();
    if (!address) return false;
    localIPAddress_ = *address;
    return true;
}

bool TServerHost::loadStore(const char* what, const std::function<void()>& load) {
    try {
        load();
        return true;
    } catch (const std::exception& e) {
        failStartup(std::string("The ") + what + " could not be loaded:\r" + e.what() +
                    "\rZelvora Admin/Server stops without changing any data file.");
        return false;
    }
}

bool TServerHost::startListening() {
    try {
        ServerSocket->Listen();
        return true;
    } catch (const ESocketException& e) {
        failStartup(listenFailureText(settings_.Port, e));
        return false;
    } catch (const std::exception& e) {
        failStartup("The server cannot listen on port " + settings_.Port + ":\r" + e.what() +
                    "\rZelvora Admin/Server stops without changing any data file.");
        return false;
    }
}

void TServerHost::failStartup(const std::string& message) {
    view_.showMessage(MessageKind::Error, message);
    fatalStartup_ = true;
    serving_ = false;
    if (ServerSocket) {
        try {
            ServerSocket->Close();
        } catch (const std::exception&) {
            // Already closed or never opened: nothing to undo.
        }
    }
    view_.requestClose();
}

int TServerHost::listeningPort() const { return ServerSocket ? ServerSocket->boundPort() : 0; }

// --- shutdown ------------------------------------------------------------------

bool TServerHost::FormCloseQuery() {
    if (closed_) return true;
    if (!fatalStartup_ && !view_.confirmShutdown()) return false;

    serving_ = false;
    // No new connection may reach stores that are about to be emptied.
    if (ServerSocket) {
        ServerSocket->OnSessionAvailable = nullptr;
        try {
            ServerSocket->Close();
        } catch (const std::exception&) {
            // A listener that failed is closed already.
        }
    }
    if (OnStopping) OnStopping();
    autoPunchOut_->stop();
    stopEverySession();
    clearStores();
    saveSettings();
    closed_ = true;
    return true;
}

void TServerHost::stopEverySession() {
    registry_.forEachNewestFirst([](const TSessionRegistry::Entry& entry) {
        if (entry.session) entry.session->postQuit();
    });
}

void TServerHost::clearStores() {
    if (board_) board_->clearList();
    if (messages_) messages_->clearList();
    if (memos_) memos_->clearList();
    if (departments_) departments_->clearList();
    if (phonebook_) phonebook_->clearList();
    if (statusLog_) statusLog_->clearList();
}

void TServerHost::FormDestroy() {
    ServerSocket.reset();
}

// --- changes of the employee board --------------------------------------------------

int TServerHost::addBoardObserver(std::function<void(std::uint64_t)> observer) {
    return boardObservers_.add(std::move(observer));
}

void TServerHost::removeBoardObserver(int token) { boardObservers_.remove(token); }

void TServerHost::boardChanged() {
    ++boardVersion_;
    boardObservers_.notify(boardVersion_);
}

// --- settings --------------------------------------------------------------------

void TServerHost::loadSettings() {
    zv::loadSettings(settings_, settingsFiles_, view_);
    if (statusLog_) statusLog_->setMaxSize(settings_.logSizeLimit);
}

bool TServerHost::saveSettings() {
    try {
        zv::saveSettings(settings_, settingsFiles_, view_);
        return true;
    } catch (const std::exception& e) {
        view_.showMessage(MessageKind::Warning, e.what());
        return false;
    }
}

void TServerHost::setLogSizeLimit(int limit) {
    settings_.logSizeLimit = limit;
    if (statusLog_) statusLog_->setMaxSize(limit);
}

// --- TServerContext ------------------------------------------------------------------

// Once the close has gone ahead the stores are empty and must never be saved
// over their files: a session step that was still queued then fails (and is
// dropped) instead of touching them.
void TServerHost::requireOpen(const char* what) const {
    if (closed_) {
        throw StoreError(std::string("The ") + what +
                         " is no longer available: the server has shut down");
    }
}

TWIWOList& TServerHost::board() {
    requireOpen("employee board");
    return *board_;
}
TPOSTIList& TServerHost::memos() {
    requireOpen("memo store");
    return *memos_;
}
TWYWOList& TServerHost::messages() {
    requireOpen("message store");
    return *messages_;
}
TDEPTList& TServerHost::departments() {
    requireOpen("department list");
    return *departments_;
}
TPHONEList& TServerHost::phonebook() {
    requireOpen("phonebook");
    return *phonebook_;
}
TLOGList& TServerHost::statusLog() {
    requireOpen("status change log");
    return *statusLog_;
}

int TServerHost::blockSizeInUse() const { return settings_.blockSizeInUse; }
std::string TServerHost::expDaysText() const { return settings_.ExpDays; }
std::string TServerHost::smtpHost() const { return settings_.SMTPHost; }

void TServerHost::updateThreadList(const std::string& connectionId,
                                   const std::string& employeeKey) {
    registry_.updateThreadList(connectionId, employeeKey);
}

void TServerHost::clearUserTable(int count) { userTable_.clearUserTable(count); }

void TServerHost::refreshUserTable(const std::string& name) {
    if (!board_) return;
    userTable_.refreshUserTable(name, *board_, registry_);
    view_.setStatusPanel(kUsersPanel, userTable_.usersPanelText());
    view_.userTableChanged();
    userTableObservers_.notify();
}

void TServerHost::notifyMessage(TWYWONode& message) {
    if (!SmtpClient1 || !board_) return;
    mailNewMessageIfWanted(*SmtpClient1, *board_, message, settings_.SMTPHost);
}

TEventLoop& TServerHost::mainLoop() { return mainLoop_; }
TSessionMutex& TServerHost::sessionMutex() { return sessionMutex_; }

void TServerHost::clientThreadTerminated(TClientThread& session) {
    ClientThreadTerminate(session);
}

// --- session registry events ---------------------------------------------------------

void TServerHost::ServerSocketSessionAvailable(TAsyncSocket& sender, std::uint16_t error) {
    if (error != 0) return;
    int handle = INVALID_SOCKET;
    try {
        handle = sender.Accept();
    } catch (const ESocketException& e) {
        // No descriptor or memory left for the new connection: close it
        // through the spare descriptor, so that it does not stay pending and
        // the listener keeps serving the others.
        std::cerr << programName() << ": a connection could not be accepted: " << e.what() << '\n';
        if (e.code() == WSAEMFILE || e.code() == WSAENOBUFS) refuseOnePending(sender);
        return;
    }
    if (handle == INVALID_SOCKET) return;
    if (registry_.count() >= settings_.maxClients) {
        ::close(handle);
        reportRefusedConnection();
        return;
    }
    std::string failure;
    TClientThread* session = TClientThread::create(handle, *this, &failure);
    if (!session) {
        // create() has closed the handle; the other sessions go on.
        std::cerr << programName() << ": a connection was closed: " << failure << '\n';
        return;
    }
    session->setIdleTimeout(std::chrono::seconds(settings_.idleTimeoutSeconds));
    registry_.add(session, session->connectionID());
    session->start();
}

// A full server refuses connections in bursts: the administrator hears of it
// at most once a minute, without a box to answer, and with the count refused
// since the last report.
void TServerHost::reportRefusedConnection() {
    ++refusedSinceReport_;
    const auto now = std::chrono::steady_clock::now();
    if (lastRefusalReport_ && now - *lastRefusalReport_ < kRefusalReportInterval) return;
    std::string text = "A connection was closed at once: " + std::to_string(registry_.count()) +
                       " clients are connected, the most that MaxClients in " + kSettingsFileName +
                       " allows.";
    if (refusedSinceReport_ > 1)
        text += "\r" + std::to_string(refusedSinceReport_) + " connections were refused since the last report.";
    view_.showNotice(MessageKind::Warning, text);
    lastRefusalReport_ = now;
    refusedSinceReport_ = 0;
}

void TServerHost::refuseOnePending(TAsyncSocket& listener) {
    if (spareFd_ >= 0) {
        ::close(spareFd_);
        spareFd_ = -1;
    }
    const int fd = ::accept4(listener.HSocket(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void TServerHost::ClientThreadTerminate(TClientThread& session) {
    const std::string id = registry_.connectionIDOf(&session);
    if (!id.empty()) registry_.deleteThread(id);
    if (!board_) return;
    clearUserTable(board_->getCount());
    refreshUserTable("");
}

}  // namespace zv
