#include "protocol/bundle_text.h"

#include <algorithm>

namespace zv {

std::string_view TBundleText::slice(std::size_t offset, std::size_t length, std::string& scratch) const {
    length = offset < size_ ? std::min(length, size_ - offset) : 0;
    scratch.clear();
    std::size_t pieceStart = 0;
    for (const Piece& piece : pieces_) {
        const std::size_t pieceEnd = pieceStart + piece.text.size();
        if (length > 0 && offset < pieceEnd) {
            const std::size_t from = offset - pieceStart;
            const std::size_t n = std::min(length, piece.text.size() - from);
            // Within one piece: no copy.
            if (scratch.empty() && n == length) return piece.text.substr(from, n);
            scratch.append(piece.text.substr(from, n));
            offset += n;
            length -= n;
        }
        pieceStart = pieceEnd;
    }
    return scratch;
}

std::string TBundleText::str() const {
    std::string whole;
    whole.reserve(size_);
    for (const Piece& piece : pieces_) whole.append(piece.text);
    return whole;
}

}  // namespace zv
