#pragma once
// One-line messages on standard error. When systemd's journal reads standard
// error, every line starts with its syslog priority in the form the journal
// takes from a stream ("<3>" error, "<4>" warning, "<5>" notice, "<6>"
// information), so that `journalctl -p warning` finds the warnings; started
// by hand the lines are plain, as they always were.

#include <string>
#include <string_view>

namespace zv {

enum class LinePriority : int { Error = 3, Warning = 4, Notice = 5, Information = 6 };

// True when `journalStream`, the value of JOURNAL_STREAM ("<device>:<inode>"
// in decimal, as systemd sets it for a service's standard error), names the
// file open on descriptor `fd`. A child that inherited the variable but not
// the stream gets false.
bool journalStreamNames(const char* journalStream, int fd);

// Whether this process's standard error is the journal (looked up once).
bool standardErrorIsJournal();

// `line` with its priority prefix when `forJournal`, unchanged otherwise.
std::string prefixedLine(LinePriority priority, std::string_view line, bool forJournal);

// Writes `line` and a line end to standard error at once, prefixed when
// standard error is the journal.
void standardErrorLine(LinePriority priority, std::string_view line);

}  // namespace zv
