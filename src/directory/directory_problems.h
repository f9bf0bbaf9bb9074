#pragma once
// What is wrong with a directory's settings before anything is sent to it.

#include <string>
#include <vector>

#include "directory/directory_config.h"

namespace zv {

// One sentence per problem, naming the [Directory] key; none when the
// directory is not configured (no URI).
std::vector<std::string> directoryConfigProblems(const TDirectoryConfig& config);

}  // namespace zv
