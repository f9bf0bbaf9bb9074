#pragma once
// A temporary folder that is removed with everything in it when the object
// goes away.

#include <map>
#include <string>
#include <vector>

namespace zv::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zv-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole file contents; throws std::runtime_error naming the file when it
// cannot be read.
std::string readFile(const std::string& path);
// Writes `bytes` as the whole file; throws on failure.
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// Makes a subfolder (and its parents); throws on failure.
void makeFolder(const std::string& path);
// Copies a file, keeping its mode bits; throws on failure.
void copyFile(const std::string& from, const std::string& to);
// Every file under `folder` (path relative to it) with its bytes; a folder
// maps to "<folder>". For checking that a run touched nothing.
std::map<std::string, std::string> folderContents(const std::string& folder);

}  // namespace zv::test
