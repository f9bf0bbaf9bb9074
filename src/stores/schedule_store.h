#pragma once
// The schedule: absences planned ahead, the accounts' calendars and the
// secrets of the office's calendar feeds and lobby displays, kept in account order
// ("schedule.dat"; see TSCHEDNode for what each kind of record holds).

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

#include "stores/record_store.h"
#include "stores/records.h"

namespace zv {

// The kinds of records and the states of an absence, as the file holds them.
namespace schedule {
inline constexpr std::string_view kAbsence = "Absence";
inline constexpr std::string_view kCalendar = "Calendar";
inline constexpr std::string_view kFeed = "Feed";
inline constexpr std::string_view kDisplay = "Display";

inline constexpr std::string_view kWaiting = "";
inline constexpr std::string_view kApplied = "Applied";
inline constexpr std::string_view kSkipped = "Skipped";
inline constexpr std::string_view kCancelled = "Cancelled";

// Origin of an absence read from a calendar: this prefix and the event's digest.
inline constexpr std::string_view kCalendarOrigin = "calendar:";
}  // namespace schedule

// Owns its records; getNode and records() lend them.
class TSCHEDList : private RecordStore<TSCHEDNode> {
    using Base = RecordStore<TSCHEDNode>;

public:
    using Base::clearList;
    using Base::createNodeFromString;
    using Base::deleteAllByKey;
    using Base::deleteSerials;
    using Base::fileImage;
    using Base::fileName;
    using Base::getCount;
    using Base::getNode;
    using Base::records;
    using Base::removeNode;
    using Base::saveToFile;
    using Base::setFileName;
    using Base::setLoadWarning;

    // A file that ends in an incomplete record is kept as "<file>.damaged"
    // and reported; its complete records are loaded (see
    // RecordStore::loadKeepingDamagedCopy).
    void loadFromFile() { Base::loadKeepingDamagedCopy(); }

    // Inserts in account order, after the account's records; does not save.
    TSCHEDNode& addNode(std::unique_ptr<TSCHEDNode> node) { return insertSorted(std::move(node)); }

    // Called after every save that reached the file (the board's view of
    // the absences follows it).
    void setChangeObserver(std::function<void()> observer) {
        setSaveObserver([observer = std::move(observer)](std::chrono::steady_clock::duration) {
            if (observer) observer();
        });
    }
};

}  // namespace zv
