#pragma once
// A list of callbacks told of one kind of change, each under a token for
// taking it off again. Main thread only; an observer may remove itself (or
// another) while it is told.

#include <functional>
#include <utility>
#include <vector>

namespace zv {

template <class... Args>
class TObservers {
public:
    int add(std::function<void(Args...)> observer) {
        const int token = next_++;
        list_.emplace_back(token, std::move(observer));
        return token;
    }
    void remove(int token) {
        std::erase_if(list_, [token](const auto& entry) { return entry.first == token; });
    }
    void notify(Args... args) const {
        // A copy: an observer may change the list.
        const auto observers = list_;
        for (const auto& [token, observer] : observers) observer(args...);
    }

private:
    int next_ = 1;
    std::vector<std::pair<int, std::function<void(Args...)>>> list_;
};

}  // namespace zv
