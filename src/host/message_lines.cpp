#include "host/message_lines.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace zv {

namespace {

// A decimal number that fills `text` exactly.
template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool journalStreamNames(const char* journalStream, int fd) {
    if (!journalStream) return false;
    const std::string_view text(journalStream);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (!parseWhole(text.substr(0, colon), device) || !parseWhole(text.substr(colon + 1), inode)) {
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

bool standardErrorIsJournal() {
    static const bool journal = journalStreamNames(std::getenv("JOURNAL_STREAM"), 2);
    return journal;
}

std::string prefixedLine(LinePriority priority, std::string_view line, bool forJournal) {
    std::string text;
    if (forJournal) {
        text = "<" + std::to_string(static_cast<int>(priority)) + ">";
    }
    text += line;
    return text;
}

void standardErrorLine(LinePriority priority, std::string_view line) {
    std::cerr << prefixedLine(priority, line, standardErrorIsJournal()) << '\n' << std::flush;
}

}  // namespace zv
