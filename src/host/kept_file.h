#pragma once
// A whole text file of the data folder that a front end keeps beside the
// stores (the browsers' sessions), replaced with the stores' own file code:
// a crash leaves the old text or the new one, never a mix, and a new file is
// for the server's user alone.

#include <string>

namespace zv {

// Throws std::runtime_error naming the file and what failed.
void replaceKeptFile(const std::string& path, const std::string& text);

}  // namespace zv
