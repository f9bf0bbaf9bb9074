// Speed of the board store against floors measured in the same run:
//   save   vs writing the same bytes to a temporary file, fsync, rename
//          (a record was added, so the file is replaced whole)
//   in place  one record changed and saved (journal, the record in place)
//          vs the atomic replace of the same file, and vs writing the same
//          journal and record bytes with the same flushes
//   load   vs reading the same bytes into memory
//   bundle vs appending the same field texts and separators to one string
//   add    time per add for 1,000 and 10,000 accounts in random key order
// Each figure is the median of several interleaved runs. Save is timed on the
// wall clock (it waits for the disk); the others on the process's CPU clock,
// which other programs on a busy machine disturb less.
//
// Usage: stores_bench [folder]   (default: the system's temporary folder)

#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "stores/board_store.h"
#include "stores/record_codec.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuMillisecondsOf(const std::function<void()>& work) {
    timespec start{}, end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::perror(what);
        std::exit(1);
    }
}

std::unique_ptr<zv::TWIWONode> makeAccount(std::mt19937& rng, int n) {
    static const char* const lastNames[] = {"Smith", "Johnson", "Williams", "Brown", "Jones",
                                            "Garcia", "Miller", "Davis", "Rodriguez", "Martinez"};
    auto a = std::make_unique<zv::TWIWONode>();
    const std::string last = std::string(lastNames[rng() % 10]) + std::to_string(n);
    const std::string first = "First" + std::to_string(rng() % 1000);
    a->Employee = last + "," + first;
    a->LastName = last;
    a->FirstName = first;
    a->Password = "pw" + std::to_string(rng() % 100000);
    a->Department = "Department " + std::to_string(rng() % 20);
    a->WorkPhone = "555-" + std::to_string(1000 + rng() % 9000);
    a->Extension = std::to_string(rng() % 1000);
    a->Status = rng() % 2 ? "In" : "Out";
    a->Returning = "after lunch";
    a->ReachedAt = "mobile";
    a->Comments = "meeting with the customer about the next order";
    a->EMail = last + "@example.com";
    a->EMailNotify = "YES";
    a->HomePhone = "555-0101";
    a->CarPhone = "555-0102";
    a->Pager = "555-0103";
    a->Other = "";
    a->StatusChanged = "12/7/26 9:15:00 AM";
    a->LastContact = "12/7/26 9:16:00 AM";
    a->EmergName = "Partner of " + first;
    a->EmergPhone = "555-0104";
    a->EmergRelation = "spouse";
    return a;
}

// Writes bytes to "<name>.floor", fsyncs it and renames it over "<name>.copy";
// with syncFolder, also fsyncs the folder as a durable save must.
void floorSave(const std::string& name, const std::string& bytes, bool syncFolder) {
    const std::string temp = name + ".floor";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    check(fd >= 0, "open");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        check(n > 0, "write");
        done += static_cast<std::size_t>(n);
    }
    check(::fsync(fd) == 0, "fsync");
    check(::close(fd) == 0, "close");
    check(::rename(temp.c_str(), (name + ".copy").c_str()) == 0, "rename");
    if (syncFolder) {
        const std::string folder = std::filesystem::path(name).parent_path().string();
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        check(dir >= 0, "open folder");
        check(::fsync(dir) == 0, "fsync folder");
        ::close(dir);
    }
}

// Reads the whole file into memory.
std::size_t floorLoad(const std::string& name, std::size_t size) {
    std::unique_ptr<char[]> buffer(new char[size]);
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, "open");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer.get() + done, size - done);
        check(n > 0, "read");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<std::size_t>(buffer[size / 2]);
}

// The same field texts (the records' own strings, in list order) and
// separators appended to one pre-reserved string.
std::string floorBundle(const std::vector<const zv::TWIWONode*>& records, std::size_t reserve) {
    std::string out;
    out.reserve(reserve);
    out.append(std::to_string(records.size()));
    out.push_back('|');
    const std::string_view sep = zv::kFieldSeparator;
    for (const zv::TWIWONode* r : records) {
        out.append(r->Employee).append(sep).append(r->LastName).append(sep).append(r->FirstName);
        out.append(sep).append(r->Password).append(sep).append(r->Department).append(sep);
        out.append(r->WorkPhone).append(sep).append(r->Extension).append(sep).append(r->Status);
        out.append(sep).append(r->Returning).append(sep).append(r->ReachedAt).append(sep);
        out.append(r->Comments).append(sep).append(r->EMail).append(sep).append(r->EMailNotify);
        out.append(sep).append(r->HomePhone).append(sep).append(r->CarPhone).append(sep);
        out.append(r->Pager).append(sep).append(r->Other).append(sep).append(r->StatusChanged);
        out.append(sep).append(r->LastContact).append(sep).append(r->EmergName).append(sep);
        out.append(r->EmergPhone).append(sep).append(r->EmergRelation);
        out.append(zv::kRecordSeparator);
    }
    return out;
}

// Writes a journal of one record (header, offset and length, the bytes) and
// flushes it, writes the record in place and flushes it, empties the journal:
// the least a crash-safe change of one record costs.
void floorInPlace(const std::string& name, const std::string& record, std::size_t offset) {
    const int journal = ::open((name + ".floor-journal").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const int file = ::open((name + ".copy").c_str(), O_RDWR | O_CLOEXEC);
    check(journal >= 0 && file >= 0, "open");
    const std::string image = std::string(64, 'j') + record;
    check(::pwrite(journal, image.data(), image.size(), 0) == static_cast<ssize_t>(image.size()), "pwrite");
    check(::fdatasync(journal) == 0, "fdatasync");
    check(::pwrite(file, record.data(), record.size(), static_cast<off_t>(offset)) ==
              static_cast<ssize_t>(record.size()),
          "pwrite");
    check(::fdatasync(file) == 0, "fdatasync");
    check(::ftruncate(journal, 0) == 0, "ftruncate");
    ::close(journal);
    ::close(file);
}

void printRatio(const char* name, double floorMs, double storeMs) {
    std::printf("%s %.2f (floor %.1f ms, store %.1f ms)\n", name, storeMs / floorMs, floorMs, storeMs);
}

// Adds `count` accounts one by one in random key order; returns ms.
double addAccounts(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::unique_ptr<zv::TWIWONode>> accounts;
    for (int i = 0; i < count; ++i) accounts.push_back(makeAccount(rng, i));
    std::shuffle(accounts.begin(), accounts.end(), rng);
    zv::TWIWOList board;
    return cpuMillisecondsOf([&] {
        for (auto& a : accounts) board.addNode(std::move(a));
        board.getNode(0);  // the order is settled before anything reads it
    });
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path work = folder / ("zv_stores_bench_" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string name = (work / "wiwo.dat").string();

    constexpr int kAccounts = 10000;
    constexpr int kRuns = 11;
    std::mt19937 rng(42);
    zv::TWIWOList board;
    board.setFileName(name);
    for (int i = 0; i < kAccounts; ++i) board.addNode(makeAccount(rng, i));
    board.saveToFile();
    const std::string bytes = [&] {
        std::FILE* f = std::fopen(name.c_str(), "rb");
        check(f != nullptr, "fopen");
        std::string b(fs::file_size(name), '\0');
        check(std::fread(b.data(), 1, b.size(), f) == b.size(), "fread");
        std::fclose(f);
        return b;
    }();
    std::printf("board: %d accounts, %.1f MB file\n", kAccounts, bytes.size() / 1e6);

    std::vector<double> saveFloor, saveFloorSynced, saveStore, loadFloor, loadStore, bundleFloor, bundleStore;
    std::vector<double> inPlaceFloor, inPlaceStore, bundleAfterOneChange;
    const std::size_t bundleSize = board.makeBundleFromList().size();

    for (int run = 0; run < kRuns; ++run) {
        saveFloor.push_back(millisecondsOf([&] { floorSave(name, bytes, false); }));
        saveFloorSynced.push_back(millisecondsOf([&] { floorSave(name, bytes, true); }));
        // A record deleted and added again moves the records after it: the
        // file is replaced whole, with the same bytes.
        const std::string key = board.getNode(kAccounts / 2).Employee;
        auto moved = std::make_unique<zv::TWIWONode>(std::as_const(board).getNode(kAccounts / 2));
        board.deleteByKey(key);
        board.addNode(std::move(moved));
        saveStore.push_back(millisecondsOf([&] { board.saveToFile(); }));
        // One record changed where it lies.
        const int changed = static_cast<int>(rng() % kAccounts);
        board.getNode(changed).LastContact = "12/7/26 9:" + std::to_string(10 + run) + ":00 AM";
        inPlaceStore.push_back(millisecondsOf([&] { board.saveToFile(); }));
        inPlaceFloor.push_back(millisecondsOf(
            [&] { floorInPlace(name, bytes.substr(0, 1909), static_cast<std::size_t>(changed) * 1909); }));
        volatile std::size_t sink = 0;
        loadFloor.push_back(cpuMillisecondsOf([&] { sink = floorLoad(name, bytes.size()); }));
        loadStore.push_back(cpuMillisecondsOf([&] { board.loadFromFile(); }));
        std::vector<const zv::TWIWONode*> records;
        for (int i = 0; i < board.getCount(); ++i) records.push_back(&board.getNode(i));
        bundleFloor.push_back(cpuMillisecondsOf([&] { sink = floorBundle(records, bundleSize).size(); }));
        bundleStore.push_back(cpuMillisecondsOf([&] { sink = board.makeBundleFromList().size(); }));
        // As at a login: the client's record changed since the last bundle
        // and the last save (the first bundle after the whole list was lent
        // is encoded whole).
        board.saveToFile();
        sink = board.bundlePieces().size();
        board.getNode(changed).LastContact = "12/7/26 10:" + std::to_string(10 + run) + ":00 AM";
        bundleAfterOneChange.push_back(cpuMillisecondsOf([&] { sink = board.bundlePieces().size(); }));
        (void)sink;
    }
    printRatio("save_ratio", median(saveFloor), median(saveStore));
    printRatio("save_ratio_vs_floor_with_folder_fsync", median(saveFloorSynced), median(saveStore));
    printRatio("in_place_change_ratio_vs_the_same_bytes_and_flushes", median(inPlaceFloor),
               median(inPlaceStore));
    std::printf(
        "in_place_change_vs_atomic_replace %.3f (one record changed in place %.2f ms, the whole file "
        "replaced %.1f ms)\n",
        median(inPlaceStore) / median(saveStore), median(inPlaceStore), median(saveStore));
    printRatio("load_ratio", median(loadFloor), median(loadStore));
    printRatio("bundle_ratio", median(bundleFloor), median(bundleStore));
    printRatio("bundle_after_one_change_ratio", median(bundleFloor), median(bundleAfterOneChange));

    std::vector<double> add1k, add10k;
    for (int run = 0; run < 5; ++run) {
        add1k.push_back(addAccounts(1000, 100 + run));
        add10k.push_back(addAccounts(10000, 200 + run));
    }
    const double per1k = median(add1k) / 1000 * 1000;     // microseconds per add
    const double per10k = median(add10k) / 10000 * 1000;  // microseconds per add
    std::printf("add_per_account_1000 %.3f us\n", per1k);
    std::printf("add_per_account_10000 %.3f us\n", per10k);
    std::printf("add_growth_ratio %.2f (time per add at 10,000 over time per add at 1,000; 1.0 is linear)\n",
                per10k / per1k);

    if (!std::getenv("ZV_KEEP")) fs::remove_all(work); else std::printf("kept %s\n", name.c_str());
    return 0;
}
