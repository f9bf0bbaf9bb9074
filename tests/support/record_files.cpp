#include "record_files.h"

#include <stdexcept>
#include <utility>

#include "temp_dir.h"

namespace zv::test {

namespace {

struct Slot {
    std::size_t offset;
    std::size_t width;
};

const std::vector<Slot>& slots(RecordKind kind) {
    static const std::vector<Slot> board{
        {0, 256},    {256, 64},   {320, 64},   {384, 64},   {448, 64},   {512, 24},
        {536, 16},   {552, 64},   {616, 64},   {680, 64},   {744, 256},  {1000, 128},
        {1128, 5},   {1133, 24},  {1157, 24},  {1181, 128}, {1309, 128}, {1437, 128},
        {1565, 128}, {1693, 128}, {1821, 24},  {1845, 64}};
    static const std::vector<Slot> memo{{0, 256}, {256, 256}, {512, 26},
                                        {538, 26}, {564, 256}, {820, 256}};
    static const std::vector<Slot> message{
        {0, 256},    {256, 256},  {512, 26},   {538, 26},   {564, 256},  {820, 256},  {1076, 26},
        {1102, 256}, {1358, 2},   {1360, 2},   {1362, 2},   {1364, 2},   {1366, 2},   {1368, 256}};
    static const std::vector<Slot> department{{0, 256}};
    static const std::vector<Slot> phone{{0, 256}, {256, 256}, {512, 129}};
    static const std::vector<Slot> log{{0, 256},   {256, 64},  {320, 26},  {346, 26},
                                       {372, 64},  {436, 64},  {500, 64},  {564, 256}};
    static const std::vector<Slot> schedule{
        {0, 256},    {256, 16},  {272, 26},   {298, 26},   {324, 64},   {388, 64},  {452, 256},
        {708, 256},  {964, 128}, {1092, 16},  {1108, 64},  {1172, 512}, {1684, 128}, {1812, 256}};
    switch (kind) {
        case RecordKind::Board: return board;
        case RecordKind::Memo: return memo;
        case RecordKind::Message: return message;
        case RecordKind::Department: return department;
        case RecordKind::Phone: return phone;
        case RecordKind::Log: return log;
        case RecordKind::Schedule: return schedule;
    }
    throw std::logic_error("unknown record kind");
}

}  // namespace

std::size_t recordSize(RecordKind kind) {
    const Slot& last = slots(kind).back();
    return last.offset + last.width;
}

std::size_t fieldCount(RecordKind kind) { return slots(kind).size(); }

const char* dataFileName(RecordKind kind) {
    switch (kind) {
        case RecordKind::Board: return "wiwo.dat";
        case RecordKind::Memo: return "posti.dat";
        case RecordKind::Message: return "wywa.dat";
        case RecordKind::Department: return "department.dat";
        case RecordKind::Phone: return "phonebook.dat";
        case RecordKind::Log: return "log_stat.dat";
        case RecordKind::Schedule: return "schedule.dat";
    }
    return "";
}

std::string encodeRecord(RecordKind kind, const Fields& fields) {
    const auto& layout = slots(kind);
    if (fields.size() > layout.size()) {
        throw std::invalid_argument("a record of this kind has " + std::to_string(layout.size()) +
                                    " fields, " + std::to_string(fields.size()) + " given");
    }
    std::string bytes(recordSize(kind), '\0');
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string value = fields[i].substr(0, layout[i].width);
        bytes.replace(layout[i].offset, value.size(), value);
    }
    return bytes;
}

std::vector<Fields> decodeRecords(RecordKind kind, const std::string& bytes) {
    const std::size_t size = recordSize(kind);
    if (bytes.size() % size != 0) {
        throw std::runtime_error("a file of " + std::to_string(bytes.size()) +
                                 " bytes is not a whole number of " + std::to_string(size) +
                                 "-byte records");
    }
    std::vector<Fields> records;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        Fields fields;
        for (const Slot& slot : slots(kind)) {
            const char* start = bytes.data() + at + slot.offset;
            std::size_t len = 0;
            while (len < slot.width && start[len] != '\0') ++len;
            fields.emplace_back(start, len);
        }
        records.push_back(std::move(fields));
    }
    return records;
}

void writeRecordFile(const std::string& path, RecordKind kind, const std::vector<Fields>& records) {
    std::string bytes;
    for (const auto& r : records) bytes += encodeRecord(kind, r);
    writeFile(path, bytes);
}

std::vector<Fields> readRecordFile(const std::string& path, RecordKind kind) {
    return decodeRecords(kind, readFile(path));
}

Fields boardRecord(const std::string& employee, const std::string& password,
                   const std::string& department, const std::string& status) {
    Fields f(22);
    f[board::Employee] = employee;
    const auto comma = employee.find(',');
    f[board::LastName] = employee.substr(0, comma);
    f[board::FirstName] = comma == std::string::npos ? "" : employee.substr(comma + 1);
    f[board::Password] = password;
    f[board::Department] = department;
    f[board::Status] = status;
    f[board::EMailNotify] = "NO";
    return f;
}

std::string recordString(const Fields& fields) {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) s += "<~FLD~>";
        s += fields[i];
    }
    return s;
}

std::string bundleOf(const std::vector<Fields>& records) {
    std::string s = std::to_string(records.size()) + "|";
    for (const auto& r : records) s += recordString(r) + "<~REC~>";
    return s;
}

}  // namespace zv::test
