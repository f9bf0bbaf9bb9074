#pragma once
// Finds the end of an outgoing bundle ("[*DEPT*]", "[*PHONE*]", "[*WIWO*]",
// "[*POSTI*]", "[*WYWO*]", each with its count and records) while its bytes
// arrive, looking at each byte about once.

#include <cstddef>
#include <string>
#include <string_view>

namespace zv::test {

class BundleScanner {
public:
    // Appends bytes; returns true once the bundle is complete. Throws
    // std::runtime_error when the bytes cannot be a bundle.
    bool feed(std::string_view bytes);
    bool complete() const { return section_ == 5; }
    // Length of the complete bundle (valid once complete()).
    std::size_t end() const { return cursor_; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::size_t cursor_ = 0;  // everything before it is parsed
    int section_ = 0;         // 0..4 the section being parsed, 5 done
    enum class Phase { Tag, Count, Records } phase_ = Phase::Tag;
    long remaining_ = 0;      // records still to find in this section
    std::size_t searchFrom_ = 0;  // no separator starts before this
};

}  // namespace zv::test
