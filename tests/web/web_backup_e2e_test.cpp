// Backups, against zelvorad: taken over HTTP from a running server while
// clients log in, and from the command line on a stopped one; put back with
// "--restore", which checks every file before it replaces anything.

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "stores/file_journal.h"
#include "temp_dir.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;
namespace fs = std::filesystem;

const std::vector<RecordKind> kKinds = {RecordKind::Board, RecordKind::Message, RecordKind::Memo,
                                        RecordKind::Department, RecordKind::Phone, RecordKind::Log,
                                        RecordKind::Schedule};

std::string deskKey(int i) { return "Desk" + std::to_string(100 + i) + ",Client"; }

// Runs zelvorad in the server's folders with these arguments; its exit
// status, and its standard error in `errorText`.
int runCommand(ServerProcess& server, std::vector<std::string> arguments, std::string* errorText) {
    server.setArguments(std::move(arguments));
    const int status = server.runSecondCopy(errorText);
    server.setArguments({});
    return status;
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> filesOf(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) files[entry.path().filename()] = test::readFile(entry.path());
    }
    return files;
}

// The record counts MANIFEST gives, by file ("wiwo.dat" -> 20).
std::map<std::string, std::size_t> manifestCounts(const std::string& archive, const std::string& scratch) {
    fs::create_directories(scratch);
    const std::string command = "tar -xzf '" + archive + "' -C '" + scratch + "' MANIFEST";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::size_t> counts;
    std::istringstream lines(test::readFile(scratch + "/MANIFEST"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string tag, name, bytes, unit, records;
        words >> tag >> name >> bytes >> unit >> records;
        if (tag == "File:" && unit == "bytes,") counts[name] = std::stoul(records);
    }
    return counts;
}

TEST(WebBackup, BackupTakenWhileTwentyClientsLogInRestoresToFilesOfWholeRecords) {
    constexpr int kClients = 20;
    std::vector<Fields> board;
    for (int i = 0; i < kClients; ++i)
        board.push_back(test::boardRecord(deskKey(i), "pw" + std::to_string(i)));
    auto server = startServer(board);
    auto admin = administrator(*server);

    // Each login brings the client's own record punched in: the board and
    // the status log change in the same exchange.
    std::atomic<int> done{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            const Fields own = test::boardRecord(deskKey(i), "pw" + std::to_string(i), "Sales", "In");
            clientLogin(*server, deskKey(i), "pw" + std::to_string(i), test::recordString(own));
            ++done;
        });
    }
    std::vector<HttpResponse> backups;
    while (done < kClients || backups.size() < 3) backups.push_back(admin->get("/api/admin/backup"));
    for (auto& client : clients) client.join();
    backups.push_back(admin->get("/api/admin/backup"));  // after every login

    for (std::size_t n = 0; n < backups.size(); ++n) {
        SCOPED_TRACE("backup " + std::to_string(n + 1) + " of " + std::to_string(backups.size()));
        const HttpResponse& backup = backups[n];
        ASSERT_EQ(backup.status, 200) << backup.body;
        EXPECT_EQ(backup.header("Content-Type"), "application/gzip");
        EXPECT_NE(backup.header("Content-Disposition").find(".tar.gz\""), std::string::npos);

        // Restored into a fresh server's folders.
        ServerProcess fresh(ZV_ZELVORAD_PATH);
        const std::string archive = fresh.tempFile("backup.tar.gz");
        test::writeFile(archive, backup.body);
        std::string errors;
        ASSERT_EQ(runCommand(fresh, {"--restore", archive}, &errors), 0) << errors;

        // Every file holds whole records, as many as the manifest says, and
        // they agree: each client that is "In" has its status log record.
        const auto counts = manifestCounts(archive, fresh.tempFile("manifest"));
        std::map<RecordKind, std::vector<Fields>> restored;
        for (RecordKind kind : kKinds) {
            ASSERT_NO_THROW(restored[kind] = records(fresh, kind)) << test::dataFileName(kind);
            EXPECT_EQ(restored[kind].size(), counts.at(test::dataFileName(kind))) << test::dataFileName(kind);
        }
        ASSERT_EQ(restored[RecordKind::Board].size(), std::size_t{kClients});
        std::size_t in = 0;
        for (const Fields& record : restored[RecordKind::Board]) in += record[b::Status] == "In";
        EXPECT_EQ(restored[RecordKind::Log].size(), in);
        if (n + 1 == backups.size()) {
            EXPECT_EQ(in, std::size_t{kClients});
            // The restored settings file came along (the administrator's
            // password with it); a server started on the folder serves.
            EXPECT_NE(test::readFile(fresh.iniPath()).find("AdminPassword=$argon2id$"), std::string::npos);
            fresh.writeIni({});  // its own port
            fresh.start();
            const auto bundle = test::splitBundle(clientLogin(fresh, deskKey(7), "pw7"));
            EXPECT_EQ(sectionRecords(bundle.wiwo).size(), std::size_t{kClients});
        }
    }
    EXPECT_NE(server->stderrText().find("took a backup (wiwo.dat 20 records"), std::string::npos)
        << server->stderrText();
}

TEST(WebBackup, RestoreChecksEveryFileBeforeReplacingAnythingAndNeitherCommandRunsBesideAServer) {
    auto server =
        startServer({test::boardRecord("Smith,John", "secret"), test::boardRecord("Doe,Jane", "pw")});
    clientLogin(*server, "Smith,John", "secret");
    const std::string archive = server->tempFile("offline.tar.gz");
    std::string errors;

    // Beside the running server both refuse, touching nothing.
    const auto before = filesOf(server->dataFolder());
    EXPECT_EQ(runCommand(*server, {"--backup", archive}, &errors), 1);
    EXPECT_NE(errors.find("is running"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(runCommand(*server, {"--restore", archive}, &errors), 1);
    EXPECT_NE(errors.find("nothing is restored"), std::string::npos) << errors;
    ASSERT_EQ(server->stop(), 0);

    // A stop cut an in-place change short after its journal was complete
    // (here: Smith's status). The backup holds the board with the change, as
    // the next start would write it, and no journal.
    const std::string wiwo = server->dataFile("wiwo.dat");
    std::vector<Fields> accounts = records(*server, RecordKind::Board);
    for (Fields& record : accounts)
        if (record[b::Employee] == "Smith,John") record[b::Status] = "Out to lunch";
    const std::string edited = server->tempFile("edited.dat");
    test::writeRecordFile(edited, RecordKind::Board, accounts);
    const std::string editedBytes = test::readFile(edited);
    struct stat boardFile {};
    ASSERT_EQ(::stat(wiwo.c_str(), &boardFile), 0);
    ASSERT_EQ(editedBytes.size(), static_cast<std::size_t>(boardFile.st_size));
    const fileio::FileIdentity identity{boardFile.st_dev, boardFile.st_ino,
                                        static_cast<std::uint64_t>(boardFile.st_size), 0};
    test::writeFile(wiwo + ".journal", fileio::journalImage(identity, {{0, editedBytes}}));

    // Stopped: the backup is written, for its owner's eyes only.
    ASSERT_EQ(runCommand(*server, {"--backup", archive}, &errors), 0) << errors;
    EXPECT_NE(errors.find("held a complete change"), std::string::npos) << errors;
    struct stat info {};
    ASSERT_EQ(::stat(archive.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(manifestCounts(archive, server->tempFile("m1")).at("wiwo.dat"), 2u);
    const std::string listing = server->tempFile("listing");
    ASSERT_EQ(std::system(("tar -tzf '" + archive + "' > '" + listing + "'").c_str()), 0);
    EXPECT_EQ(test::readFile(listing).find(".journal"), std::string::npos) << test::readFile(listing);

    // A data file that is not a whole number of records: refused, naming
    // it, and nothing in either folder replaced.
    const std::string unpacked = server->tempFile("unpacked");
    fs::create_directories(unpacked);
    ASSERT_EQ(std::system(("tar -xzf '" + archive + "' -C '" + unpacked + "'").c_str()), 0);
    test::writeFile(unpacked + "/wywa.dat", test::readFile(unpacked + "/wywa.dat") + "7 bytes");
    // The files as a backup of a version without the schedule holds them.
    const auto packed = [&](const std::string& name) {
        const std::string path = server->tempFile(name);
        EXPECT_EQ(std::system(("tar -czf '" + path + "' -C '" + unpacked +
                               "' MANIFEST wiwo.dat wywa.dat posti.dat department.dat phonebook.dat "
                               "log_stat.dat zva.ini")
                                  .c_str()),
                  0);
        return path;
    };
    const std::string broken = packed("broken.tar.gz");
    const auto data = filesOf(server->dataFolder());
    const auto program = filesOf(server->programFolder());
    EXPECT_EQ(runCommand(*server, {"--restore", broken}, &errors), 1);
    EXPECT_NE(errors.find("wywa.dat is 7 bytes long, which is no whole number of its 1624-byte records"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("nothing was changed"), std::string::npos) << errors;
    EXPECT_EQ(filesOf(server->dataFolder()), data);
    EXPECT_EQ(filesOf(server->programFolder()), program);
    // Nor is anything else taken for a backup.
    EXPECT_EQ(runCommand(*server, {"--restore", server->iniPath()}, &errors), 1);
    EXPECT_NE(errors.find("is not a backup"), std::string::npos) << errors;
    EXPECT_EQ(filesOf(server->dataFolder()), data);

    // The sound backup goes back over a changed board, keeping what it
    // replaces beside it; the journal left beside the board is set aside
    // (it names the file the restore replaced).
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board,
                          {test::boardRecord("Roe,Rick", "x")});
    const std::string changed = test::readFile(server->dataFile("wiwo.dat"));
    ASSERT_EQ(runCommand(*server, {"--restore", archive}, &errors), 0) << errors;
    EXPECT_EQ(test::readFile(server->dataFile("wiwo.dat.before-restore")), changed);
    EXPECT_EQ(records(*server, RecordKind::Board).size(), 2u);
    EXPECT_EQ(test::readFile(server->dataFile("wiwo.dat")), editedBytes);
    EXPECT_FALSE(fs::exists(wiwo + ".journal"));
    EXPECT_TRUE(fs::exists(wiwo + ".journal.before-restore"));
    EXPECT_TRUE(fs::exists(server->iniPath() + ".before-restore"));
    server->start();
    const auto bundle = test::splitBundle(clientLogin(*server, "Doe,Jane", "pw"));
    EXPECT_NE(bundle.wiwo.find("Out to lunch"), std::string::npos);
    ASSERT_EQ(server->stop(), 0);

    // A backup of a version that kept no schedule restores the rest and
    // leaves the schedule as it is.
    std::vector<Fields> schedule = {{"Doe,Jane", "Absence", "2030-01-02T09:00:00Z", "", "Out"}};
    schedule[0].resize(test::fieldCount(RecordKind::Schedule));
    fs::remove(server->dataFile("schedule.dat.before-restore"));
    test::writeRecordFile(server->dataFile("schedule.dat"), RecordKind::Schedule, schedule);
    std::string manifest;
    std::istringstream lines(test::readFile(unpacked + "/MANIFEST"));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("schedule.dat") == std::string::npos) manifest += line + "\n";
    }
    test::writeFile(unpacked + "/MANIFEST", manifest);
    test::writeFile(unpacked + "/wywa.dat", data.at("wywa.dat"));
    const std::string older = packed("older.tar.gz");
    ASSERT_EQ(runCommand(*server, {"--restore", older}, &errors), 0) << errors;
    EXPECT_EQ(records(*server, RecordKind::Schedule), schedule);
    EXPECT_FALSE(fs::exists(server->dataFile("schedule.dat.before-restore")));
}

}  // namespace
}  // namespace zv::webtest
