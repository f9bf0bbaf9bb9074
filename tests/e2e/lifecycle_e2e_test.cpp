// Start-up, shutdown and crash: what the server leaves on disk, and that it
// runs once per data folder.

#include "e2e_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace zv::e2e {
namespace {

// What identifies one version of a file: its inode (a save replaces the
// file), modification time and bytes.
struct FileStamp {
    ino_t inode = 0;
    long long mtimeNs = 0;
    std::string bytes;
    bool operator==(const FileStamp&) const = default;
};

std::map<std::string, FileStamp> stampFolder(const std::string& folder) {
    std::map<std::string, FileStamp> stamps;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat st;
        const std::string path = entry.path().string();
        if (::stat(path.c_str(), &st) != 0) continue;
        stamps[entry.path().filename().string()] =
            FileStamp{st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                      test::readFile(path)};
    }
    return stamps;
}

TEST(ServerLifecycle, SigtermStopsInOrderWritingNoDataFileButTheSettings) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Memo, {memo("Smith,John", "unread")});
    server->start();
    fullExchange(server->port(), loginRequest("PUNCH_IN", "Smith,John", "pw"), 8192,
                 /*confirm=*/false);

    // A client in the middle of an exchange when the server stops.
    TcpClient pending(server->port());
    pending.send(loginRequest("FULL", "Smith,John", "pw"));
    ASSERT_EQ(pending.receiveLoginReply(), "PREPARE_TO_RECEIVE");

    const auto before = stampFolder(server->dataFolder());
    EXPECT_EQ(server->stop(), 0);
    EXPECT_EQ(stampFolder(server->dataFolder()), before);
    // The unconfirmed exchange deleted nothing.
    EXPECT_EQ(records(*server, RecordKind::Memo).size(), 1u);
    const std::string ini = test::readFile(server->iniPath());
    EXPECT_NE(ini.find("[Screen]\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Port=" + std::to_string(server->port()) + "\r\n"), std::string::npos);
}

TEST(ServerLifecycle, AKilledServerLosesNothingThatWasAcknowledged) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "x"), test::boardRecord("Smith,John", "pw")});
    server->start();
    // Eight at once, so that their steps wait for each other and save
    // together, then eight more one by one; each one answered counts.
    std::vector<Fields> sent;
    std::vector<TcpClient> together(8);
    for (std::size_t i = 0; i < together.size(); ++i) {
        sent.push_back(memo("Doe,Jane", "memo " + std::to_string(i)));
        together[i].connect(server->port());
        together[i].send(loginRequest("FULL", "Smith,John", "pw", "NO_DATA", test::recordString(sent.back())));
    }
    for (TcpClient& client : together) ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    for (int i = 8; i < 16; ++i) {
        sent.push_back(memo("Doe,Jane", "memo " + std::to_string(i)));
        TcpClient client(server->port());
        client.send(loginRequest("FULL", "Smith,John", "pw", "NO_DATA", test::recordString(sent.back())));
        ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    }
    server->kill9();
    std::vector<Fields> kept = records(*server, RecordKind::Memo);
    std::sort(kept.begin(), kept.end());
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(kept, sent);

    server->start();
    const std::vector<Fields> inFile = records(*server, RecordKind::Memo);
    const std::string bundle = fullExchange(server->port(), loginRequest("FULL", "Doe,Jane", "x"));
    EXPECT_EQ(test::splitBundle(bundle).posti, test::bundleOf(inFile));
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLifecycle, ASecondCopyForTheSameDataFolderIsRefusedAndTouchesNothing) {
    auto server = makeServer();
    server->start();
    const auto dataBefore = stampFolder(server->dataFolder());
    const auto progBefore = stampFolder(server->programFolder());
    std::string errorText;
    EXPECT_NE(server->runSecondCopy(&errorText), 0);
    EXPECT_NE(errorText.find("already running"), std::string::npos) << errorText;
    EXPECT_EQ(stampFolder(server->dataFolder()), dataBefore);
    EXPECT_EQ(stampFolder(server->programFolder()), progBefore);
    // The first one still serves.
    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Nobody,Here", "x"));
    EXPECT_EQ(client.receiveLoginReply(), "NON_EXIST");
    EXPECT_EQ(server->stop(SIGINT), 0);  // Ctrl+C stops it like SIGTERM
}

TEST(ServerLifecycle, APortInUseStopsStartUpWithTheSocketErrorAndNoStoreSaved) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Memo, {memo("Smith,John", "m")});
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(blocker, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(server->port()));
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    const auto before = stampFolder(server->dataFolder());
    server->launch();
    EXPECT_EQ(server->waitForExit(), 1);
    ::close(blocker);
    const std::string err = server->stderrText();
    EXPECT_NE(err.find("port " + std::to_string(server->port())), std::string::npos) << err;
    // The stores read before the listener opened were only read.
    const auto after = stampFolder(server->dataFolder());
    for (const auto& [name, stamp] : before) EXPECT_EQ(after.at(name), stamp) << name;
}

TEST(ServerLifecycle, AStoreThatCannotBeLoadedStopsStartUpAndIsNotOverwritten) {
    auto server = makeServer();
    // A folder in the file's place cannot be read (a file cut short is served).
    std::filesystem::create_directory(server->dataFile("department.dat"));
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    const auto before = stampFolder(server->dataFolder());
    server->launch();
    EXPECT_EQ(server->waitForExit(), 1);
    EXPECT_NE(server->stderrText().find("department"), std::string::npos) << server->stderrText();
    EXPECT_EQ(stampFolder(server->dataFolder()), before);
}

TEST(ServerLifecycle, BadNumbersInTheSettingsAreReportedAndTheDefaultsServe) {
    auto server = makeServer({{"BlockSize", "big"}, {"MaxLogSize", "1O0"}});
    std::vector<Fields> board;
    for (int i = 0; i < 60; ++i) board.push_back(test::boardRecord("E" + std::to_string(100 + i) + ",X", "pw"));
    writeRecords(*server, RecordKind::Board, board);
    server->start();
    TcpClient client(server->port());
    client.send(loginRequest("FULL", "E100,X", "pw"));
    ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    std::vector<std::string> blocks;
    client.pullBundle(8192, &blocks);
    ASSERT_GT(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].size(), 8192u);
    const std::string err = server->stderrText();
    EXPECT_NE(err.find("BlockSize"), std::string::npos) << err;
    EXPECT_NE(err.find("\"big\""), std::string::npos) << err;
    EXPECT_NE(err.find("MaxLogSize"), std::string::npos) << err;
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLifecycle, WithoutAnySettingsFileTheDefaultsAreWrittenBesideTheProgram) {
    auto server = makeServer();
    ::unlink(server->iniPath().c_str());
    server->launch();
    // It listens on the default port 6480 unless that is taken on this
    // machine; either way the settings file is written before listening.
    for (int i = 0; i < 500 && !test::fileExists(server->iniPath()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(server->pid(), SIGTERM);
    server->waitForExit();
    const std::string ini = test::readFile(server->iniPath());
    EXPECT_EQ(ini.rfind("[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=6480\r\nExpDays=1\r\n"
                        "MaxLogSize=100\r\n", 0),
              0u)
        << ini;
    EXPECT_FALSE(test::fileExists(server->dataFile("zva.ini")));
}

}  // namespace
}  // namespace zv::e2e

namespace zv::e2e {
namespace {

TEST(ServerLifecycle, ConnectionsBeyondTheDescriptorLimitAreClosedAndServingGoesOn) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    server->start();
    // Few descriptors for the server: each session needs a socket and its
    // thread's loop, so some of the connections below cannot be served.
    const rlimit low{48, 48};
    ASSERT_EQ(::prlimit(server->pid(), RLIMIT_NOFILE, &low, nullptr), 0);

    std::vector<TcpClient> idle;
    for (int i = 0; i < 40; ++i) idle.emplace_back(server->port());
    // Every connection is either kept (served) or closed by the server; none
    // is left hanging unaccepted. The last ones cannot all be kept.
    auto closedCount = [&] {
        int closed = 0;
        for (auto& c : idle) {
            if (c.closedWithin(std::chrono::milliseconds(5))) ++closed;
        }
        return closed;
    };
    EXPECT_TRUE(eventually([&] { return closedCount() > 0; }));
    idle.clear();

    // Once they are gone, the server serves again.
    std::string bundle;
    for (int attempt = 0; attempt < 50 && bundle.empty(); ++attempt) {
        try {
            bundle = fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw"));
        } catch (const std::exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    EXPECT_FALSE(bundle.empty()) << server->stderrText();
    EXPECT_EQ(server->stop(), 0);
}

// Lowers the soft descriptor limit of process `pid` to the lowest descriptor
// number it has free, so that the next descriptor it opens fails; `before`
// receives the limit to put back (only the soft limit changes, so it can).
bool leaveNoDescriptorFree(pid_t pid, rlimit* before) {
    // The least of a few looks, in case one meets a descriptor the server
    // holds only for a moment.
    rlim_t lowestFree = RLIM_INFINITY;
    for (int look = 0; look < 5; ++look) {
        std::set<rlim_t> used;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
            used.insert(static_cast<rlim_t>(std::stoul(entry.path().filename().string())));
        rlim_t free = 0;
        while (used.count(free) != 0) ++free;
        lowestFree = std::min(lowestFree, free);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::prlimit(pid, RLIMIT_NOFILE, nullptr, before) != 0) return false;
    const rlimit none{lowestFree, before->rlim_max};
    return ::prlimit(pid, RLIMIT_NOFILE, &none, nullptr) == 0;
}

// CPU time used so far by process `pid`, in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // after the command name
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// With not one descriptor left, a new connection cannot be accepted: the
// server closes it at once through a descriptor it keeps spare for this,
// instead of leaving it pending for ever, and listening goes on.
TEST(ServerLifecycle, AConnectionThatFindsNoDescriptorLeftIsClosedAndListeningGoesOn) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    server->start();
    fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw"));

    rlimit before{};
    ASSERT_TRUE(leaveNoDescriptorFree(server->pid(), &before));

    for (int i = 0; i < 3; ++i) {  // the spare descriptor comes back each time
        TcpClient client(server->port());
        client.send(loginRequest("FULL", "Smith,John", "pw"));
        EXPECT_TRUE(client.closedWithin(std::chrono::seconds(5))) << "connection " << i;
    }
    EXPECT_TRUE(eventually([&] {
        return server->stderrText().find("a connection could not be accepted") != std::string::npos;
    })) << server->stderrText();

    ASSERT_EQ(::prlimit(server->pid(), RLIMIT_NOFILE, &before, nullptr), 0);
    EXPECT_FALSE(fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw")).empty());
    EXPECT_EQ(server->stop(), 0);
}

// A second start while the first one has no descriptor left: the request
// waits, the first one does not spin meanwhile, and it takes the request once
// descriptors are there again.
TEST(ServerLifecycle, ASecondStartMeetingNoFreeDescriptorIsWaitedForWithoutSpinning) {
    auto server = makeServer();
    server->start();
    rlimit before{};
    ASSERT_TRUE(leaveNoDescriptorFree(server->pid(), &before));
    std::string errorText;
    EXPECT_NE(server->runSecondCopy(&errorText), 0);
    EXPECT_NE(errorText.find("already running"), std::string::npos) << errorText;

    const long ticksBefore = cpuTicks(server->pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long ticks = cpuTicks(server->pid()) - ticksBefore;
    EXPECT_LT(ticks, ::sysconf(_SC_CLK_TCK) / 5) << "CPU ticks in one second of waiting";

    ASSERT_EQ(::prlimit(server->pid(), RLIMIT_NOFILE, &before, nullptr), 0);
    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Nobody,Here", "x"));
    EXPECT_EQ(client.receiveLoginReply(), "NON_EXIST");
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e
