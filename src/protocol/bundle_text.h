#pragma once
// A bundle as the pieces it is sent from. The board's, the departments' and
// the phonebook's pieces are shared with their stores (and with every session
// sending them at the time) instead of copied into each session's bundle; the
// tags are constants; the memos and messages are the session's own.

#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <vector>

#include "stores/bundle_cache.h"

namespace zv {

class TBundleText {
public:
    // A constant that outlives the bundle (a tag).
    void appendConstant(std::string_view text) { add({nullptr, text}); }
    void append(std::shared_ptr<const std::string> text) {
        const std::string_view view = *text;
        add({std::move(text), view});
    }
    void append(std::string text) { append(std::make_shared<const std::string>(std::move(text))); }
    void append(const TTextPieces& pieces) {
        for (const auto& piece : pieces) append(piece);
    }

    std::size_t size() const { return size_; }

    // The `length` bytes from `offset` (fewer at the end), as views into the
    // pieces they lie in, in order, into `parts` (emptied first): they go out
    // in one gathered send, never copied here. Quickest when read from the
    // start to the end.
    void parts(std::size_t offset, std::size_t length, std::vector<std::string_view>& parts) const;

    // The whole bundle in one string.
    std::string str() const;

private:
    struct Piece {
        std::shared_ptr<const std::string> owner;  // none for a constant
        std::string_view text;
    };
    void add(Piece piece) {
        if (piece.text.empty()) return;
        size_ += piece.text.size();
        pieces_.push_back(std::move(piece));
    }

    std::vector<Piece> pieces_;
    std::size_t size_ = 0;
    // Where the last slice began: the piece and the offset of its start.
    mutable std::size_t cursorPiece_ = 0;
    mutable std::size_t cursorStart_ = 0;
};

}  // namespace zv
