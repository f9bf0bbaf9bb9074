// Target "request": a client's request as it arrives on a session, collected,
// split into command, mode, credentials and payload, cut into its four
// sections and acted on, followed by the transfer of the bundle.
//
// Input: one byte of options, then the bytes the client sends.
//   options & 0x1f: block size (0: 0, which fails the preparation; 31: -5;
//                   otherwise that number times 37)
//   options & 0x20: ExpDays "3" instead of "1"
//   options >> 6:   mixed into where the text is cut into pieces
// The request is the shortest beginning of the text that the collector takes
// as complete (the whole text when none is: it is then acted on after the
// client's silence).
//
// Properties:
// - the collector, fed the request in pieces, finds it complete exactly where
//   the completeness check of the whole text does;
// - the sections cut from a login's payload are the text between the first
//   occurrences of the tags, in order, or nothing at all;
// - the same request delivered whole, one byte per read, or in pieces of
//   varied size leaves the session, its replies, the calls it made on the host
//   and every file in the data folder exactly alike, through the transfer of
//   the bundle (whose replies come in pieces as well) and its confirmation;
// - a step never throws and nothing is sent once the socket is closed.

#include <dirent.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "net/socket_errors.h"
#include "protocol/incoming_sections.h"
#include "protocol/request_collector.h"
#include "protocol/request_split.h"
#include "protocol/server_context.h"
#include "protocol/session_mutex.h"
#include "protocol/session_step.h"
#include "protocol/wire_texts.h"
#include "record_files.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv::fuzz {
namespace {

using test::Fields;
using test::RecordKind;

// The host as a session sees it: the six stores in the working folder, fixed
// settings, and a log of every call the session makes.
class TFuzzContext : public TServerContext {
public:
    TFuzzContext() {
        board_.setFileName("wiwo.dat");
        memos_.setFileName("posti.dat");
        messages_.setFileName("wywa.dat");
        departments_.setFileName("department.dat");
        phonebook_.setFileName("phonebook.dat");
        log_.setFileName("log_stat.dat");
        board_.setConversionWarning([this](const std::string&) { calls.push_back("conversion warning"); });
    }

    void loadAll() {
        departments_.loadFromFile();
        phonebook_.loadFromFile();
        board_.loadFromFile();
        messages_.loadFromFile();
        memos_.loadFromFile();
        log_.loadFromFile();
    }

    TWIWOList& board() override { return board_; }
    TPOSTIList& memos() override { return memos_; }
    TWYWOList& messages() override { return messages_; }
    TDEPTList& departments() override { return departments_; }
    TPHONEList& phonebook() override { return phonebook_; }
    TLOGList& statusLog() override { return log_; }

    int blockSizeInUse() const override { return blockSize; }
    std::string expDaysText() const override { return expDays; }
    std::string smtpHost() const override { return "mail.example.com"; }

    void updateThreadList(const std::string& connectionId, const std::string& employeeKey) override {
        calls.push_back("registry " + connectionId + " " + employeeKey);
    }
    void clearUserTable(int count) override { calls.push_back("clear table " + std::to_string(count)); }
    void refreshUserTable(const std::string& employeeName) override {
        calls.push_back("refresh table " + employeeName);
    }
    void notifyMessage(TWYWONode& message) override { calls.push_back("notify " + message.Recipient); }

    TEventLoop& mainLoop() override { throw std::logic_error("a session step never asks for the main loop"); }
    TSessionMutex& sessionMutex() override { return mutex_; }
    void clientThreadTerminated(TClientThread&) override {}

    int blockSize = 8192;
    std::string expDays = "1";
    std::vector<std::string> calls;

private:
    TWIWOList board_;
    TPOSTIList memos_;
    TWYWOList messages_;
    TDEPTList departments_;
    TPHONEList phonebook_;
    TLOGList log_;
    TSessionMutex mutex_;
};

// The session's socket: hands out what the test delivers, keeps what the
// session sends.
class TFuzzSocket : public TSessionSocket {
public:
    std::string ReceiveText() override { return std::exchange(pending, {}); }
    void SendText(std::string_view text) override {
        if (closed) {
            sentAfterClose = true;
            throw ESocketException("send after close", WSAENOTCONN);
        }
        sent.emplace_back(text);
    }
    void Close() override { closed = true; }

    std::string pending;
    std::vector<std::string> sent;
    bool closed = false;
    bool sentAfterClose = false;
};

// Everything a delivery leaves behind.
struct TOutcome {
    std::vector<std::string> sent;
    bool closed = false;
    std::string state;
    std::string employee;
    std::vector<std::string> calls;
    std::map<std::string, std::string> files;

    bool operator==(const TOutcome&) const = default;
};

// The data folder every delivery starts from: three accounts (one with an
// empty password), memos and messages of which one is old and one has a date
// that does not read, two departments, two callers and a short status log.
std::map<std::string, std::string> initialFiles() {
    const std::time_t now = fixedNow();
    auto date = [](std::time_t t) { return datetime::shortDateText(t); };
    auto time = [](std::time_t t) { return datetime::longTimeText(t); };
    Fields smith = test::boardRecord("Smith,John", "pw", "Support", "In");
    smith[test::board::EMail] = "john@example.com";
    smith[test::board::EMailNotify] = "YES";
    const std::vector<Fields> board = {test::boardRecord("Doe,Jane", "", "Sales", "Out"), smith,
                                       test::boardRecord("Zed,Zoe", "secret", "Sales", "Lunch")};
    const std::vector<Fields> memos = {
        {"Smith,John", "call the bank", date(now - 3600), time(now - 3600), "", ""},
        {"Doe,Jane", "old memo", date(now - 20 * 86400), time(now - 20 * 86400), "", ""},
        {"Smith,John", "unreadable", "someday", "soon", "", ""}};
    const std::vector<Fields> messages = {{"Smith,John", "Doe,Jane", date(now - 7200), time(now - 7200),
                                           "Ann Caller", "Acme", "555-0100", "the order", "X", "", "", "",
                                           "X", "call back"}};
    const std::vector<Fields> departments = {{"Sales"}, {"Support"}};
    const std::vector<Fields> phonebook = {{"Ann Caller", "Acme", "555-0100"}, {"Bob Dial", "Beta", "555-0101"}};
    const std::vector<Fields> log = {{"Smith,John", "Support", date(now - 60), time(now - 60), "In", "", "", ""}};

    std::map<std::string, std::string> files;
    auto put = [&](RecordKind kind, const std::vector<Fields>& records) {
        std::string bytes;
        for (const Fields& r : records) bytes += test::encodeRecord(kind, r);
        files[test::dataFileName(kind)] = bytes;
    };
    put(RecordKind::Board, board);
    put(RecordKind::Memo, memos);
    put(RecordKind::Message, messages);
    put(RecordKind::Department, departments);
    put(RecordKind::Phone, phonebook);
    put(RecordKind::Log, log);
    return files;
}

std::map<std::string, std::string> folderContents() {
    std::map<std::string, std::string> files;
    DIR* dir = ::opendir(".");
    if (dir == nullptr) return files;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") files[name] = readWholeFile(name);
    }
    ::closedir(dir);
    return files;
}

// Runs one whole exchange: the request in pieces, the client's silence when
// the request stayed incomplete, then the transfer as a well-behaved client
// makes it, its replies cut into pieces the same way.
TOutcome deliver(std::string_view request, TDelivery delivery, std::uint64_t seed, int blockSize,
                 const std::string& expDays, const std::map<std::string, std::string>& initial) {
    clearFolder();
    for (const auto& [name, bytes] : initial) writeWholeFile(name, bytes);
    TFuzzContext ctx;
    ctx.blockSize = blockSize;
    ctx.expDays = expDays;
    ctx.loadAll();

    TClientSession session(ctx, "0000ABCD");
    TFuzzSocket socket;
    auto step = [&](std::string_view piece, bool silence) {
        try {
            if (silence) {
                session.onSilence(socket);
            } else {
                socket.pending = std::string(piece);
                session.onData(socket);
            }
        } catch (const std::exception& e) {
            ZV_FUZZ_CHECK(false, std::string("a session step threw: ") + e.what());
        }
        ZV_FUZZ_CHECK(socket.pending.empty(), "the step left bytes unread");
    };
    auto send = [&](std::string_view text, std::uint64_t pieceSeed) {
        for (std::string_view piece : cutIntoPieces(text, delivery, pieceSeed)) {
            if (socket.closed) return;
            step(piece, false);
        }
    };

    send(request, seed);
    if (!socket.closed && session.collecting()) step({}, true);

    // The transfer: one READY_TO_RECEIVE per block, then the confirmation.
    std::uint64_t replySeed = seed;
    for (int guard = 0; !socket.closed && session.state() == wire::kStateSendingData; ++guard) {
        const std::size_t sentBefore = socket.sent.size();
        send(wire::kReadyToReceive, ++replySeed);
        if (socket.sent.size() == sentBefore) break;  // a failed preparation answers nothing
        ZV_FUZZ_CHECK(guard < 100000, "the transfer does not end");
    }
    if (!socket.closed && session.state() == wire::kStateWaitingForConfirm) send(wire::kConfirm, ++replySeed);

    ZV_FUZZ_CHECK(!socket.sentAfterClose, "the session sent on a closed socket");
    TOutcome out;
    out.sent = socket.sent;
    out.closed = socket.closed;
    out.state = session.state();
    out.employee = session.employeeName();
    out.calls = ctx.calls;
    out.files = folderContents();
    return out;
}

std::string describeDifference(const TOutcome& a, const TOutcome& b) {
    if (a.sent != b.sent) {
        std::string text = "replies differ: " + std::to_string(a.sent.size()) + " against " +
                           std::to_string(b.sent.size());
        for (std::size_t i = 0; i < std::min(a.sent.size(), b.sent.size()); ++i) {
            if (a.sent[i] != b.sent[i]) {
                text += "; reply " + std::to_string(i) + ": \"" + printable(a.sent[i], 80) + "\" against \"" +
                        printable(b.sent[i], 80) + "\"";
                break;
            }
        }
        return text;
    }
    if (a.closed != b.closed) return "one closed the connection, the other did not";
    if (a.state != b.state) return "state " + a.state + " against " + b.state;
    if (a.employee != b.employee) return "employee " + a.employee + " against " + b.employee;
    if (a.calls != b.calls) return "calls on the host differ";
    for (const auto& [name, bytes] : a.files) {
        auto it = b.files.find(name);
        if (it == b.files.end()) return name + " is missing from the second";
        if (it->second != bytes) return name + " differs";
    }
    return "the second has a file more";
}

// The tags in order, or nothing cut at all; each section runs from its tag to
// the first occurrence of the next.
void checkSections(std::string_view payload) {
    const TIncomingSections s = cutSections(payload);
    const TTagOrder order = tagOrder(payload);
    ZV_FUZZ_CHECK(s.tagsInOrder == (order == TTagOrder::kComplete), printable(payload));
    if (!s.tagsInOrder) {
        ZV_FUZZ_CHECK(s.board.empty() && s.memo.empty() && s.message.empty() && s.phonebook.empty(),
                      "sections cut from a payload without its four tags in order");
        return;
    }
    const std::size_t wiwo = payload.find(wire::kTagWiwo);
    const std::size_t posti = wiwo + wire::kTagWiwo.size() + s.board.size();
    const std::size_t wywo = posti + wire::kTagPosti.size() + s.memo.size();
    const std::size_t phone = wywo + wire::kTagWywo.size() + s.message.size();
    ZV_FUZZ_CHECK(payload.find(wire::kTagPosti) == posti, printable(payload));
    ZV_FUZZ_CHECK(payload.find(wire::kTagWywo) == wywo, printable(payload));
    ZV_FUZZ_CHECK(payload.find(wire::kTagPhone) == phone, printable(payload));
    ZV_FUZZ_CHECK(payload.substr(phone + wire::kTagPhone.size()) == s.phonebook, printable(payload));
    ZV_FUZZ_CHECK(s.phonebookComplete == isPhonebookSectionComplete(s.phonebook), printable(s.phonebook));
}

int fuzzRequest(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::uint8_t options = input.byte();
    const std::string_view text = input.rest();

    // The request: the shortest complete beginning of the text.
    TRequestCollector collector;
    std::size_t requestEnd = text.size();
    bool complete = false;
    TSplitMix sample(hashBytes(text));
    for (std::size_t i = 0; i < text.size() && !complete; ++i) {
        collector.append(text.substr(i, 1));
        complete = collector.complete();
        if (complete) requestEnd = i + 1;
        // The whole-text check agrees at a sample of points and at the end.
        if (complete || sample.below(64) == 0)
            ZV_FUZZ_CHECK(isRequestComplete(text.substr(0, i + 1)) == complete,
                          "at " + std::to_string(i + 1) + " of \"" + printable(text) + "\"");
    }
    const std::string_view request = text.substr(0, requestEnd);
    if (request.empty()) return 0;

    const TClassifiedRequest classified = classifyRequest(request);
    if (classified.kind == TRequestKind::kLogin || classified.kind == TRequestKind::kPunchInLogin)
        checkSections(classified.parts.payload);

    const int code = options & 0x1f;
    const int blockSize = code == 31 ? -5 : code * 37;
    const std::string expDays = (options & 0x20) ? "3" : "1";
    const std::uint64_t seed = hashBytes(request) ^ (options >> 6);

    enterWorkFolder("request");
    datetime::setFormats("", "");
    const std::time_t now = fixedNow();
    datetime::setClockForTesting([now] { return now; });
    static const std::map<std::string, std::string> initial = initialFiles();

    const TOutcome whole = deliver(request, TDelivery::kWhole, seed, blockSize, expDays, initial);
    for (TDelivery delivery : {TDelivery::kByteByByte, TDelivery::kRandomPieces}) {
        const TOutcome pieces = deliver(request, delivery, seed, blockSize, expDays, initial);
        ZV_FUZZ_CHECK(pieces == whole, std::string(delivery == TDelivery::kByteByByte ? "byte by byte" : "in pieces") +
                                           ": " + describeDifference(whole, pieces) + "; request \"" +
                                           printable(request) + "\"");
    }
    datetime::setClockForTesting(nullptr);
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(request, zv::fuzz::fuzzRequest)
