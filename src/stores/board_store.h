#pragma once
// The employee board: one record per account, kept in key order ("wiwo.dat").

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// The three lines shown when "wiwo.dat" ends in an incomplete record.
extern const char* const kEmployeeFileConversionText;
// Suffix of the copy kept of such a file before anything can rewrite it.
inline constexpr const char* kUnconvertedSuffix = ".unconverted";

// Owns its records; findByKey and getNode lend them.
class TWIWOList : private RecordStore<TWIWONode> {
    using Base = RecordStore<TWIWONode>;

public:
    using Base::clearList;
    using Base::createNodeFromString;
    using Base::fileImage;
    using Base::fileName;
    using Base::getCount;
    using Base::forEachPositionOf;
    using Base::getNode;
    using Base::keyLayoutGeneration;
    using Base::saveToFile;
    using Base::setFileName;

    // Loads in file order; an incomplete last record is reported through the
    // conversion warning and the complete records stay loaded, after the file
    // as found was copied to <file>.unconverted (StoreError when that copy
    // fails). A record that cannot be read is left out, the load goes on after
    // it and a warning says so. A file that cannot be opened, or of which
    // nothing can be read, raises StoreError.
    void loadFromFile();

    // Inserts in key order; does not save.
    TWIWONode& addNode(std::unique_ptr<TWIWONode> node);
    // Deletes every record with this key; does not save.
    void deleteByKey(std::string_view key);
    std::string makeBundleFromList() const { return wholeListBundle(); }
    // The same text in pieces shared with whoever holds them.
    using Base::bundlePieces;

    // First record with this key, or nullptr; lent for change, or only to
    // read.
    TWIWONode* findByKey(std::string_view key);
    const TWIWONode* findByKey(std::string_view key) const;
    // Copies fields 2 to 17 and 20 to 22 of `source` into the first record with
    // this key, stamps StatusChanged and LastContact with the current
    // date-time text, then saves (also when no record has the key).
    void updateByKey(std::string_view key, const TWIWONode& source);

    // Receives the warnings of a load, the conversion message among them;
    // the default writes them to stderr.
    void setConversionWarning(std::function<void(const std::string& text)> warning) {
        setLoadWarning(std::move(warning));
    }
    using Base::setLoadWarning;

    // Called after every save and every load that completed: the one place
    // that sees each change of the board that reached its file, whoever made
    // it (a client's merge or punch, a login's time stamp, the window's
    // dialogs, a browser).
    void setChangeObserver(std::function<void()> observer);
    // Told how long each save took that completed (the server's monitoring).
    void setSaveTimeObserver(std::function<void(std::chrono::steady_clock::duration)> observer);

private:
    void observeSaves();

    std::function<void()> changeObserver_;
    std::function<void(std::chrono::steady_clock::duration)> saveTimeObserver_;
};

}  // namespace zv
