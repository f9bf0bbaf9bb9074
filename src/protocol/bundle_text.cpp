#include "protocol/bundle_text.h"

#include <algorithm>

namespace zv {

std::string_view TBundleText::slice(std::size_t offset, std::size_t length, std::string& scratch) const {
    length = offset < size_ ? std::min(length, size_ - offset) : 0;
    scratch.clear();
    if (length == 0) return {};
    if (offset < cursorStart_) cursorPiece_ = cursorStart_ = 0;
    while (offset >= cursorStart_ + pieces_[cursorPiece_].text.size()) {
        cursorStart_ += pieces_[cursorPiece_].text.size();
        ++cursorPiece_;
    }
    std::size_t at = cursorPiece_, pieceStart = cursorStart_;
    for (;;) {
        const std::string_view text = pieces_[at].text;
        const std::size_t from = offset - pieceStart;
        const std::size_t n = std::min(length, text.size() - from);
        // Within one piece: no copy.
        if (scratch.empty() && n == length) return text.substr(from, n);
        scratch.append(text.substr(from, n));
        offset += n;
        length -= n;
        if (length == 0) return scratch;
        pieceStart += text.size();
        ++at;
    }
}

std::string TBundleText::str() const {
    std::string whole;
    whole.reserve(size_);
    for (const Piece& piece : pieces_) whole.append(piece.text);
    return whole;
}

}  // namespace zv
