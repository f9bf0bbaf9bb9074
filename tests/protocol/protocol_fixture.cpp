#include "protocol_fixture.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "stores/date_time.h"

namespace zv::test {

TTempFolder::TTempFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        throw std::runtime_error(std::string("getcwd failed: ") + std::strerror(errno));
    previous_ = buffer;
    // Memory-backed when available: the stores sync every save.
    const bool shm = ::access("/dev/shm", W_OK) == 0;
    std::string patternText = shm ? "/dev/shm/zv_protocol_XXXXXX" : "/tmp/zv_protocol_XXXXXX";
    std::vector<char> pattern(patternText.begin(), patternText.end());
    pattern.push_back('\0');
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    path_ = pattern.data();
    if (::chdir(path_.c_str()) != 0)
        throw std::runtime_error("chdir to " + path_ + " failed: " + std::strerror(errno));
}

TTempFolder::~TTempFolder() {
    if (::chdir(previous_.c_str()) != 0) std::perror("chdir back");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool fileExists(const std::string& name) { return std::filesystem::exists(name); }

TFakeServerContext::TFakeServerContext() {
    board_.setFileName("wiwo.dat");
    memos_.setFileName("posti.dat");
    messages_.setFileName("wywa.dat");
    departments_.setFileName("department.dat");
    phonebook_.setFileName("phonebook.dat");
    log_.setFileName("log_stat.dat");
    board_.setConversionWarning([](const std::string&) {});
}

void TFakeServerContext::updateThreadList(const std::string& connectionId, const std::string& employeeKey) {
    std::lock_guard lock(callsMutex);
    ++threadListAttempts;
    callsChanged.notify_all();
    if (failThreadListUpdate) throw std::runtime_error("registry unavailable");
    threadListUpdates.emplace_back(connectionId, employeeKey);
}

void TFakeServerContext::clearUserTable(int count) {
    std::lock_guard lock(callsMutex);
    userTableClears.push_back(count);
}

void TFakeServerContext::refreshUserTable(const std::string& employeeName) {
    std::lock_guard lock(callsMutex);
    userTableRefreshes.push_back(employeeName);
}

void TFakeServerContext::notifyMessage(TWYWONode& message) {
    std::lock_guard lock(callsMutex);
    notifiedRecipients.push_back(message.Recipient);
}

TEventLoop& TFakeServerContext::mainLoop() {
    if (loop == nullptr) throw std::logic_error("no main loop in this test");
    return *loop;
}

void TFakeServerContext::clientThreadTerminated(TClientThread& session) {
    if (onTerminated) onTerminated(session);
}

TWIWONode& TFakeServerContext::addEmployee(const std::string& key, const std::string& password,
                                           const std::string& status, const std::string& department) {
    auto node = std::make_unique<TWIWONode>();
    node->Employee = key;
    auto comma = key.find(',');
    node->LastName = key.substr(0, comma);
    node->FirstName = comma == std::string::npos ? "" : key.substr(comma + 1);
    node->Password = password;
    node->Department = department;
    node->Status = status;
    node->Returning = "later";
    node->ReachedAt = "home";
    node->Comments = "busy";
    node->EMailNotify = "NO";
    TWIWONode& stored = board_.addNode(std::move(node));
    board_.saveToFile();
    return stored;
}

TPOSTINode& TFakeServerContext::addMemo(const std::string& recipient, const std::string& text,
                                        std::time_t when) {
    return memos_.addNode(memos_.createNodeFromString(memoRecord(recipient, text, when)));
}

TWYWONode& TFakeServerContext::addMessage(const std::string& recipient, const std::string& caller,
                                          std::time_t when) {
    return messages_.addNode(
        messages_.createNodeFromString(messageRecord(recipient, "Taker,Tom", caller, when)));
}

std::string loginRequest(const std::string& mode, const std::string& key, const std::string& password,
                         const std::string& board, const std::string& memo, const std::string& message,
                         const std::string& phonebook) {
    return "SUBMIT_LOGIN:" + mode + ":" + key + "|" + password + ":[*WIWO*]" + board + "[*POSTI*]" + memo +
           "[*WYWO*]" + message + "[*PHONE*]" + phonebook;
}

std::string boardRecord(const std::string& key, const std::string& status, const std::string& comments,
                        const std::string& password) {
    TWIWONode node;
    node.Employee = key;
    node.LastName = "Last";
    node.FirstName = "First";
    node.Password = password;
    node.Department = "Support";
    node.WorkPhone = "555-0100";
    node.Extension = "12";
    node.Status = status;
    node.Returning = "at 3";
    node.ReachedAt = "cell";
    node.Comments = comments;
    node.EMail = "someone@example.com";
    node.EMailNotify = "YES";
    node.StatusChanged = "client stamp";
    node.LastContact = "client stamp";
    node.EmergName = "Kin";
    return node.toRecordString();
}

std::string memoRecord(const std::string& recipient, const std::string& text, std::time_t when) {
    TPOSTINode node;
    node.Recipient = recipient;
    node.ClientText2 = text;
    node.Date = datetime::shortDateText(when);
    node.Time = datetime::longTimeText(when);
    node.ClientText5 = "five";
    node.ClientText6 = "six";
    return node.toRecordString();
}

std::string messageRecord(const std::string& recipient, const std::string& takenBy, const std::string& caller,
                          std::time_t when) {
    TWYWONode node;
    node.Recipient = recipient;
    node.TakenBy = takenBy;
    node.Date = datetime::shortDateText(when);
    node.Time = datetime::longTimeText(when);
    node.Caller = caller;
    node.Company = "Acme";
    node.Phone = "555-0199";
    node.Regarding = "the order";
    node.Called = "X";
    node.Comments = "call back";
    return node.toRecordString();
}

TFixedClock::TFixedClock(std::time_t t) : value_(std::make_shared<std::time_t>(t)) {
    std::shared_ptr<std::time_t> value = value_;
    datetime::setClockForTesting([value] { return *value; });
}

TFixedClock::~TFixedClock() { datetime::setClockForTesting(nullptr); }

void TFixedClock::set(std::time_t t) { *value_ = t; }

std::time_t sampleTime() {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 2;
    tm.tm_hour = 10;
    tm.tm_min = 20;
    tm.tm_sec = 30;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

}  // namespace zv::test
