// The maintenance API's operations on the office's systems: the directory
// (sign-in, test, sync, the accounts that left) and the team chat (a test
// post, news from the parts that know it). The work is the services'; here
// they are lent to the front ends.

#include "host/chat_service.h"
#include "host/directory_service.h"
#include "host/maintenance_api.h"
#include "host/office_settings.h"
#include "host/server_parts.h"

namespace zv {

void TMaintenanceApi::checkDirectoryPassword(const std::string& name, const std::string& password,
                                             std::function<void(const TDirectoryCheck&)> done) {
    parts_.directory->checkPassword(name, password, std::move(done));
}

void TMaintenanceApi::testDirectory(const std::string& name,
                                    std::function<void(const TDirectoryLookup&)> done) {
    parts_.directory->lookUp(name, std::move(done));
}

void TMaintenanceApi::syncDirectoryNow(const std::string& who,
                                       std::function<void(const TDirectorySyncReport&)> done) {
    parts_.directory->syncNow(who, std::move(done));
}

std::vector<TDirectoryLeaver> TMaintenanceApi::directoryLeavers() { return parts_.directory->leavers(); }

TDirectorySyncReport TMaintenanceApi::lastDirectorySync() const { return parts_.directory->lastSync(); }

std::vector<std::string> TMaintenanceApi::officeSettingProblems() const {
    return zv::officeSettingProblems(parts_.settings);
}

void TMaintenanceApi::sendChatTest(const std::string& who, const std::string& hook,
                                   std::function<void(const std::string&)> done) {
    parts_.chat->sendTest(who, hook, std::move(done));
}

void TMaintenanceApi::chatNews(const TChatEvent& event) { parts_.chat->news(event); }

}  // namespace zv
