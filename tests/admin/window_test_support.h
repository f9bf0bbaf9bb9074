// Helpers of the window tests: a temporary data folder that is the current
// directory, the settings and accounts written into it, a recorder for
// message boxes, blocking client connections on threads of their own (the
// test thread keeps Qt's events flowing meanwhile), driving modal dialogs, and
// a fixture that runs the real main window with a live server.
#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "admin/maintenance_actions.h"
#include "admin/server_form.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"

namespace zv::admin::test {

// A fresh folder under the system's temporary folder, made the current
// directory; the previous directory is restored and the folder removed after.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);

// Writes "wiwo.dat" in the current directory: one account per key
// ("Last,First"), each with the password "pw".
void writeAccounts(const std::vector<std::string>& keys);

// The settings file of the tests: port 0 (any free port) and the given
// [Screen] Status; `extraOptions` lines replace the defaults they name.
std::string settingsText(const std::string& blockSize = "8192", int screenStatus = 0,
                         const std::string& screenKeys = "");

// The value of a key in an ini text ("" when missing).
std::string iniValue(const std::string& iniText, const std::string& key);

// Records every message box and answers with `answer`.
struct TPromptLog {
    std::vector<std::pair<MessageKind, std::string>> shown;
    MessageAnswer answer = MessageAnswer::Ok;
    MessagePrompt prompt();
};

// The login request of an account of writeAccounts with nothing to merge.
std::string loginRequest(const std::string& key, const std::string& password = "pw");

// Runs `work` on a thread of its own while this thread processes Qt events,
// and returns its result. Fails the test if it takes longer than 20 seconds.
template <class T>
T whileProcessingEvents(std::function<T()> work) {
    std::future<T> result = std::async(std::launch::async, std::move(work));
    const bool done = QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000);
    EXPECT_TRUE(done) << "the work on the client thread did not finish";
    return result.get();
}

// A blocking TCP client of the server on 127.0.0.1. Receives time out after
// 15 seconds so that a broken server fails a test instead of hanging it.
class TTestClient {
public:
    explicit TTestClient(int port);
    ~TTestClient();
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends `text` and reads until `complete` says the answer is whole or the
    // peer closed; runs on a thread while this one processes Qt events.
    std::string request(const std::string& text,
                        std::function<bool(const std::string&)> complete);
    // The login of loginRequest: the server's first answer.
    std::string login(const std::string& key, const std::string& password = "pw");
    void close();

private:
    int fd_ = -1;
};

// Calls `act` with the next modal dialog of type T as soon as it is shown
// (polling Qt's modal stack); fails the test if none appears within 10 s.
// Polling stops early when `context` is destroyed.
template <class T>
void whenModal(std::function<void(T&)> act, QObject* context = qApp, int attemptsLeft = 1000) {
    QTimer::singleShot(10, context, [act = std::move(act), context, attemptsLeft]() mutable {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(*dialog);
        } else if (attemptsLeft > 0) {
            whenModal<T>(std::move(act), context, attemptsLeft - 1);
        } else {
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " appeared";
        }
    });
}

// The real main window with a live server in a temporary folder.
class WindowTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Writes the settings (when none was written yet) and `accounts`, creates
    // the window, shows it and runs the start-up.
    void startServer(const std::vector<std::string>& accounts);
    // The window and its host, as zelvora-admin makes them; not shown yet.
    void createWindow();
    TServerForm& form() { return *form_; }
    TServerHost& host();
    int port();
    // Cell of the user table, rows numbered from 1 as the table numbers them.
    std::string cell(int row, int column);
    std::string panelText(int index);
    std::string iniText() { return readFile(dir_.file("zva.ini")); }
    // Waits (processing events) until the registry has no session.
    bool waitForNoSessions();
    // Waits (processing events) until the window is minimised, and in the
    // tray where the desktop has one.
    bool waitForMinimised();

    TTempDir dir_;
    TPromptLog prompts_;
    std::unique_ptr<TServerForm> form_;
    std::unique_ptr<TServerHost> host_;  // with form_ as its view
};

}  // namespace zv::admin::test
