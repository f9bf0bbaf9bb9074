// Shared pieces of the maintenance dialog tests: a temporary folder with a
// server whose stores the dialogs use, a prompt that records every message
// box and answers questions as told, and a driver for modal dialogs that a
// button opens with exec().
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "admin/maintenance_actions.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "protocol/server_context.h"
#include "stores/record_codec.h"
#include "stores/stores.h"
#include "support/recording_view.h"

namespace zv::admin::test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zv-dialogs-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder from " + pattern);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

// Records every message box; questions are answered from `answers` (No when
// it runs out).
class PromptRecorder {
public:
    struct Shown {
        MessageKind kind;
        std::string text;
    };

    MessagePrompt prompt() {
        return [this](MessageKind kind, const std::string& text) {
            shown.push_back({kind, text});
            if (onShow) onShow(kind, text);
            if (kind != MessageKind::Question) return MessageAnswer::Ok;
            if (answers.empty()) return MessageAnswer::No;
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Shown& s : shown) out.push_back(s.text);
        return out;
    }
    std::string last() const { return shown.empty() ? std::string() : shown.back().text; }
    MessageKind lastKind() const { return shown.empty() ? MessageKind::Error : shown.back().kind; }

    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;
    std::function<void(MessageKind, const std::string&)> onShow;
};

// What the fixtures below share: adding records to four stores as the
// tests need them.
template <class Self>
struct StoreFilling {
    void addDepartment(const std::string& name) {
        auto node = std::make_unique<TDEPTNode>();
        node->Name = name;
        self().departments.addNode(std::move(node));
    }
    TWIWONode& addAccount(const std::string& last, const std::string& first, const std::string& department) {
        auto node = std::make_unique<TWIWONode>();
        node->Employee = last + "," + first;
        node->LastName = last;
        node->FirstName = first;
        node->Password = "pw";
        node->Department = department;
        node->Status = "In";
        node->EMailNotify = "NO";
        return self().board.addNode(std::move(node));
    }
    void addCaller(const std::string& caller, const std::string& company, const std::string& phone) {
        self().phonebook.addNode(
            self().phonebook.createNodeFromString(caller + "<~FLD~>" + company + "<~FLD~>" + phone));
    }
    static std::string recordString(const std::vector<std::string>& fields) {
        std::string record;
        for (std::size_t i = 0; i < fields.size(); ++i) record += (i ? "<~FLD~>" : "") + fields[i];
        return record;
    }
    void addLog(const std::vector<std::string>& fields) {
        self().log.addNode(self().log.createNodeFromString(recordString(fields)));
    }
    // Many entries at once: appended to the data file, which is then loaded
    // (adding one by one saves the whole log each time).
    void addLogs(const std::vector<std::vector<std::string>>& entries) {
        TLOGList& log = self().log;
        log.saveToFile();
        std::string bytes = readWholeFile(log.fileName());
        std::vector<char> slot(RecordLayout<TLOGNode>::kRecordSize);
        for (const auto& fields : entries) {
            TLOGNode node;
            node.setFromString(recordString(fields));
            std::fill(slot.begin(), slot.end(), 0);
            encodeRecord(node, slot.data());
            bytes.append(slot.data(), slot.size());
        }
        std::ofstream(log.fileName(), std::ios::binary | std::ios::trunc) << bytes;
        log.loadFromFile();
    }

private:
    Self& self() { return static_cast<Self&>(*this); }
};

// Four stores of their own with files in a temporary folder: the data files
// a server starts with.
struct StoreFiles : StoreFilling<StoreFiles> {
    explicit StoreFiles(const TempFolder& folder) {
        board.setFileName(folder.file("wiwo.dat"));
        departments.setFileName(folder.file("department.dat"));
        phonebook.setFileName(folder.file("phonebook.dat"));
        log.setFileName(folder.file("log_stat.dat"));
    }

    TWIWOList board;
    TDEPTList departments;
    TPHONEList phonebook;
    TLOGList log;
};

// A server started in a temporary folder (also the current directory while
// it lives), reached as the dialogs reach it: `data`, its maintenance API.
// The four stores are the server's own, to fill and to look at; the dialogs'
// changes stay in memory, as the window's do until their dialog closes.
struct StoreSet : StoreFilling<StoreSet> {
    explicit StoreSet(const TempFolder& folder) : oldCwd_(enter(folder)), host(start(folder, view)) {}
    ~StoreSet() {
        host->FormCloseQuery();
        host->FormDestroy();
        host.reset();
        std::error_code ignored;
        std::filesystem::current_path(oldCwd_, ignored);
    }
    StoreSet(const StoreSet&) = delete;
    StoreSet& operator=(const StoreSet&) = delete;

private:
    // Makes `folder` the current directory with the settings file of the
    // tests; the previous directory is returned.
    static std::filesystem::path enter(const TempFolder& folder) {
        std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
        std::ofstream(folder.file("zva.ini"), std::ios::binary)
            << "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=0\r\nExpDays=0\r\nMaxLogSize=100\r\n";
        return old;
    }
    static std::unique_ptr<TServerHost> start(const TempFolder& folder, zv::test::RecordingView& view) {
        auto host = std::make_unique<TServerHost>(view, folder.path().string());
        host->FormShow();
        if (!host->serving()) throw std::runtime_error("the server did not start: " + view.allMessages());
        return host;
    }

    std::filesystem::path oldCwd_;
    zv::test::RecordingView view;
    std::unique_ptr<TServerHost> host;

public:
    TMaintenanceApi& data{host->maintenance()};
    TWIWOList& board{host->sessionContext().board()};
    TDEPTList& departments{host->sessionContext().departments()};
    TPHONEList& phonebook{host->sessionContext().phonebook()};
    TLOGList& log{host->sessionContext().statusLog()};
};

// Runs `action` on the next modal dialog of type Dialog once it is showing
// (a button's exec() has started its own loop by then). Fails the test and
// gives up after about ten seconds without such a dialog.
template <class Dialog>
void whenModal(std::function<void(Dialog&)> action) {
    auto* timer = new QTimer;
    auto polls = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, polls, action]() {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
            return;
        }
        if (++*polls > 2000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal " << Dialog::staticMetaObject.className() << " appeared";
        }
    });
    timer->start(5);
}

// Processes Qt events until `done` is true (at most `rounds` rounds of about
// 5 ms each).
inline bool processEventsUntil(const std::function<bool()>& done, int rounds = 2000) {
    for (int i = 0; i < rounds && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::sendPostedEvents();
        if (!done()) QThread::msleep(5);
    }
    return done();
}

}  // namespace zv::admin::test
