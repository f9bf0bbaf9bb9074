// Whatever way a save takes to the disk, the file afterwards holds exactly
// what writing the whole list would write: checked after every one of 10,000
// random changes of every kind to the board, the phonebook and the status log.
// Likewise the bundle the board and the phonebook keep between logins, taken
// now and then (so that changes gather between two), is always the one the
// list gives when encoded whole.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_images.h"
#include "stores/file_access.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using test::RecordKind;
using testing::readBytes;
using testing::TempDir;
using testing::wholeFileImage;

// Random changes to one store, each followed by a check of its file.
template <class Store, class Node>
class Changer {
public:
    Changer(const TempDir& dir, const char* fileName, RecordKind kind, unsigned seed)
        : name_(dir.file(fileName)), kind_(kind), rng_(seed) {
        store.setFileName(name_);
    }

    std::size_t below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }
    bool oneIn(std::size_t n) { return below(n) == 0; }

    // A value of a length around the slot's edges, sometimes with a zero
    // byte inside (the file keeps what comes before it).
    std::string value(std::size_t width) {
        static const std::size_t extra[] = {0, 1, 2, 5, 20};
        std::size_t length = below(4) == 0 ? width - 1 + below(3) : below(12);
        if (oneIn(10)) length = width + extra[below(5)];
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + below(26)));
        if (!text.empty() && oneIn(15)) text[below(text.size())] = '\0';
        return text;
    }

    std::unique_ptr<Node> record() {
        auto node = std::make_unique<Node>();
        for (const auto& f : RecordLayout<Node>::kFields) (*node).*(f.member) = value(f.width);
        // Short keys, so that equal keys meet.
        (*node).*(RecordLayout<Node>::kFields[0].member) = "K" + std::to_string(below(40));
        return node;
    }

    // Changes fields of some records where they are, through the store.
    void editInPlace() {
        const int count = store.getCount();
        if (count == 0) return;
        for (std::size_t n = 1 + below(3); n > 0; --n) {
            Node& node = store.getNode(static_cast<int>(below(static_cast<std::size_t>(count))));
            const auto& f = RecordLayout<Node>::kFields[1 + below(RecordLayout<Node>::kFields.size() - 1)];
            node.*(f.member) = value(f.width);
        }
    }

    // Saves and checks the file; counts the saves that kept the file.
    void saveAndCheck(const std::string& what) {
        store.saveToFile();
        check(what);
    }
    void check(const std::string& what) {
        struct stat state {};
        ASSERT_EQ(::stat(name_.c_str(), &state), 0);
        if (state.st_ino == lastInode_) ++keptFile;
        lastInode_ = state.st_ino;
        ASSERT_EQ(readBytes(name_), wholeFileImage(store, kind_))
            << "after change " << changes << ": " << what;
        if constexpr (requires(const Store& s) { s.bundlePieces(); }) {
            if (oneIn(2)) {
                ASSERT_EQ(std::as_const(store).makeBundleFromList(), bundleEncodedWhole())
                    << "after change " << changes << ": " << what;
            }
        }
        ++changes;
    }

    std::string bundleEncodedWhole() const {
        const Store& list = store;
        std::string text = std::to_string(list.getCount()) + "|";
        for (int i = 0; i < list.getCount(); ++i)
            text.append(list.getNode(i).toRecordString()).append(kRecordSeparator);
        return text;
    }

    // One change of a kind every store has; false when it is up to the store.
    bool commonChange() {
        switch (below(10)) {
            case 0:
                store.loadFromFile();
                saveAndCheck("reloaded");
                return true;
            case 1: saveAndCheck("nothing"); return true;
            case 2: {
                // Several saves in one step: made once, at the commit.
                fileio::TDirectorySyncBatch batch;
                for (std::size_t n = 1 + below(3); n > 0; --n) {
                    editInPlace();
                    store.saveToFile();
                }
                batch.commit();
                check("a step");
                return true;
            }
            default:
                if (below(7) < 4) return false;
                editInPlace();
                saveAndCheck("in place");
                return true;
        }
    }

    Store store;
    int changes = 0;
    int keptFile = 0;

private:
    std::string name_;
    RecordKind kind_;
    std::mt19937 rng_;
    ino_t lastInode_ = 0;
};

TEST(InPlaceSave, TenThousandRandomChangesOfEveryKindLeaveEachFileAsAWholeRewriteWouldWriteIt) {
    TempDir dir(true);

    Changer<TWIWOList, TWIWONode> board(dir, "wiwo.dat", RecordKind::Board, 1);
    while (board.changes < 6000 && !::testing::Test::HasFatalFailure()) {
        if (board.commonChange()) continue;
        switch (board.below(7)) {
            case 0:
                if (board.store.getCount() < 60) board.store.addNode(board.record());
                board.saveAndCheck("an account added");
                break;
            case 1:
                board.store.deleteByKey("K" + std::to_string(board.below(40)));
                board.saveAndCheck("accounts deleted");
                break;
            case 2:
                // Saves by itself; the key may be missing.
                board.store.updateByKey("K" + std::to_string(board.below(40)), *board.record());
                board.check("an update by key");
                break;
            case 3:
                if (board.store.getCount() > 0)
                    board.store.getNode(0).Employee = "K" + std::to_string(board.below(40));
                board.saveAndCheck("a key changed in place");
                break;
            case 4:
                if (board.oneIn(20)) board.store.clearList();
                board.saveAndCheck("the list emptied");
                break;
            case 5:
                if (TWIWONode* found = board.store.findByKey("K" + std::to_string(board.below(40))))
                    found->LastContact = board.value(128);
                board.saveAndCheck("a record found and changed");
                break;
            default: {
                // A login: the client's record lent and merged, the bundle
                // taken, the record stamped through what was lent before,
                // saved once; the next bundle must see the stamp.
                TWIWONode* own = board.store.findByKey("K" + std::to_string(board.below(40)));
                if (own) own->Status = board.value(128);
                board.store.bundlePieces();
                if (own) own->LastContact = board.value(128);
                board.saveAndCheck("a record changed after a bundle was taken");
                ASSERT_EQ(board.store.makeBundleFromList(), board.bundleEncodedWhole()) << "the stamp after a bundle";
                break;
            }
        }
    }

    Changer<TPHONEList, TPHONENode> phones(dir, "phonebook.dat", RecordKind::Phone, 2);
    while (phones.changes < 2000 && !::testing::Test::HasFatalFailure()) {
        if (phones.commonChange()) continue;
        if (phones.store.getCount() > 40 || (phones.oneIn(3) && phones.store.getCount() > 0)) {
            phones.store.removeNode(
                &phones.store.getNode(static_cast<int>(phones.below(phones.store.getCount()))));
            phones.saveAndCheck("an entry removed");
        } else if (phones.oneIn(2)) {
            phones.store.addToPhoneListFromString("1|" + phones.record()->toRecordString() + "<~REC~>");
            phones.check("an entry received");
        } else {
            phones.store.addNode(phones.record());
            phones.saveAndCheck("an entry added");
        }
    }

    Changer<TLOGList, TLOGNode> log(dir, "log_stat.dat", RecordKind::Log, 3);
    while (log.changes < 2000 && !::testing::Test::HasFatalFailure()) {
        if (log.commonChange()) continue;
        if (log.oneIn(4)) {
            log.store.setMaxSize(static_cast<int>(log.below(40)));
            log.store.deleteAt(static_cast<int>(log.below(log.store.getCount() + 1)));
            log.saveAndCheck("an entry deleted");
        } else {
            log.store.addNode(log.record());  // saves by itself
            log.check("an entry added");
        }
    }

    // Both ways were taken, often (a file kept: changed in place, or not at
    // all; replaced: written whole).
    for (const auto& [kept, changes] :
         {std::pair{board.keptFile, board.changes}, std::pair{phones.keptFile, phones.changes},
          std::pair{log.keptFile, log.changes}}) {
        EXPECT_GT(kept, changes / 5);
        EXPECT_GT(changes - kept, changes / 20);
    }
}

}  // namespace
}  // namespace zv
