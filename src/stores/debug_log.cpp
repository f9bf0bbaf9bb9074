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
    fileio::appendToFile(fileName, line);
}

}  // namespace zv
