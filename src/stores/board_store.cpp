#include "stores/board_store.h"

#include "stores/date_time.h"
#include "stores/load_warnings.h"

namespace zv {

const char* const kEmployeeFileConversionText =
    "The Employee File needs to be updated for use with Zelvora 2.0.\r"
    "Please run the File Converter (converter.exe) in the Admin directory,\r"
    "then restart Zelvora Admin/Server.";

// A file of another record size is served as whole 1909-byte slices, and the
// first save rewrites it in that form: the converter the warning asks for
// could then no longer read it. So the file as found is kept beside it first.
void TWIWOList::loadFromFile() {
    Base::loadFromFile(
        [this] {
            keepCopyOfFile(kUnconvertedSuffix);
            warn(kEmployeeFileConversionText);
        },
        [this](int err, std::size_t leftOut) {
            warn(unreadableRecordsText(fileName(), err, leftOut, static_cast<std::size_t>(getCount())));
        });
    if (changeObserver_) changeObserver_();
}

void TWIWOList::setChangeObserver(std::function<void()> observer) {
    changeObserver_ = std::move(observer);
    observeSaves();
}

void TWIWOList::setSaveTimeObserver(std::function<void(std::chrono::steady_clock::duration)> observer) {
    saveTimeObserver_ = std::move(observer);
    observeSaves();
}

// A save may be made later than saveToFile() is called (at the end of a
// client's step), so both observers hang on the write itself.
void TWIWOList::observeSaves() {
    setSaveObserver([this](std::chrono::steady_clock::duration took) {
        if (saveTimeObserver_) saveTimeObserver_(took);
        if (changeObserver_) changeObserver_();
    });
}

TWIWONode& TWIWOList::addNode(std::unique_ptr<TWIWONode> node) { return insertSorted(std::move(node)); }

void TWIWOList::deleteByKey(std::string_view key) { deleteAllByKey(key); }

TWIWONode* TWIWOList::findByKey(std::string_view key) { return findFirst(key); }

const TWIWONode* TWIWOList::findByKey(std::string_view key) const { return findFirst(key); }

void TWIWOList::updateByKey(std::string_view key, const TWIWONode& source) {
    if (TWIWONode* target = findFirst(key)) {
        if (target != &source) {
            target->LastName = source.LastName;
            target->FirstName = source.FirstName;
            target->Password = source.Password;
            target->Department = source.Department;
            target->WorkPhone = source.WorkPhone;
            target->Extension = source.Extension;
            target->Status = source.Status;
            target->Returning = source.Returning;
            target->ReachedAt = source.ReachedAt;
            target->Comments = source.Comments;
            target->EMail = source.EMail;
            target->EMailNotify = source.EMailNotify;
            target->HomePhone = source.HomePhone;
            target->CarPhone = source.CarPhone;
            target->Pager = source.Pager;
            target->Other = source.Other;
        }
        target->StatusChanged = datetime::dateTimeText(datetime::now());
        target->LastContact = datetime::dateTimeText(datetime::now());
        if (target != &source) {
            target->EmergName = source.EmergName;
            target->EmergPhone = source.EmergPhone;
            target->EmergRelation = source.EmergRelation;
        }
    }
    saveToFile();
}

}  // namespace zv
