#include "stores/debug_log.h"

#include "stores/date_time.h"
#include "stores/file_access.h"

namespace zv {

void appendDebugLine(const std::string& fileName, std::string_view eventText) {
    const std::time_t t = datetime::now();
    std::string line(eventText);
    line.append(datetime::shortDateText(t));
    line.push_back(' ');
    line.append(datetime::longTimeText(t));
    line.append("\r\n");
    const auto size = fileio::fileSize(fileName);
    if (size && *size + line.size() > kMaxDebugLogBytes)
        fileio::renameFile(fileName, fileName + std::string(kOlderDebugLogSuffix));
    fileio::appendToFile(fileName, line);
}

}  // namespace zv
