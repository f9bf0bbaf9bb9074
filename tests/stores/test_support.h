#pragma once
// Helpers shared by the store tests: a temporary folder and raw file access.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "stores/file_access.h"
#include "stores/records.h"

namespace zv::testing {

// A board record with this key, status "In", every other field empty.
inline std::unique_ptr<TWIWONode> account(const std::string& key) {
    auto node = std::make_unique<TWIWONode>();
    node->Employee = key;
    node->Status = "In";
    return node;
}

// Installs replacement file calls for one scope.
class FileOpsOverride {
public:
    FileOpsOverride() : ops_(fileio::systemFileOps()) {}
    ~FileOpsOverride() { fileio::setFileOpsForTesting(nullptr); }
    FileOpsOverride(const FileOpsOverride&) = delete;
    FileOpsOverride& operator=(const FileOpsOverride&) = delete;
    fileio::FileOps& ops() { return ops_; }
    void install() { fileio::setFileOpsForTesting(&ops_); }

private:
    fileio::FileOps ops_;
};

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    // `inMemory`: in /dev/shm when there is one, where a flush costs
    // nothing (for tests that save thousands of times).
    explicit TempDir(bool inMemory = false) {
        const bool shm = inMemory && ::access("/dev/shm", W_OK) == 0;
        const std::filesystem::path base =
            shm ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        std::string pattern = (base / "zv_stores_XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(std::string_view name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string readBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& fileName, std::string_view bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool fileExists(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0;
}

// Places `text` at `offset` of a byte image, followed by a zero byte when the
// slot of `width` bytes has room for one.
inline void putSlot(std::string& image, std::size_t offset, std::size_t width, std::string_view text) {
    image.replace(offset, text.size(), text);
    if (text.size() < width) image[offset + text.size()] = '\0';
}

// Sets the time zone (the TZ variable) for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        hadPrevious_ = std::getenv("TZ") != nullptr;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (hadPrevious_) ::setenv("TZ", previous_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

}  // namespace zv::testing
