#include "fuzz_support.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace zv::fuzz {

void fail(const char* file, int line, const std::string& what) {
    const std::string message = std::string(file) + ":" + std::to_string(line) + ": property failed: " + what;
#ifdef ZV_LIBFUZZER
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
#else
    throw TPropertyFailure(message);
#endif
}

void failKnown(const char* fault, const char* file, int line, const std::string& what) {
    static const std::string tolerated = [] {
        const char* list = std::getenv("ZV_FUZZ_TOLERATE");
        return "," + std::string(list ? list : "") + ",";
    }();
    if (tolerated.find("," + std::string(fault) + ",") == std::string::npos)
        fail(file, line, "(known fault " + std::string(fault) + ") " + what);
    static std::set<std::string> told;
    if (told.insert(fault).second)
        std::fprintf(stderr, "known fault %s, inputs that meet it are dropped: %s\n", fault, what.c_str());
    throw TToleratedFault{};
}

std::string printable(std::string_view bytes, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out.append(hex);
        }
    }
    if (bytes.size() > limit) out.append("... (" + std::to_string(bytes.size()) + " bytes)");
    return out;
}

std::uint64_t TSplitMix::next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

bool keyOrdered(const std::vector<std::vector<std::string>>& records) {
    auto unsignedLess = [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); };
    for (std::size_t i = 1; i < records.size(); ++i) {
        const std::string& a = records[i - 1][0];
        const std::string& b = records[i][0];
        if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), unsignedLess)) return false;
    }
    return true;
}

std::uint64_t hashBytes(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

std::vector<std::string_view> cutIntoPieces(std::string_view text, TDelivery delivery, std::uint64_t seed) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    switch (delivery) {
        case TDelivery::kWhole:
            pieces.push_back(text);
            break;
        case TDelivery::kByteByByte:
            for (std::size_t i = 0; i < text.size(); ++i) pieces.push_back(text.substr(i, 1));
            break;
        case TDelivery::kRandomPieces: {
            TSplitMix random(seed);
            std::size_t at = 0;
            while (at < text.size()) {
                // Mostly short pieces, now and then a long one.
                const std::size_t most = random.below(4) == 0 ? 512 : 9;
                const std::size_t n = 1 + random.below(most);
                pieces.push_back(text.substr(at, n));
                at += pieces.back().size();
            }
            break;
        }
    }
    return pieces;
}

namespace {

std::string processFolder;

void removeProcessFolder() {
    if (processFolder.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(processFolder, ec);
}

void makeProcessFolder() {
    // One zone with summer time for every run, whatever the machine says.
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    // ZV_FUZZ_TMP names the parent (the fuzz script gives each run one, and
    // removes it with whatever a crashed target left behind).
    const char* parent = std::getenv("ZV_FUZZ_TMP");
    std::string base = parent && *parent ? parent : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    std::string pattern = base + "/zv-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a working folder: %s\n", std::strerror(errno));
        std::abort();
    }
    processFolder = pattern;
    std::atexit(removeProcessFolder);
}

}  // namespace

const std::string& enterWorkFolder(const char* target) {
    static std::map<std::string, std::string> folders;
    if (processFolder.empty()) makeProcessFolder();
    auto [it, added] = folders.try_emplace(target, processFolder + "/" + target);
    if (added) std::filesystem::create_directories(it->second);
    if (::chdir(it->second.c_str()) != 0) {
        std::fprintf(stderr, "cannot enter %s: %s\n", it->second.c_str(), std::strerror(errno));
        std::abort();
    }
    return it->second;
}

std::time_t fixedNow() {
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

void clearFolder() {
    DIR* dir = ::opendir(".");
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        std::error_code ec;
        std::filesystem::remove_all(name, ec);
    }
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

bool fileThere(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

namespace {
std::vector<TTarget>& targets() {
    static std::vector<TTarget> all;
    return all;
}
}  // namespace

bool registerTarget(const char* name, TEntryPoint entry) {
    targets().push_back({name, entry});
    return true;
}

const std::vector<TTarget>& registeredTargets() { return targets(); }

}  // namespace zv::fuzz
