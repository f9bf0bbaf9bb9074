#pragma once
// Starting a program of a test's own (a server, a second copy, a small web
// server) as a plain child process.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace zv::test {

// Starts `exe` with `cwd` as its current directory, its standard error
// appended to `errPath`, its standard input from `inputPath` (/dev/null when
// empty), and these variables added to the environment. Throws when it
// cannot fork.
pid_t spawn(const std::string& exe, const std::string& cwd, const std::string& errPath,
            const std::vector<std::string>& arguments = {},
            const std::map<std::string, std::string>& environment = {}, const std::string& inputPath = {});

}  // namespace zv::test
