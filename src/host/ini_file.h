#pragma once
// An ini file held in memory: sections and keys compared without regard to
// case, one value per key, keys kept in the order the file held them (new keys
// go after them), and unknown sections and keys kept as they were, with the
// comments above them and those that end the file. Written as "Key=Value"
// lines with CR LF line ends, as the Windows ini functions write; a CR inside
// a line is part of it and is written back as it was read. A line that is
// none of a section, a key and a comment is not kept.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zv {

// The settings file could not be read or written; names the file and the
// system's error text.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const std::string& what) : std::runtime_error(what) {}
};

class IniFile {
public:
    IniFile();
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Replaces the contents with the parsed text (CR LF or LF lines).
    void parse(const std::string& text);

    // The value, or nothing when the key is missing.
    std::optional<std::string> value(const std::string& section,
                                     const std::string& key) const;
    std::string value(const std::string& section, const std::string& key,
                      const std::string& fallback) const;

    // Throws SettingsError, changing nothing, when the value holds a line feed.
    void setValue(const std::string& section, const std::string& key,
                  const std::string& value);

    // Removes the key, and its section when no key is left in it (with the
    // comments that led into it); nothing to remove is no error.
    void removeValue(const std::string& section, const std::string& key);

    // The whole file as it is written: "Key=Value" lines ended by CR LF.
    std::string text() const;

    // Every key with its section and value, in the file's order.
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
        bool operator==(const Entry&) const = default;
    };
    std::vector<Entry> entries() const;

    // Reads `path`; false when there is no such file (the contents are then
    // empty). Throws SettingsError when it exists but cannot be opened or read.
    bool load(const std::string& path);

    // The bytes of the file at `path`; nothing when there is no such file.
    // Throws SettingsError when it exists but cannot be opened or read.
    static std::optional<std::string> readFile(const std::string& path);

    // Writes `path` whole: a temporary file beside it, flushed to the disk and
    // renamed over it. A file that was there keeps its mode (and, for root,
    // its owner, so that a service's own user can still write it); a new
    // file is made for its owner alone (0600). Throws SettingsError naming
    // the file and the reason.
    void save(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zv
