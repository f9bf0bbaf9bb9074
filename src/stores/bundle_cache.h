#pragma once
// A list's bundle text kept between logins. Every login sends the whole
// board, departments and phonebook, while between two logins only a record
// or two changed (the client's own merge and its last-contact stamp). So the
// text is kept in pieces of a few dozen records each, and the next bundle
// encodes only the pieces that hold a record noted as changed; the others are
// shared with the bundles before. A piece handed out never changes: sessions
// send from it on their own threads while the list goes on changing, and a
// login copies neither the board's text nor more than one piece of it.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "stores/record_codec.h"

namespace zv {

// A text in pieces, to be read one after the other.
using TTextPieces = std::vector<std::shared_ptr<const std::string>>;

template <class Node>
class TBundleCache {
public:
    using NodeList = std::vector<std::unique_ptr<Node>>;
    static constexpr std::size_t kRecordsPerPiece = 64;

    // The record at `position` may change before the next bundle.
    void noteChanged(std::size_t position) {
        if (whole_) return;
        // Past a few thousand, encoding them all is as cheap as sorting them.
        if (changed_.size() >= kMostNoted) return noteAllChanged();
        changed_.push_back(position);
    }
    // Records were inserted, deleted, moved, or all of them may change.
    void noteAllChanged() {
        whole_ = true;
        changed_.clear();
    }

    // The bundle of `list`: count, "|", then each record string followed by
    // the record separator. The pieces holding a record noted as changed
    // since the last call, or one at `stillOpen` (lent for change and not
    // yet saved, so it may change again without being noted), are encoded
    // anew; with `stillOpen` null every piece is.
    TTextPieces text(const NodeList& list, const std::vector<std::size_t>* stillOpen) {
        if (!stillOpen || whole_ || count_ != list.size() || pieces_.empty()) {
            rebuild(list);
        } else {
            changed_.insert(changed_.end(), stillOpen->begin(), stillOpen->end());
            for (std::size_t& position : changed_) position /= kRecordsPerPiece;
            std::sort(changed_.begin(), changed_.end());
            changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
            for (const std::size_t piece : changed_)
                if (piece * kRecordsPerPiece < list.size()) pieces_[1 + piece] = encodePiece(list, piece);
        }
        // A record still open may change after this without being lent
        // again, also after its save: it is encoded anew next time too.
        whole_ = stillOpen == nullptr;
        changed_.clear();
        if (stillOpen) changed_.assign(stillOpen->begin(), stillOpen->end());
        return pieces_;
    }

private:
    static constexpr std::size_t kMostNoted = 4096;

    void rebuild(const NodeList& list) {
        count_ = list.size();
        pieces_.clear();
        pieces_.push_back(std::make_shared<const std::string>(std::to_string(list.size()) + "|"));
        for (std::size_t piece = 0; piece * kRecordsPerPiece < list.size(); ++piece)
            pieces_.push_back(encodePiece(list, piece));
    }

    static std::shared_ptr<const std::string> encodePiece(const NodeList& list, std::size_t piece) {
        const std::size_t first = piece * kRecordsPerPiece;
        const std::size_t end = std::min(list.size(), first + kRecordsPerPiece);
        std::size_t length = 0;
        for (std::size_t i = first; i < end; ++i) length += recordStringLength(*list[i]) + kRecordSeparator.size();
        std::string text;
        text.reserve(length);
        for (std::size_t i = first; i < end; ++i) {
            appendRecordString(text, *list[i]);
            text.append(kRecordSeparator);
        }
        return std::make_shared<const std::string>(std::move(text));
    }

    TTextPieces pieces_;                 // the count and "|", then the records' pieces
    std::size_t count_ = 0;              // records when the pieces were made
    std::vector<std::size_t> changed_;   // positions noted since
    bool whole_ = true;                  // everything is to be encoded anew
};

}  // namespace zv
