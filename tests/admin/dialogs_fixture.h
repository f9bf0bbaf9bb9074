// Shared pieces of the maintenance dialog tests: a temporary folder with the
// four stores the dialogs use, a prompt that records every message box and
// answers questions as told, and a driver for modal dialogs that a button
// opens with exec().
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
#include "stores/record_codec.h"
#include "stores/stores.h"

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

// The four stores with files in a temporary folder, and the dialogs' view of them.
struct StoreSet {
    explicit StoreSet(const TempFolder& folder) {
        board.setFileName(folder.file("wiwo.dat"));
        departments.setFileName(folder.file("department.dat"));
        phonebook.setFileName(folder.file("phonebook.dat"));
        log.setFileName(folder.file("log_stat.dat"));
    }

    void addDepartment(const std::string& name) {
        auto node = std::make_unique<TDEPTNode>();
        node->Name = name;
        departments.addNode(std::move(node));
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
        return board.addNode(std::move(node));
    }
    void addCaller(const std::string& caller, const std::string& company, const std::string& phone) {
        phonebook.addNode(phonebook.createNodeFromString(caller + "<~FLD~>" + company + "<~FLD~>" + phone));
    }
    static std::string recordString(const std::vector<std::string>& fields) {
        std::string record;
        for (std::size_t i = 0; i < fields.size(); ++i) record += (i ? "<~FLD~>" : "") + fields[i];
        return record;
    }
    void addLog(const std::vector<std::string>& fields) { log.addNode(log.createNodeFromString(recordString(fields))); }
    // Many entries at once: appended to the data file, which is then loaded
    // (adding one by one saves the whole log each time).
    void addLogs(const std::vector<std::vector<std::string>>& entries) {
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

    TWIWOList board;
    TDEPTList departments;
    TPHONEList phonebook;
    TLOGList log;
    StoreMaintenanceData data{board, departments, phonebook, log};
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
