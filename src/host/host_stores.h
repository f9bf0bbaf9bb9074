#pragma once
// The eight stores of the server and their files. They exist, empty, from the
// start, so that nothing ever meets a missing one; start-up names their files
// ("wiwo.dat" ... in the current directory) and loads them, but for the
// accounts of the directory ("directory.dat"), which the directory service
// loads the first time it needs them, so that a server without a directory
// never makes that file. Once the close
// has gone ahead they are emptied for good: the accessors then throw, so that
// a step still queued fails instead of saving an empty store over its file.
// Main thread only; owns the stores.

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stores/record_layout.h"
#include "stores/records.h"

namespace zv {

// The data files of the eight stores (in the data folder) and the size of
// their records, in the order of THostStores::fileImages().
struct TDataFile {
    const char* name;
    std::size_t recordSize;
    // Backups made before the store existed lack its file; a restore of one
    // leaves the file as it is.
    bool optionalInBackup = false;
    // Made only by a server that uses the store: a backup leaves a missing
    // one out instead of taking it as empty.
    bool onlyWhenUsed = false;
};
extern const std::array<TDataFile, 8> kDataFiles;

class TWIWOList;
class TWYWOList;
class TPOSTIList;
class TDEPTList;
class TPHONEList;
class TLOGList;
class TSCHEDList;
class TDIRList;

class THostStores {
public:
    // What a load got over (a file cut short, an old employee file) goes to
    // `warning`; every save and load of the board to `boardChanged`, every
    // save of the schedule to `scheduleChanged`.
    THostStores(std::function<void(const std::string&)> warning, std::function<void()> boardChanged,
                std::function<void()> scheduleChanged = {});
    ~THostStores();
    THostStores(const THostStores&) = delete;
    THostStores& operator=(const THostStores&) = delete;

    void nameFiles();

    // Every store's records as its file holds them after a save, in the order
    // of kDataFiles; nothing for a store in no use (the directory's accounts
    // never loaded). Throws StoreError once closed.
    std::vector<std::optional<std::string>> fileImages() const;

    // Told how long each save of the board took.
    void setBoardSaveTimeObserver(std::function<void(std::chrono::steady_clock::duration)> observer);

    // Throw StoreError once closed.
    TWIWOList& board();
    TPOSTIList& memos();
    TWYWOList& messages();
    TDEPTList& departments();
    TPHONEList& phonebook();
    TLOGList& statusLog();
    TSCHEDList& schedule();
    // The accounts the directory sync made; loaded by loadDirectoryLinks().
    TDIRList& directoryLinks();
    // Loads the directory's accounts from their file (none: empty), once;
    // throws StoreError when the file cannot be read.
    void loadDirectoryLinks();
    bool directoryLinksLoaded() const { return directoryLinksLoaded_; }
    // After a save of them failed: the next loadDirectoryLinks() reads the
    // file again, whatever the store holds now.
    void forgetDirectoryLinks() { directoryLinksLoaded_ = false; }
    // The board even after the close (empty then): for the user table, which
    // shows what is left.
    TWIWOList& boardAsItIs() { return *board_; }

    // The stores are loaded and serve: from now on the saves and reloads
    // below may write and read their files.
    void markLoaded() { loaded_ = true; }
    // Empties every store for good (the close has gone ahead).
    void close();
    bool closed() const { return closed_; }

    // Saves and reloads of the window's maintenance dialogs: refused with
    // StoreError unless the stores were loaded and are not closed (a store
    // that was never loaded, or has been emptied, is never written over its
    // file).
    void saveBoard();
    void saveDepartments();
    void savePhonebook();
    void reloadPhonebook();
    void saveStatusLog();
    void reloadStatusLog();
    void saveSchedule();

private:
    void requireOpen(const char* what) const;
    void requireLoaded(const char* what) const;

    std::unique_ptr<TWIWOList> board_;
    std::unique_ptr<TWYWOList> messages_;
    std::unique_ptr<TPOSTIList> memos_;
    std::unique_ptr<TDEPTList> departments_;
    std::unique_ptr<TPHONEList> phonebook_;
    std::unique_ptr<TLOGList> statusLog_;
    std::unique_ptr<TSCHEDList> schedule_;
    std::unique_ptr<TDIRList> directoryLinks_;
    bool directoryLinksLoaded_ = false;
    bool loaded_ = false;
    bool closed_ = false;
};

}  // namespace zv
