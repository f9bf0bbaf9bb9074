#pragma once
// Data files written and read byte by byte from the record layouts, with the
// slot offsets and widths written out here as literals, so that the tests
// check the stores' files against the format rather than against the stores'
// own tables.

#include <cstddef>
#include <string>
#include <vector>

namespace zv::test {

enum class RecordKind { Board, Memo, Message, Department, Phone, Log, Schedule };

using Fields = std::vector<std::string>;

std::size_t recordSize(RecordKind kind);
std::size_t fieldCount(RecordKind kind);
// "wiwo.dat", "posti.dat", "wywa.dat", "department.dat", "phonebook.dat", "log_stat.dat",
// "schedule.dat".
const char* dataFileName(RecordKind kind);

// One record: each value cut to its slot, followed by a zero byte when it is
// shorter; every other byte zero. `fields` may be shorter than the record
// (missing fields are empty).
std::string encodeRecord(RecordKind kind, const Fields& fields);
// The records of a whole file; throws std::runtime_error when its size is not
// a whole number of records.
std::vector<Fields> decodeRecords(RecordKind kind, const std::string& bytes);

void writeRecordFile(const std::string& path, RecordKind kind, const std::vector<Fields>& records);
std::vector<Fields> readRecordFile(const std::string& path, RecordKind kind);

// A board record with the given key, password, department and status; the
// last and first names come from the key ("Last,First"); every other field empty.
Fields boardRecord(const std::string& employee, const std::string& password,
                   const std::string& department = "Sales", const std::string& status = "Out");

// Field indexes (0-based) used by the tests.
namespace board {
inline constexpr int Employee = 0, LastName = 1, FirstName = 2, Password = 3, Department = 4,
                     Status = 7, Returning = 8, ReachedAt = 9, Comments = 10, EMail = 11,
                     EMailNotify = 12, StatusChanged = 17, LastContact = 18;
}

namespace schedule {
inline constexpr int Employee = 0, Kind = 1, From = 2, Until = 3, Status = 4, ReachedAt = 5, Comments = 6,
                     PlannedBy = 7, Origin = 8, State = 9, Department = 10, Address = 11, Secret = 12,
                     Note = 13;
}

// Record strings and bundles as they travel on the wire.
std::string recordString(const Fields& fields);
std::string bundleOf(const std::vector<Fields>& records);

}  // namespace zv::test
