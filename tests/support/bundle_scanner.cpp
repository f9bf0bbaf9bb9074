#include "bundle_scanner.h"

#include <algorithm>
#include <stdexcept>

namespace zv::test {

namespace {
const std::string_view kTags[5] = {"[*DEPT*]", "[*PHONE*]", "[*WIWO*]", "[*POSTI*]", "[*WYWO*]"};
constexpr std::string_view kRec = "<~REC~>";
}  // namespace

bool BundleScanner::feed(std::string_view bytes) {
    text_.append(bytes);
    while (section_ < 5) {
        const std::string_view text(text_);
        if (phase_ == Phase::Tag) {
            const std::string_view tag = kTags[section_];
            if (text.size() < cursor_ + tag.size()) return false;
            if (text.substr(cursor_, tag.size()) != tag) {
                throw std::runtime_error("bundle section " + std::string(tag) + " not where expected");
            }
            cursor_ += tag.size();
            phase_ = Phase::Count;
        } else if (phase_ == Phase::Count) {
            const auto bar = text.find('|', cursor_);
            if (bar == std::string_view::npos) return false;
            long count = 0;
            for (std::size_t i = cursor_; i < bar; ++i) {
                if (text[i] < '0' || text[i] > '9') throw std::runtime_error("bad bundle count");
                count = count * 10 + (text[i] - '0');
            }
            remaining_ = count;
            cursor_ = bar + 1;
            phase_ = Phase::Records;
        } else {
            while (remaining_ > 0) {
                const auto sep = text.find(kRec, std::max(cursor_, searchFrom_));
                if (sep == std::string_view::npos) {
                    // Resume the search where a separator could still start.
                    if (text.size() >= kRec.size()) searchFrom_ = text.size() - kRec.size() + 1;
                    return false;
                }
                cursor_ = sep + kRec.size();
                --remaining_;
            }
            ++section_;
            phase_ = Phase::Tag;
        }
    }
    return true;
}

}  // namespace zv::test
