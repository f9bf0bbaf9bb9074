#pragma once
// TChatService: the board's news in the team chat. Told of every status
// change the board records (the status change log's adds, whoever made
// them) and of every message taken, it posts to each [Chat.<name>] webhook
// that wants the event and the department, through the chat poster (a
// worker thread with a bounded queue, chat_poster.h). Only what the board
// shows leaves the server: names, department and status; of a message, who
// it is for and who took it, never its text. Planned absences and overdue
// returns come through news() from the parts that know them.
//
// Main thread only; owns the poster (made at the first post).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chat/chat_hook.h"
#include "stores/records.h"

namespace zv {

class TChatPoster;
struct TServerParts;

class TChatService {
public:
    explicit TChatService(TServerParts& parts);
    ~TChatService();
    TChatService(const TChatService&) = delete;
    TChatService& operator=(const TChatService&) = delete;

    // Posts the news to every usable webhook that wants it.
    void news(const TChatEvent& event);
    // One test post to the webhook named, tried once; `done` gets on the
    // main loop an empty text when the webhook took it, else why not.
    void sendTest(const std::string& who, const std::string& hook,
                  std::function<void(const std::string&)> done);

private:
    void statusChanged(const std::vector<TLOGNode>& records);
    void messageTaken(const TWYWONode& message);
    TChatPoster& poster();
    void report(const std::string& line);

    TServerParts& parts_;
    std::unique_ptr<TChatPoster> poster_;
    int statusToken_ = 0;
    int messageToken_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The news of one status change as the log records it.
TChatEvent statusChangeEvent(const TLOGNode& record, std::time_t at);
// Several at once (the end-of-day punch-out): one piece of news for the
// people of one department.
TChatEvent statusChangesEvent(const std::vector<const TLOGNode*>& records, std::time_t at);
// A message taken: for whom, by whom; `department` is the recipient's
// (record bytes, as every argument here).
TChatEvent messageTakenEvent(const TWYWONode& message, const std::string& department, std::time_t at);

}  // namespace zv
