#include "host/ini_file.h"

// Texts are 8-bit and stored unconverted.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <string_view>
#include <vector>
#include <unistd.h>

namespace zv {

namespace {

std::string systemError(int err) { return std::strerror(err); }

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Writes all of `data` to `fd`; false with errno set on failure.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The ini library ends a line at a lone CR as well as at LF. The settings
// file's lines end in CR LF; a CR inside a line ("[Opt\rions]") is part of
// the line, and must come back as it was read, not as a line end (which would
// make "[Options]" of it). Such a CR is handed to the library as an escape
// pair, and the escape character itself is doubled.
constexpr char kEscape = '\x01';
constexpr char kEscapedCr = 'r';

std::string escapeLoneCr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kEscape) {
            out += kEscape;
            out += kEscape;
        } else if (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) {
            out += kEscape;
            out += kEscapedCr;
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kEscape && i + 1 < text.size() && (text[i + 1] == kEscape || text[i + 1] == kEscapedCr)) {
            out += text[i + 1] == kEscape ? kEscape : '\r';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A line that opens a section name and never closes it ("[Options" and the
// line end) is not a section header. The ini library would file the keys
// below it under a name made of that line and the next key, which every save
// writes back one line longer; so such a line is left out, and the keys
// below it stay in the section before it. Lines end at LF (with or without
// CR before it).
std::string withoutUnclosedSectionLines(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line(text.data() + start, end - start);
        const std::size_t first = line.find_first_not_of(" \t");
        const bool unclosed = first != std::string_view::npos && line[first] == '[' &&
                              line.find(']', first) == std::string_view::npos;
        if (!unclosed) kept.append(line);
        start = end;
    }
    return kept;
}

// A UTF-8 signature at the start of the text (an editor may add one) is no
// part of the first line: the library skips it, so it goes before the line
// filter above looks at the lines, which must see them as the library will.
constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";

std::string withoutUtf8Signature(const std::string& text) {
    return text.rfind(kUtf8Signature, 0) == 0 ? text.substr(kUtf8Signature.size()) : text;
}

// A section header or a comment line, as the library tells them: by the
// first character after spaces and tabs.
bool firstCharIsOneOf(std::string_view line, std::string_view firstChars) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first != std::string_view::npos && firstChars.find(line[first]) != std::string_view::npos;
}

// The lines of `text` (ended by LF, a CR before it dropped).
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// The library's output, laid out as the file is: CR LF line ends, and one
// blank line before each section but the first, above the comment lines
// that lead into it; no other blank lines. The library places blank lines by
// where it filed a comment (the file's own, or a section's), which a save
// can change, so they are placed here from the lines alone and every save of
// the same settings writes the same bytes. A first line that begins with the
// bytes of a UTF-8 signature (a key read further down) gets a blank line
// before it, so that the next read does not take them for the file's own.
std::string fileLayout(std::string_view lf) {
    std::vector<std::string_view> lines;
    for (const std::string_view line : linesOf(lf)) {
        if (!isBlank(line)) lines.push_back(line);
    }
    std::vector<bool> blankBefore(lines.size(), false);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!firstCharIsOneOf(lines[i], "[")) continue;
        std::size_t lead = i;
        while (lead > 0 && firstCharIsOneOf(lines[lead - 1], ";#")) --lead;
        if (lead > 0) blankBefore[lead] = true;
    }
    std::string out;
    out.reserve(lf.size() + lf.size() / 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (blankBefore[i]) out += "\r\n";
        out.append(lines[i]);
        out += "\r\n";
    }
    if (out.rfind(kUtf8Signature, 0) == 0) out.insert(0, "\r\n");
    return out;
}

std::string_view withoutLeadingBlanks(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

// The comment lines after the text's last section or key. The ini library
// files a comment with the entry below it, so these have none and would be
// lost at the next save. (Lines that are none of the three, which the
// library drops, may stand between them.)
std::vector<std::string> trailingComments(std::string_view text) {
    std::vector<std::string> comments;
    const std::vector<std::string_view> lines = linesOf(text);
    std::size_t first = lines.size();
    while (first > 0) {
        const std::string_view line = lines[first - 1];
        const bool entry = !isBlank(line) && !firstCharIsOneOf(line, ";#") &&
                           (firstCharIsOneOf(line, "[") || line.find('=') != std::string_view::npos);
        if (entry) break;
        --first;
    }
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (firstCharIsOneOf(lines[i], ";#")) comments.emplace_back(lines[i]);
    }
    return comments;
}

// `layout` with the trailing comments after it that it does not end with
// already: a file of comments alone keeps its first ones as the file's own.
std::string withTrailingComments(std::string layout, const std::vector<std::string>& comments) {
    std::vector<std::string_view> lines = linesOf(layout);
    while (!lines.empty() && isBlank(lines.back())) lines.pop_back();
    std::size_t kept = 0;  // how many of `comments` end the layout already
    while (kept < lines.size() && firstCharIsOneOf(lines[lines.size() - 1 - kept], ";#")) ++kept;
    if (kept > comments.size()) return layout;
    for (std::size_t i = 0; i < kept; ++i) {
        if (withoutLeadingBlanks(lines[lines.size() - kept + i]) != withoutLeadingBlanks(comments[i])) return layout;
    }
    for (std::size_t i = kept; i < comments.size(); ++i) layout += comments[i] + "\r\n";
    return layout;
}

}  // namespace

struct IniFile::Impl {
    // Case-insensitive names, one value per key, no multi-line values.
    CSimpleIniA ini{false, false, false};
    std::vector<std::string> trailingComments;  // escaped as the library holds texts
    Impl() { ini.SetSpaces(false); }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}
IniFile::~IniFile() = default;

void IniFile::parse(const std::string& text) {
    impl_->ini.Reset();
    impl_->ini.SetSpaces(false);
    std::string lines = withoutUnclosedSectionLines(withoutUtf8Signature(text));
    // With the lines before it left out, a line may now begin the text with
    // the bytes of a UTF-8 signature; a line end before it keeps the library
    // from taking them for the file's own.
    if (lines.rfind(kUtf8Signature, 0) == 0) lines.insert(0, "\n");
    const std::string escaped = escapeLoneCr(lines);
    if (impl_->ini.LoadData(escaped) < 0) {
        throw SettingsError("The settings text could not be parsed (out of memory)");
    }
    impl_->trailingComments = trailingComments(escaped);
}

std::optional<std::string> IniFile::value(const std::string& section,
                                          const std::string& key) const {
    const char* v = impl_->ini.GetValue(escapeLoneCr(section).c_str(), escapeLoneCr(key).c_str(), nullptr);
    if (!v) return std::nullopt;
    return unescape(v);
}

std::string IniFile::value(const std::string& section, const std::string& key,
                           const std::string& fallback) const {
    return value(section, key).value_or(fallback);
}

void IniFile::setValue(const std::string& section, const std::string& key,
                       const std::string& value) {
    // A line feed would end the value's line and begin another, which the
    // next load would read as a key or section nobody wrote.
    if (const auto lineBreak = value.find('\n'); lineBreak != std::string::npos) {
        throw SettingsError("The setting [" + section + "] " + key +
                            " cannot be written to the settings file: its value \"" +
                            value.substr(0, lineBreak) + "\" goes on after a line feed");
    }
    if (impl_->ini.SetValue(escapeLoneCr(section).c_str(), escapeLoneCr(key).c_str(),
                            escapeLoneCr(value).c_str()) < 0) {
        throw SettingsError("The setting [" + section + "] " + key +
                            " could not be stored (out of memory)");
    }
}

void IniFile::removeValue(const std::string& section, const std::string& key) {
    impl_->ini.Delete(escapeLoneCr(section).c_str(), escapeLoneCr(key).c_str(), true);
}

std::string IniFile::text() const {
    std::string lf;
    if (impl_->ini.Save(lf, false) < 0) {
        throw SettingsError("The settings could not be written out (out of memory)");
    }
    // A CR that belongs to a line comes back from its escape pair only now.
    return unescape(withTrailingComments(fileLayout(lf), impl_->trailingComments));
}

std::optional<std::string> IniFile::readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // Only a file that is not there counts as missing: one that exists but
        // cannot be opened must never be taken for a first start (and then be
        // written over with the defaults).
        if (errno == ENOENT) return std::nullopt;
        throw SettingsError("Cannot open the settings file \"" + path + "\": " + systemError(errno));
    }
    std::string data;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw SettingsError("Cannot read the settings file \"" + path +
                                "\": " + systemError(err));
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

std::vector<IniFile::Entry> IniFile::entries() const {
    std::vector<Entry> out;
    CSimpleIniA::TNamesDepend sections;
    impl_->ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& section : sections) {
        CSimpleIniA::TNamesDepend keys;
        impl_->ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            const char* value = impl_->ini.GetValue(section.pItem, key.pItem, "");
            out.push_back({unescape(section.pItem), unescape(key.pItem), unescape(value)});
        }
    }
    return out;
}

bool IniFile::load(const std::string& path) {
    impl_->ini.Reset();
    impl_->trailingComments.clear();
    const std::optional<std::string> data = readFile(path);
    if (!data) return false;
    parse(*data);
    return true;
}

void IniFile::save(const std::string& path) const {
    const std::string data = text();
    const std::string tmp = path + ".tmp";
    auto fail = [&](const char* what, int err) {
        throw SettingsError(std::string("Cannot ") + what + " the settings file \"" +
                            path + "\": " + systemError(err));
    };
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail("create", errno);
    const bool keptOwner = !existed || ::geteuid() != 0 || ::fchown(fd, before.st_uid, before.st_gid) == 0;
    const bool keptMode = !existed || ::fchmod(fd, before.st_mode & 07777) == 0;
    if (!keptOwner || !keptMode || !writeAll(fd, data) || ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        fail("write", err);
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("write", err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("replace", err);
    }
    int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // best effort: the file itself is already whole
        ::close(dir);
    }
}

}  // namespace zv
