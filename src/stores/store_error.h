#pragma once
// Errors raised by the record stores.

#include <stdexcept>
#include <string>

namespace zv {

// A data file or debug log could not be opened, read, written or replaced.
// The message names the operation, the file and the system's error text.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const std::string& what) : std::runtime_error(what) {}
};

// An index outside the list, or a record the list does not hold.
class ListIndexError : public std::out_of_range {
public:
    explicit ListIndexError(const std::string& what) : std::out_of_range(what) {}
};

}  // namespace zv
