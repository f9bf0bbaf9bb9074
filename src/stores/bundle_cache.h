#pragma once
// A list's bundle text kept between logins. Every login sends the whole
// board, departments and phonebook, while between two logins only a record
// or two changed (the client's own merge and its last-contact stamp). So the
// text is kept, with where each record's string starts in it, and the next
// bundle copies the unchanged runs of it and encodes only the records noted
// as changed. The text handed out is never changed afterwards: sessions send
// from it on their own threads while the list goes on changing.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "stores/record_codec.h"

namespace zv {

template <class Node>
class TBundleCache {
public:
    using NodeList = std::vector<std::unique_ptr<Node>>;

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
    // the record separator. The records noted as changed since the last call,
    // and those at `stillOpen` (lent for change and not yet saved, so they may
    // change again without being noted), are encoded anew; with `stillOpen`
    // null every record is.
    std::shared_ptr<const std::string> text(const NodeList& list, const std::vector<std::size_t>* stillOpen) {
        if (!stillOpen || whole_ || !text_ || starts_.size() != list.size() + 1) {
            rebuild(list);
        } else {
            changed_.insert(changed_.end(), stillOpen->begin(), stillOpen->end());
            if (!changed_.empty()) patch(list);
        }
        // A record still open may change after this without being lent
        // again, also after its save: it is encoded anew next time too.
        whole_ = stillOpen == nullptr;
        changed_.clear();
        if (stillOpen) changed_.assign(stillOpen->begin(), stillOpen->end());
        return text_;
    }

private:
    static constexpr std::size_t kMostNoted = 4096;

    void rebuild(const NodeList& list) {
        auto out = std::make_shared<std::string>();
        std::size_t expected = text_ ? text_->size() + text_->size() / 8 : 0;
        if (expected == 0) {
            expected = 24;
            for (const auto& node : list) expected += recordStringLength(*node) + kRecordSeparator.size();
        }
        out->reserve(expected);
        out->append(std::to_string(list.size())).push_back('|');
        starts_.assign(list.size() + 1, 0);
        for (std::size_t i = 0; i < list.size(); ++i) {
            starts_[i] = out->size();
            appendRecordString(*out, *list[i]);
            out->append(kRecordSeparator);
        }
        starts_[list.size()] = out->size();
        text_ = std::move(out);
    }

    // Copies the runs between the changed records from the last text and
    // encodes the changed ones; the starts of a run move with it.
    void patch(const NodeList& list) {
        std::sort(changed_.begin(), changed_.end());
        changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
        const std::string& old = *text_;
        auto out = std::make_shared<std::string>();
        out->reserve(old.size() + old.size() / 8);
        out->append(old, 0, starts_[0]);  // the count and "|"
        newStarts_.resize(starts_.size());
        std::size_t run = 0;  // first record of the unchanged run
        const auto copyRun = [&](std::size_t end) {
            const std::size_t from = starts_[run], to = out->size();
            out->append(old, from, starts_[end] - from);
            for (std::size_t i = run; i < end; ++i) newStarts_[i] = starts_[i] - from + to;
        };
        for (const std::size_t position : changed_) {
            if (position >= list.size()) continue;
            copyRun(position);
            newStarts_[position] = out->size();
            appendRecordString(*out, *list[position]);
            out->append(kRecordSeparator);
            run = position + 1;
        }
        copyRun(list.size());
        newStarts_[list.size()] = out->size();
        starts_.swap(newStarts_);
        text_ = std::move(out);
    }

    std::shared_ptr<const std::string> text_;  // the last bundle
    std::vector<std::size_t> starts_;           // where each record's string starts in it, then its end
    std::vector<std::size_t> newStarts_;        // patch()'s scratch, kept for its capacity
    std::vector<std::size_t> changed_;          // positions noted since
    bool whole_ = true;                         // everything is to be encoded anew
};

}  // namespace zv
