#pragma once
// Where each key lies in a store's list, so that finding a record by its key
// costs no pass over the list: at 20,000 accounts a pass is most of what a
// client's exchange costs beyond its bundle.
//
// The store drops the index when its list changes shape (records inserted,
// deleted or moved) and tells it which positions it lent out for change,
// since a lent record's key may be changed in place. Before the index is
// used again, the keys at those positions are compared with the keys it was
// built from, and a difference rebuilds it. Its generation counts the
// rebuilds: while it stays the same, every position holds the key it held.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

class TKeyIndex {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The list changed shape: rebuild at the next use.
    void invalidate() {
        built_ = false;
        lent_.clear();
    }
    // The record at `position` was lent for change; its key may change.
    void noteLent(std::size_t position) {
        if (!built_) return;
        if (lent_.size() >= keys_.size()) return invalidate();  // cheaper to rebuild than to compare
        lent_.push_back(position);
    }

    // Makes the index match a list of `count` records whose keys `keyAt`
    // gives (a function of the position returning a string_view).
    template <class KeyAt>
    void refresh(std::size_t count, KeyAt keyAt) {
        if (built_ && count != keys_.size()) built_ = false;
        for (std::size_t position : lent_) {
            if (!built_) break;
            built_ = position < count && keyAt(position) == std::string_view(keys_[position]);
        }
        lent_.clear();
        if (built_) return;
        std::vector<std::string> keys;
        keys.reserve(count);
        for (std::size_t i = 0; i < count; ++i) keys.emplace_back(keyAt(i));
        rebuild(std::move(keys));
    }

    // The first position of `key`, or kNone; then the next position of the
    // same key after `position`, or kNone. Valid after refresh().
    std::size_t first(std::string_view key) const {
        const auto found = first_.find(key);
        return found == first_.end() ? kNone : found->second;
    }
    std::size_t next(std::size_t position) const { return next_[position]; }

    std::uint64_t generation() const { return generation_; }

private:
    void rebuild(std::vector<std::string> keys);

    bool built_ = false;
    std::vector<std::string> keys_;                            // as built, by position
    std::unordered_map<std::string_view, std::size_t> first_;  // views into keys_
    std::vector<std::size_t> next_;                            // same key, further on
    std::vector<std::size_t> lent_;                            // since the last refresh
    std::uint64_t generation_ = 0;
};

}  // namespace zv
