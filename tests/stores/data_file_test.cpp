// Loading and saving data files: missing, empty, incomplete and garbage files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "stores/file_access.h"
#include "stores/record_store.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::account;
using testing::fileExists;
using testing::FileOpsOverride;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

TEST(DataFile, MissingFileIsCreatedEmptyAndEmptyStoresSaveZeroBytes) {
    TempDir dir;
    const std::string name = dir.file("wywa.dat");
    TWYWOList messages;
    messages.setFileName(name);
    messages.loadFromFile();
    ASSERT_TRUE(fileExists(name));
    EXPECT_EQ(readBytes(name).size(), 0u);
    EXPECT_EQ(messages.makeBundleFromList("Smith,John", 0), "0|");

    TWIWOList board;
    board.setFileName(dir.file("wiwo.dat"));
    board.addNode(account("A,B"));
    board.saveToFile();
    board.clearList();
    board.saveToFile();
    EXPECT_EQ(readBytes(dir.file("wiwo.dat")).size(), 0u);
    board.loadFromFile();
    EXPECT_EQ(board.getCount(), 0);
    EXPECT_FALSE(fileExists(dir.file("wiwo.dat.tmp")));
}

// An empty list truncates its file in place: whole or not at all like the
// general save, but with no temporary file, no rename and no folder flush.
// Anything but an existing regular file goes the general way.
TEST(DataFile, AnEmptyListTruncatesAnExistingFileInPlaceAndOtherwiseReplacesItAsUsual) {
    TempDir dir;
    const std::string name = dir.file("posti.dat");
    TPOSTIList memos;
    memos.setFileName(name);
    auto memo = std::make_unique<TPOSTINode>();
    memo->Recipient = "Smith,John";
    memos.addNode(std::move(memo));
    struct stat before {};
    ASSERT_EQ(::stat(name.c_str(), &before), 0);
    ASSERT_EQ(before.st_size, 1076);

    FileOpsOverride counting;
    auto renames = std::make_shared<int>(0);
    auto folderFlushes = std::make_shared<int>(0);
    auto realRename = counting.ops().rename;
    counting.ops().rename = [renames, realRename](const char* from, const char* to) {
        ++*renames;
        return realRename(from, to);
    };
    auto realFsync = counting.ops().fsync;
    counting.ops().fsync = [folderFlushes, realFsync](int fd) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) ++*folderFlushes;
        return realFsync(fd);
    };
    counting.install();

    memos.deleteByKey("Smith,John");  // saves the now empty list
    struct stat after {};
    ASSERT_EQ(::stat(name.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "truncated in place";
    EXPECT_EQ(*renames, 0);
    EXPECT_EQ(*folderFlushes, 0);
    EXPECT_FALSE(fileExists(name + ".tmp"));

    // A missing file is created empty, through a temporary file.
    ASSERT_EQ(::unlink(name.c_str()), 0);
    memos.saveToFile();
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(readBytes(name).size(), 0u);
    EXPECT_EQ(*renames, 1);

    // A link is replaced by an empty file; what it pointed to is left alone.
    const std::string target = dir.file("elsewhere.dat");
    writeBytes(target, "keep me");
    ASSERT_EQ(::unlink(name.c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0);
    memos.saveToFile();
    struct stat replaced {};
    ASSERT_EQ(::lstat(name.c_str(), &replaced), 0);
    EXPECT_TRUE(S_ISREG(replaced.st_mode));
    EXPECT_EQ(replaced.st_size, 0);
    EXPECT_EQ(readBytes(target), "keep me");

    // A save with nothing to change writes nothing; a file changed behind
    // the store's back is brought back to the list. A failed flush is
    // reported, naming the file.
    *renames = 0;
    memos.saveToFile();
    EXPECT_EQ(*renames, 0);
    writeBytes(name, "not the list");
    counting.ops().fsync = [](int) {
        errno = EIO;
        return -1;
    };
    try {
        memos.saveToFile();
        ADD_FAILURE() << "the save must raise";
    } catch (const StoreError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("cannot flush \"" + name + "\""), std::string::npos) << what;
        EXPECT_NE(what.find("Input/output error"), std::string::npos) << what;
    }
}

TEST(DataFile, LoadingKeepsTheFileOrderAndReplacesTheList) {
    TempDir dir;
    TDEPTList depts;
    depts.setFileName(dir.file("department.dat"));
    std::string image(3 * 256, '\0');
    image.replace(0, 1, "b");
    image.replace(256, 1, "c");
    image.replace(512, 1, "a");
    writeBytes(dir.file("department.dat"), image);
    auto extra = std::make_unique<TDEPTNode>();
    extra->Name = "stale";
    depts.addNode(std::move(extra));

    depts.loadFromFile();
    ASSERT_EQ(depts.getCount(), 3);
    EXPECT_EQ(depts.makeBundleFromList(), "3|b<~REC~>c<~REC~>a<~REC~>");
}

TEST(DataFile, BoardWithAnIncompleteLastRecordWarnsOnceAndKeepsTheCompleteRecords) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    {
        TWIWOList board;
        board.setFileName(name);
        for (const char* key : {"A,A", "B,B", "C,C"}) board.addNode(account(key));
        board.saveToFile();
    }
    std::string bytes = readBytes(name);
    bytes.append(100, 'z');
    writeBytes(name, bytes);

    TWIWOList board;
    board.setFileName(name);
    std::vector<std::string> warnings;
    board.setConversionWarning([&](const std::string& text) { warnings.push_back(text); });
    board.loadFromFile();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "The Employee File needs to be updated for use with Zelvora 2.0.\r"
              "Please run the File Converter (converter.exe) in the Admin directory,\r"
              "then restart Zelvora Admin/Server.");
    ASSERT_EQ(board.getCount(), 3);
    EXPECT_EQ(board.getNode(2).Employee, "C,C");

    // A whole number of records never warns, a file shorter than one record does.
    warnings.clear();
    writeBytes(name, std::string(1909 * 2, '\0'));
    board.loadFromFile();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(board.getCount(), 2);
    writeBytes(name, std::string(1908, 'q'));
    board.loadFromFile();
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(board.getCount(), 0);
}

TEST(DataFile, ConversionWarningMayUseTheStoreWhileTheLoadHoldsItsLock) {
    // The warning is shown modally, and a modal loop runs session steps that
    // save the board: the file lock is reentrant for its own thread.
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    std::string image(1909 * 2 + 10, '\0');
    image.replace(0, 1, "b");
    image.replace(1909, 1, "a");
    testing::writeBytes(name, image);

    TWIWOList board;
    board.setFileName(name);
    int seen = -1;
    board.setConversionWarning([&](const std::string&) {
        seen = board.getCount();
        board.saveToFile();
    });
    board.loadFromFile();
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(readBytes(name).size(), 2u * 1909);  // the save dropped the incomplete tail
    EXPECT_EQ(board.getNode(0).Employee, "b");
}

// A file that ends in an incomplete record (cut short by a crash of an older
// version, say): a copy as found, one warning naming the file, the records
// kept and the copy, and the complete records served. The first save then
// writes whole records only; the copy keeps what was cut off.
template <class Store>
void expectDamagedFileIsKeptAndServed(const TempDir& dir, const char* fileName, std::size_t recordSize,
                                      const std::function<void(Store&)>& addTwo,
                                      const std::function<int(Store&)>& count) {
    const std::string name = dir.file(fileName);
    {
        Store store;
        store.setFileName(name);
        addTwo(store);
        store.saveToFile();
    }
    std::string found = readBytes(name);
    ASSERT_EQ(found.size(), 2 * recordSize) << fileName;
    found.append(recordSize / 2, 'x');
    writeBytes(name, found);

    Store store;
    store.setFileName(name);
    std::vector<std::string> warnings;
    store.setLoadWarning([&](const std::string& text) { warnings.push_back(text); });
    ASSERT_NO_THROW(store.loadFromFile()) << fileName;
    EXPECT_EQ(count(store), 2) << fileName;
    ASSERT_EQ(warnings.size(), 1u) << fileName;
    const std::string copy = name + ".damaged";
    EXPECT_EQ(readBytes(copy), found) << fileName;
    EXPECT_NE(warnings[0].find("\"" + name + "\""), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("2 complete records"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("\"" + copy + "\""), std::string::npos) << warnings[0];

    store.saveToFile();
    EXPECT_EQ(readBytes(name).size(), 2 * recordSize) << fileName;
    EXPECT_EQ(readBytes(copy), found) << fileName;
    store.loadFromFile();  // whole again: no warning
    EXPECT_EQ(warnings.size(), 1u) << fileName;
}

TEST(DataFile, OtherStoresWithAnIncompleteLastRecordKeepACopyWarnOnceAndServeTheCompleteRecords) {
    TempDir dir;
    expectDamagedFileIsKeptAndServed<TPOSTIList>(
        dir, "posti.dat", 1076,
        [](TPOSTIList& s) {
            s.addNode(s.createNodeFromString("A<~FLD~>one"));
            s.addNode(s.createNodeFromString("B<~FLD~>two"));
        },
        [](TPOSTIList& s) {
            return std::stoi(s.makeBundleFromList("A", 0)) + std::stoi(s.makeBundleFromList("B", 0));
        });
    expectDamagedFileIsKeptAndServed<TWYWOList>(
        dir, "wywa.dat", 1624,
        [](TWYWOList& s) {
            s.addNode(s.createNodeFromString("A<~FLD~>one"));
            s.addNode(s.createNodeFromString("A<~FLD~>two"));
        },
        [](TWYWOList& s) { return std::stoi(s.makeBundleFromList("A", 0)); });
    expectDamagedFileIsKeptAndServed<TLOGList>(
        dir, "log_stat.dat", 820,
        [](TLOGList& s) {
            s.addNode(s.createNodeFromString("first"));
            s.addNode(s.createNodeFromString("second"));
        },
        [](TLOGList& s) { return s.getCount(); });
    expectDamagedFileIsKeptAndServed<TDEPTList>(
        dir, "department.dat", 256,
        [](TDEPTList& s) {
            for (const char* name : {"Sales", "Support"}) {
                auto dept = std::make_unique<TDEPTNode>();
                dept->Name = name;
                s.addNode(std::move(dept));
            }
        },
        [](TDEPTList& s) { return s.getCount(); });
    expectDamagedFileIsKeptAndServed<TPHONEList>(
        dir, "phonebook.dat", 641,
        [](TPHONEList& s) {
            s.addToPhoneListFromString("2|Ann<~FLD~>Co<~FLD~>1<~REC~>Bob<~FLD~>Co<~FLD~>2<~REC~>");
        },
        [](TPHONEList& s) { return s.getCount(); });

    // A copy that cannot be made stops the load: the file must not be
    // rewritten without one.
    const std::string name = dir.file("log_stat.dat");
    writeBytes(name, std::string(820 + 10, 'q'));
    std::filesystem::remove(name + ".damaged");
    std::filesystem::create_directory(name + ".damaged");
    TLOGList log;
    log.setFileName(name);
    int warnings = 0;
    log.setLoadWarning([&](const std::string&) { ++warnings; });
    try {
        log.loadFromFile();
        FAIL() << "the load went on without a copy of the damaged file";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("log_stat.dat.damaged"), std::string::npos) << e.what();
    }
    EXPECT_EQ(warnings, 0);
}

template <class Node>
void loadGarbage(std::mt19937& rng, const TempDir& dir) {
    constexpr std::size_t size = RecordLayout<Node>::kRecordSize;
    std::uniform_int_distribution<std::size_t> sizes(0, 4 * size + 3);
    std::uniform_int_distribution<int> bytes(0, 255);
    const std::string name = dir.file("garbage.dat");
    for (int round = 0; round < 40; ++round) {
        std::string junk(sizes(rng), '\0');
        for (char& c : junk) c = static_cast<char>(bytes(rng));
        writeBytes(name, junk);
        RecordStore<Node> store;
        store.setFileName(name);
        int tails = 0;
        store.loadFromFile([&] { ++tails; });
        EXPECT_EQ(static_cast<std::size_t>(store.getCount()), junk.size() / size);
        EXPECT_EQ(tails, junk.size() % size ? 1 : 0);
        for (const auto& node : store.records())
            for (const auto& f : RecordLayout<Node>::kFields)
                EXPECT_LE(((*node).*(f.member)).size(), f.width);
        if (round % 10 == 0) store.saveToFile();  // what was read can be written back
    }
}

TEST(DataFile, GarbageOfAnySizeLoadsWithoutACrash) {
    TempDir dir;
    std::mt19937 rng(20261207);
    loadGarbage<TWIWONode>(rng, dir);
    loadGarbage<TPOSTINode>(rng, dir);
    loadGarbage<TWYWONode>(rng, dir);
    loadGarbage<TDEPTNode>(rng, dir);
    loadGarbage<TPHONENode>(rng, dir);
    loadGarbage<TLOGNode>(rng, dir);

    // Through the board store, with its warning.
    const std::string name = dir.file("wiwo.dat");
    writeBytes(name, std::string(1909 * 2 + 7, '\xff'));
    TWIWOList board;
    board.setFileName(name);
    int warnings = 0;
    board.setConversionWarning([&](const std::string&) { ++warnings; });
    board.loadFromFile();
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(board.getCount(), 2);
    EXPECT_EQ(board.getNode(0).Employee, std::string(256, '\xff'));
}

}  // namespace
}  // namespace zv
