#include "window_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <QLabel>

#include "admin/server_tray.h"
#include "admin/user_table_model.h"
#include "host/server_host.h"
#include "host/session_registry.h"
#include "stores/board_store.h"

namespace zv::admin::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
    std::string pattern = (fs::temp_directory_path() / "zv_window_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    }
    path_ = pattern;
    previous_ = fs::current_path().string();
    fs::current_path(path_);
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAccounts(const std::vector<std::string>& keys) {
    TWIWOList board;
    board.setFileName("wiwo.dat");
    for (const std::string& key : keys) {
        auto node = std::make_unique<TWIWONode>();
        node->Employee = key;
        const auto comma = key.find(',');
        node->LastName = key.substr(0, comma);
        node->FirstName = comma == std::string::npos ? "" : key.substr(comma + 1);
        node->Password = "pw";
        node->Department = "Sales";
        node->Status = "Out";
        board.addNode(std::move(node));
    }
    board.saveToFile();
}

std::string settingsText(const std::string& blockSize, int screenStatus,
                         const std::string& screenKeys) {
    return "[Options]\r\nBlockSize=" + blockSize +
           "\r\nSMTPHost=\r\nPort=0\r\nExpDays=1\r\nMaxLogSize=100\r\n"
           "[Screen]\r\n" +
           screenKeys + "Status=" + std::to_string(screenStatus) + "\r\n";
}

std::string iniValue(const std::string& iniText, const std::string& key) {
    const std::string wanted = "\n" + key + "=";
    const std::string text = "\n" + iniText;
    const auto at = text.find(wanted);
    if (at == std::string::npos) return "";
    const auto start = at + wanted.size();
    const auto end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

MessagePrompt TPromptLog::prompt() {
    return [this](MessageKind kind, const std::string& text) {
        shown.emplace_back(kind, text);
        return answer;
    };
}

std::string loginRequest(const std::string& key, const std::string& password) {
    return "SUBMIT_LOGIN:DLTA:" + key + "|" + password +
           ":[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA";
}

TTestClient::TTestClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    timeval timeout{15, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The listen backlog takes the connection even before the server accepts.
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close();
        throw std::runtime_error("connect to port " + std::to_string(port) + ": " +
                                 std::strerror(error));
    }
}

TTestClient::~TTestClient() { close(); }

void TTestClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string TTestClient::request(const std::string& text,
                                 std::function<bool(const std::string&)> complete) {
    const int fd = fd_;
    return whileProcessingEvents<std::string>([fd, text, complete] {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return std::string("<send failed>");
            sent += static_cast<std::size_t>(n);
        }
        std::string received;
        char buffer[4096];
        while (!complete(received)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;  // closed by the server, or the receive timed out
            received.append(buffer, static_cast<std::size_t>(n));
        }
        return received;
    });
}

std::string TTestClient::login(const std::string& key, const std::string& password) {
    return request(loginRequest(key, password), [](const std::string& answer) {
        return answer == "PREPARE_TO_RECEIVE" || answer == "LOGIN_DENIED" ||
               answer == "NON_EXIST" || answer.size() >= std::strlen("PREPARE_TO_RECEIVE");
    });
}

// --- WindowTest ----------------------------------------------------------------

void WindowTest::startServer(const std::vector<std::string>& accounts) {
    if (!fs::exists(dir_.file("zva.ini"))) writeFile(dir_.file("zva.ini"), settingsText());
    writeAccounts(accounts);
    createWindow();
    form_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form_->startedUp(); }, 10000));
    ASSERT_TRUE(host().serving()) << "start-up failed; messages: " << prompts_.shown.size();
}

void WindowTest::createWindow() {
    form_ = std::make_unique<TServerForm>();
    host_ = std::make_unique<TServerHost>(*form_, dir_.path());
    form_->serve(*host_);
    form_->setPrompt(prompts_.prompt());
}

TServerHost& WindowTest::host() { return *host_; }

int WindowTest::port() { return host().listeningPort(); }

std::string WindowTest::cell(int row, int column) {
    return fromQt(form_->userTableModel()->index(row - 1, column).data().toString());
}

std::string WindowTest::panelText(int index) { return fromQt(form_->statusPanel(index)->text()); }

bool WindowTest::waitForNoSessions() {
    return QTest::qWaitFor([this] { return host().registry().empty(); }, 15000);
}

bool WindowTest::waitForMinimised() {
    return QTest::qWaitFor(
        [this] { return form_->isMinimized() && (form_->inTray() || !TServerTray::available()); }, 5000);
}

void WindowTest::TearDown() {
    if (form_) {
        EXPECT_TRUE(waitForNoSessions()) << "sessions still running at the end of the test";
        // The host goes first: its shutdown may still call the window.
        host_.reset();
        form_.reset();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QWidgetList leaked = QApplication::topLevelWidgets();
    for (QWidget* widget : leaked) {
        ADD_FAILURE() << "top-level window left over: " << widget->metaObject()->className()
                      << " \"" << widget->windowTitle().toStdString() << "\"";
    }
}

}  // namespace zv::admin::test
