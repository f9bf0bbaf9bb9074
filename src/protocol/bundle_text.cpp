#include "protocol/bundle_text.h"

#include <algorithm>

namespace zv {

void TBundleText::parts(std::size_t offset, std::size_t length, std::vector<std::string_view>& parts) const {
    parts.clear();
    length = offset < size_ ? std::min(length, size_ - offset) : 0;
    if (length == 0) return;
    if (offset < cursorStart_) cursorPiece_ = cursorStart_ = 0;
    while (offset >= cursorStart_ + pieces_[cursorPiece_].text.size()) {
        cursorStart_ += pieces_[cursorPiece_].text.size();
        ++cursorPiece_;
    }
    for (std::size_t at = cursorPiece_, pieceStart = cursorStart_; length > 0;
         pieceStart += pieces_[at++].text.size()) {
        const std::string_view text = pieces_[at].text;
        const std::size_t from = offset - pieceStart;
        const std::size_t n = std::min(length, text.size() - from);
        parts.push_back(text.substr(from, n));
        offset += n;
        length -= n;
    }
}

std::string TBundleText::str() const {
    std::string whole;
    whole.reserve(size_);
    for (const Piece& piece : pieces_) whole.append(piece.text);
    return whole;
}

}  // namespace zv
