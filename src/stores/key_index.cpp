#include "stores/key_index.h"

namespace zv {

void TKeyIndex::rebuild(std::vector<std::string> keys) {
    keys_ = std::move(keys);  // the views below point into these strings, which stay put
    first_.clear();
    first_.reserve(keys_.size());
    next_.assign(keys_.size(), kNone);
    // From the end, so that each key's chain runs forward from its first
    // position.
    for (std::size_t i = keys_.size(); i-- > 0;) {
        auto [entry, added] = first_.try_emplace(std::string_view(keys_[i]), i);
        if (!added) {
            next_[i] = entry->second;
            entry->second = i;
        }
    }
    built_ = true;
    ++generation_;
}

}  // namespace zv
