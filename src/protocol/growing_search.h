#pragma once
// A search in a text that only grows (a request arriving in pieces): it
// resumes where the last search found nothing, so that each byte is looked at
// about once however many pieces come, and keeps what it found, since bytes
// appended later cannot change it.

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace zv {

class TGrowingSearch {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // The first occurrence of `what` in `text` at or after `from` (the same
    // `what` and `from` every time; `text` extends the text of the call before).
    std::size_t find(std::string_view text, std::string_view what, std::size_t from = 0) {
        if (pos_ != npos) return pos_;
        pos_ = text.find(what, std::max(from, searched_));
        if (pos_ == npos && text.size() >= what.size())
            searched_ = std::max(searched_, text.size() - what.size() + 1);
        return pos_;
    }
    // Where it was found, or npos.
    std::size_t pos() const { return pos_; }

private:
    std::size_t pos_ = npos;
    std::size_t searched_ = 0;  // nothing starts before this
};

}  // namespace zv
