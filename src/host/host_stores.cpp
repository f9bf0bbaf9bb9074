#include "host/host_stores.h"

#include "stores/directory_link_store.h"
#include "stores/record_layout.h"
#include "stores/stores.h"

namespace zv {

THostStores::THostStores(std::function<void(const std::string&)> warning, std::function<void()> boardChanged,
                         std::function<void()> scheduleChanged)
    : board_(std::make_unique<TWIWOList>()),
      messages_(std::make_unique<TWYWOList>()),
      memos_(std::make_unique<TPOSTIList>()),
      departments_(std::make_unique<TDEPTList>()),
      phonebook_(std::make_unique<TPHONEList>()),
      statusLog_(std::make_unique<TLOGList>()),
      schedule_(std::make_unique<TSCHEDList>()),
      directoryLinks_(std::make_unique<TDIRList>()) {
    board_->setLoadWarning(warning);
    messages_->setLoadWarning(warning);
    memos_->setLoadWarning(warning);
    departments_->setLoadWarning(warning);
    phonebook_->setLoadWarning(warning);
    statusLog_->setLoadWarning(warning);
    schedule_->setLoadWarning(warning);
    directoryLinks_->setLoadWarning(warning);
    board_->setChangeObserver(std::move(boardChanged));
    schedule_->setChangeObserver(std::move(scheduleChanged));
}

THostStores::~THostStores() = default;

const std::array<TDataFile, 8> kDataFiles{{
    {"wiwo.dat", RecordLayout<TWIWONode>::kRecordSize},
    {"wywa.dat", RecordLayout<TWYWONode>::kRecordSize},
    {"posti.dat", RecordLayout<TPOSTINode>::kRecordSize},
    {"department.dat", RecordLayout<TDEPTNode>::kRecordSize},
    {"phonebook.dat", RecordLayout<TPHONENode>::kRecordSize},
    {"log_stat.dat", RecordLayout<TLOGNode>::kRecordSize},
    {"schedule.dat", RecordLayout<TSCHEDNode>::kRecordSize, true},
    {kDirectoryLinkFileName, RecordLayout<TDIRNode>::kRecordSize, true, true},
}};

void THostStores::nameFiles() {
    board_->setFileName(kDataFiles[0].name);
    messages_->setFileName(kDataFiles[1].name);
    memos_->setFileName(kDataFiles[2].name);
    departments_->setFileName(kDataFiles[3].name);
    phonebook_->setFileName(kDataFiles[4].name);
    statusLog_->setFileName(kDataFiles[5].name);
    schedule_->setFileName(kDataFiles[6].name);
    directoryLinks_->setFileName(kDataFiles[7].name);
}

std::vector<std::optional<std::string>> THostStores::fileImages() const {
    requireOpen("data");
    return {board_->fileImage(),
            messages_->fileImage(),
            memos_->fileImage(),
            departments_->fileImage(),
            phonebook_->fileImage(),
            statusLog_->fileImage(),
            schedule_->fileImage(),
            directoryLinksLoaded_ ? std::optional(directoryLinks_->fileImage()) : std::nullopt};
}

void THostStores::setBoardSaveTimeObserver(
    std::function<void(std::chrono::steady_clock::duration)> observer) {
    board_->setSaveTimeObserver(std::move(observer));
}

void THostStores::close() {
    closed_ = true;
    board_->clearList();
    messages_->clearList();
    memos_->clearList();
    departments_->clearList();
    phonebook_->clearList();
    statusLog_->clearList();
    schedule_->clearList();
    directoryLinks_->clearList();
}

void THostStores::requireOpen(const char* what) const {
    if (closed_) {
        throw StoreError(std::string("The ") + what + " is no longer available: the server has shut down");
    }
}

void THostStores::requireLoaded(const char* what) const {
    if (!loaded_ || closed_) {
        throw StoreError(std::string("The ") + what +
                         " is not saved: the server is not running with its data loaded");
    }
}

TWIWOList& THostStores::board() {
    requireOpen("employee board");
    return *board_;
}
TPOSTIList& THostStores::memos() {
    requireOpen("memo store");
    return *memos_;
}
TWYWOList& THostStores::messages() {
    requireOpen("message store");
    return *messages_;
}
TDEPTList& THostStores::departments() {
    requireOpen("department list");
    return *departments_;
}
TPHONEList& THostStores::phonebook() {
    requireOpen("phonebook");
    return *phonebook_;
}
TLOGList& THostStores::statusLog() {
    requireOpen("status change log");
    return *statusLog_;
}
TSCHEDList& THostStores::schedule() {
    requireOpen("schedule");
    return *schedule_;
}
TDIRList& THostStores::directoryLinks() {
    requireOpen("list of the directory's accounts");
    return *directoryLinks_;
}
void THostStores::loadDirectoryLinks() {
    requireOpen("list of the directory's accounts");
    if (directoryLinksLoaded_) return;
    if (!loaded_) {
        throw StoreError(
            "The list of the directory's accounts is not read: the server is not running with its data "
            "loaded");
    }
    directoryLinks_->loadFromFile();
    directoryLinksLoaded_ = true;
}

void THostStores::saveBoard() {
    requireLoaded("employee board");
    board_->saveToFile();
}
void THostStores::saveDepartments() {
    requireLoaded("department list");
    departments_->saveToFile();
}
void THostStores::savePhonebook() {
    requireLoaded("phonebook");
    phonebook_->saveToFile();
}
void THostStores::reloadPhonebook() {
    requireLoaded("phonebook");
    phonebook_->loadFromFile();
}
void THostStores::saveStatusLog() {
    requireLoaded("status change log");
    statusLog_->saveToFile();
}
void THostStores::reloadStatusLog() {
    requireLoaded("status change log");
    statusLog_->loadFromFile();
}
void THostStores::saveSchedule() {
    requireLoaded("schedule");
    schedule_->saveToFile();
}

}  // namespace zv
