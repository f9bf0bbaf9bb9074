#pragma once
// An AdminView for tests: records every message box, status panel text,
// placement and close request, and answers as told.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/admin_view.h"

namespace zv::test {

class RecordingView : public AdminView {
public:
    struct Message {
        MessageKind kind;
        std::string text;
    };

    MessageAnswer showMessage(MessageKind kind, const std::string& text) override {
        messages.push_back({kind, text});
        return kind == MessageKind::Question ? questionAnswer : MessageAnswer::Ok;
    }
    void showNotice(MessageKind kind, const std::string& text) override { notices.push_back({kind, text}); }
    void logLine(LinePriority, const std::string& line) override { lines.push_back(line); }
    void setStatusPanel(int index, const std::string& text) override {
        if (index >= 0 && index < 3) panels[static_cast<std::size_t>(index)] = text;
    }
    void userTableChanged() override { ++tableChanges; }
    WindowPlacement currentPlacement() const override { return placement; }
    void applyPlacement(std::optional<WindowState> state, const WindowRect& rect) override {
        applied.emplace_back(state, rect);
        placement.rect = rect;
        if (state) placement.state = *state;
    }
    bool confirmShutdown() override {
        ++shutdownQuestions;
        return confirmAnswer;
    }
    void requestClose() override { ++closeRequests; }
    void restoreWindow() override { ++restoreRequests; }

    // How many lines for the record hold `text`.
    int linesWith(const std::string& text) const {
        int n = 0;
        for (const std::string& line : lines) n += line.find(text) != std::string::npos;
        return n;
    }

    // All message texts joined, for searching.
    std::string allMessages() const {
        std::string all;
        for (const auto& m : messages) all += m.text + "\n";
        return all;
    }

    std::vector<Message> messages;
    std::vector<Message> notices;  // the messages that ask for nothing
    std::vector<std::string> lines;  // the lines for the record
    std::string panels[3];
    int tableChanges = 0;
    WindowPlacement placement{{10, 20, 700, 400}, WindowState::Normal};
    std::vector<std::pair<std::optional<WindowState>, WindowRect>> applied;
    MessageAnswer questionAnswer = MessageAnswer::No;
    bool confirmAnswer = true;
    int shutdownQuestions = 0;
    int closeRequests = 0;
    int restoreRequests = 0;
};

}  // namespace zv::test
