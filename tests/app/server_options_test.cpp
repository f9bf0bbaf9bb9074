// The built zelvorad started as an administrator or systemd would start it:
// with and without --config and --data, with options it must refuse, twice
// for one data folder, under a notification socket and a journal stream.

#include "../e2e/e2e_support.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace zv::e2e {
namespace {

using test::folderContents;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The 1560-byte settings file of the earlier release: SMTPHost, Port,
// BlockSize, an unused slot, ExpDays, MaxLogSize, 260 bytes each.
std::string legacySettings(int port) {
    std::string bytes(1560, '\0');
    const std::string texts[] = {"", std::to_string(port), "4096", "", "3", "50"};
    for (int slot = 0; slot < 6; ++slot) bytes.replace(slot * 260 + 4, texts[slot].size(), texts[slot]);
    return bytes;
}

// What a standard output says: runs `command` through the shell.
std::string outputOf(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed");
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    const int wstatus = ::pclose(pipe);
    status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return out;
}

void loginAndPunchIn(int port) {
    fullExchange(port, loginRequest("PUNCH_IN", "Smith,John", "pw"));
}

TEST(ServerOptions, WithoutOptionsTheSettingsStayBesideTheProgramAndTheDataInTheCurrentFolder) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    server->start();
    loginAndPunchIn(server->port());
    EXPECT_EQ(server->stop(), 0);
    EXPECT_NE(test::readFile(server->iniPath()).find("[Screen]\r\n"), std::string::npos);
    EXPECT_TRUE(test::fileExists(server->dataFile("log_stat.dat")));
    EXPECT_FALSE(test::fileExists(server->dataFile("zva.ini")));
    EXPECT_FALSE(test::fileExists(server->programFolder() + "/log_stat.dat"));
}

TEST(ServerOptions, ConfigAndDataPutSettingsAndDataWhereTheyPointWhereverItStarts) {
    auto server = makeServer();
    const std::string etc = server->tempFile("etc");
    const std::string state = server->tempFile("state");
    const std::string elsewhere = server->tempFile("elsewhere");
    for (const auto& folder : {etc, state, elsewhere}) test::makeFolder(folder);
    // Only the earlier release's file beside the named settings file: it is imported.
    test::writeFile(etc + "/qtadmin.ini", legacySettings(server->port()));
    test::writeRecordFile(state + "/wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    const auto programBefore = folderContents(server->programFolder());

    server->setWorkingFolder(elsewhere);  // relative paths mean what they meant here
    server->setArguments({"--config", "../etc/zelvora.conf", "--data=../state"});
    server->start();
    loginAndPunchIn(server->port());
    EXPECT_EQ(server->stop(), 0);

    const std::string settings = test::readFile(etc + "/zelvora.conf");
    EXPECT_NE(settings.find("Port=" + std::to_string(server->port()) + "\r\n"), std::string::npos);
    EXPECT_NE(settings.find("BlockSize=4096\r\n"), std::string::npos) << settings;
    EXPECT_FALSE(test::fileExists(etc + "/qtadmin.ini"));
    EXPECT_TRUE(test::fileExists(state + "/log_stat.dat"));
    EXPECT_EQ(test::readRecordFile(state + "/wiwo.dat", RecordKind::Board)[0][test::board::Status], "In");
    EXPECT_TRUE(folderContents(elsewhere).empty());
    EXPECT_EQ(folderContents(server->programFolder()), programBefore);
    EXPECT_TRUE(folderContents(server->dataFolder()).empty());
}

TEST(ServerOptions, HelpAndVersionAnswerOnStandardOutputAndTouchNothing) {
    test::TempDir dir;
    const std::string run = "cd '" + dir.path() + "' && '" + ZV_ZELVORAD_PATH + "' ";
    int status = -1;
    const std::string help = outputOf(run + "--help 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(help.rfind("Usage: zelvorad [OPTION]...\n", 0), 0u) << help;
    for (const char* option : {"--config FILE", "--data DIR", "--version", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    const std::string version = outputOf(run + "--data /nonexistent --version 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version.rfind("zelvorad (Zelvora Admin/Server) ", 0), 0u) << version;
    EXPECT_EQ(linesOf(version).size(), 1u);
    EXPECT_TRUE(folderContents(dir.path()).empty());
}

TEST(ServerOptions, ABadOptionOrAnUnusablePlaceEndsWithOneLineAndStatusTwoTouchingNothing) {
    auto server = makeServer();
    test::writeFile(server->tempFile("plain"), "x");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "7000"}, "zelvorad: unknown option \"--port\""},
        {{"--data"}, "zelvorad: option --data needs a DIR"},
        {{"--data", server->tempFile("missing")}, "zelvorad: cannot use the data folder"},
        {{"--data", server->tempFile("plain")}, "zelvorad: cannot use the data folder"},
        {{"--config", server->tempFile("missing/zva.ini")}, "zelvorad: cannot use the settings file"},
        {{"--config", server->dataFolder()}, "zelvorad: cannot use the settings file"},
    };
    const auto before = folderContents(server->tempFile(""));
    for (const auto& [args, start] : cases) {
        const std::size_t seen = server->stderrText().size();
        server->setArguments(args);
        server->launch();
        EXPECT_EQ(server->waitForExit(), 2) << args[0];
        const std::string said = server->stderrText().substr(seen);
        EXPECT_EQ(said.rfind(start, 0), 0u) << said;
        EXPECT_EQ(linesOf(said).size(), 1u) << said;
    }
    auto after = folderContents(server->tempFile(""));
    after.erase("stderr.log");
    EXPECT_EQ(after, before);
}

TEST(ServerOptions, CheckConfigNamesEveryBrokenLineAndExitsOneTouchingNothing) {
    auto server = makeServer();
    const std::string run = "cd '" + server->dataFolder() + "' && '" + server->programFolder() + "/zelvorad' ";
    int status = -1;
    // A file that is fine: the settings in force, status 0.
    std::string out = outputOf(run + "--check-config", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("  [Options] Port=" + std::to_string(server->port()) + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("No problems found."), std::string::npos) << out;

    test::writeFile(server->iniPath(), "[Options]\r\nBlockSize=8192\r\nPort=6480\r\nMaxLogSise=50\r\n"
                                       "ExpDays=1\r\nthis is no setting\r\n[Web\r\nMaxLogSize=many\r\n");
    test::writeFile(server->dataFile("wiwo.dat"), std::string(100, 'x'));
    const auto progBefore = folderContents(server->programFolder());
    const auto dataBefore = folderContents(server->dataFolder());
    out = outputOf(run + "--check-config", status);
    EXPECT_EQ(status, 1) << out;
    for (const char* problem :
         {"zva.ini line 4: [Options] MaxLogSise is not a setting", "zva.ini line 6: \"this is no setting\"",
          "zva.ini line 7: \"[Web\" opens a section name", "The setting MaxLogSize in zva.ini is \"many\"",
          "wiwo.dat\" ends in an incomplete record (100 of 1909 bytes)", "  [Options] MaxLogSize=100\n",
          "5 problems found."}) {
        EXPECT_NE(out.find(problem), std::string::npos) << problem << " in " << out;
    }
    EXPECT_EQ(folderContents(server->programFolder()), progBefore);
    EXPECT_EQ(folderContents(server->dataFolder()), dataBefore);

    // No settings file: what the first start would do, and it is not made.
    ::unlink(server->iniPath().c_str());
    ::unlink(server->dataFile("wiwo.dat").c_str());
    out = outputOf(run + "--check-config --data .", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("the first start writes it with the defaults"), std::string::npos) << out;
    EXPECT_FALSE(test::fileExists(server->iniPath()));
}

TEST(ServerOptions, StartedAsRootOnAFolderOfAnotherUserItRefusesUnlessAllowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    auto server = makeServer();
    const std::string state = server->tempFile("state");
    test::makeFolder(state);
    ASSERT_EQ(::chown(state.c_str(), 65534, 65534), 0);  // nobody
    const auto before = folderContents(state);
    server->setArguments({"--data", state});
    server->launch();
    EXPECT_EQ(server->waitForExit(), 2);
    const std::string said = server->stderrText();
    EXPECT_EQ(linesOf(said).size(), 1u) << said;
    EXPECT_NE(said.find("refusing to run as root on \"" + state + "\", which belongs to the user nobody"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("sudo -u nobody zelvorad"), std::string::npos) << said;
    EXPECT_NE(said.find("--allow-root"), std::string::npos) << said;
    EXPECT_EQ(folderContents(state), before);

    server->setArguments({"--data", state, "--allow-root"});
    server->start();
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerOptions, ASecondStartForTheSameDataFolderThroughDataIsRefused) {
    auto server = makeServer();
    const std::string elsewhere = server->tempFile("elsewhere");
    test::makeFolder(elsewhere);
    ASSERT_EQ(::symlink(server->dataFolder().c_str(), server->tempFile("link").c_str()), 0);
    server->setWorkingFolder(elsewhere);
    server->setArguments({"--data", server->dataFolder()});
    server->start();
    const auto before = folderContents(server->dataFolder());

    // The same folder by another name, from another folder.
    server->setArguments({"--data", "../link/"});
    std::string errorText;
    EXPECT_EQ(server->runSecondCopy(&errorText), 1);
    EXPECT_NE(errorText.find("already running for this data folder"), std::string::npos) << errorText;
    EXPECT_EQ(folderContents(server->dataFolder()), before);

    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Nobody,Here", "x"));
    EXPECT_EQ(client.receiveLoginReply(), "NON_EXIST");
    EXPECT_EQ(server->stop(), 0);
}

// systemd's end of the notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long: " + path);
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            throw std::runtime_error("bind " + path + ": " + std::strerror(errno));
        }
    }
    ~NotifySocket() { ::close(fd_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // The next notification, or "" when none comes within the limit.
    std::string next(int limitMs = 20000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, limitMs) != 1) return "";
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
    }

private:
    std::string path_;
    int fd_ = -1;
};

TEST(ServerUnderSystemd, ReportsReadyOnceClientsCanConnectAndStoppingWhenItStops) {
    auto server = makeServer();
    NotifySocket systemd(server->tempFile("notify"));
    server->setEnvironment("NOTIFY_SOCKET", server->tempFile("notify"));
    server->launch();

    const std::string ready = systemd.next();
    EXPECT_NE(ready.find("READY=1"), std::string::npos) << ready;
    EXPECT_NE(ready.find("STATUS=Serving clients on port " + std::to_string(server->port())),
              std::string::npos)
        << ready;
    TcpClient probe;
    EXPECT_TRUE(probe.tryConnect(server->port()));  // at once: it listened before it said so
    probe.close();

    ASSERT_EQ(::kill(server->pid(), SIGTERM), 0);
    const std::string stopping = systemd.next();
    EXPECT_NE(stopping.find("STOPPING=1"), std::string::npos) << stopping;
    EXPECT_EQ(server->waitForExit(), 0);
    EXPECT_EQ(systemd.next(200), "");
}

std::string deviceAndInode(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("stat " + path);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

TEST(ServerUnderSystemd, LinesCarryJournalPrioritiesOnlyWhenStandardErrorIsTheJournal) {
    for (const bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "standard error is the journal" : "the journal reads another stream");
        auto server = makeServer({{"BlockSize", "big"}});
        test::writeFile(server->stderrPath(), "");
        // Inherited from a service but pointing elsewhere: not the journal.
        server->setEnvironment("JOURNAL_STREAM",
                               deviceAndInode(journal ? server->stderrPath() : server->iniPath()));
        server->start();
        EXPECT_EQ(server->stop(), 0);

        const std::string prefix = journal ? "<4>" : "";
        const std::string info = journal ? "<6>" : "";
        const auto lines = linesOf(server->stderrText());
        ASSERT_GE(lines.size(), 3u) << server->stderrText();
        EXPECT_EQ(lines[0].rfind(prefix + "zelvorad: warning: The setting BlockSize", 0), 0u) << lines[0];
        EXPECT_EQ(lines[1].rfind(info + "zelvorad: IP Address: ", 0), 0u) << lines[1];
        EXPECT_EQ(lines[2], info + "zelvorad: Port: " + std::to_string(server->port()));
    }
}

}  // namespace
}  // namespace zv::e2e
