#include "host/server_parts.h"

#include "net/event_loop.h"
#include "stores/stores.h"

namespace zv {

TServerParts::TServerParts(AdminView& view, SettingsFiles settingsFiles)
    : view(view),
      settingsFiles(std::move(settingsFiles)),
      mainLoop(TEventLoop::forCurrentThread()),
      stores([this](const std::string& text) { this->view.showMessage(MessageKind::Warning, text); },
             [this] {
                 ++boardVersion;
                 boardObservers.notify(boardVersion);
             }) {
    stores.setBoardSaveTimeObserver(
        [this](std::chrono::steady_clock::duration took) { metrics.boardSaved(took); });
}

void TServerParts::clearUserTable(int count) { userTable.clearUserTable(count); }

void TServerParts::refreshUserTable(const std::string& name) {
    userTable.refreshUserTable(name, stores.boardAsItIs(), registry);
    view.setStatusPanel(kUsersPanel, userTable.usersPanelText());
    view.userTableChanged();
    userTableObservers.notify();
}

void TServerParts::accountsChanged(int countBefore) {
    if (stores.boardAsItIs().getCount() < countBefore) clearUserTable(countBefore);
    refreshUserTable("");
}

void TServerParts::loadSettings() {
    zv::loadSettings(settings, settingsFiles, view);
    if (!stores.closed()) stores.statusLog().setMaxSize(settings.logSizeLimit);
}

void TServerParts::saveSettings() { zv::saveSettings(settings, settingsFiles, view); }

bool TServerParts::saveSettingsOrWarn() {
    try {
        saveSettings();
        return true;
    } catch (const std::exception& e) {
        view.showMessage(MessageKind::Warning, e.what());
        return false;
    }
}

void TServerParts::setLogSizeLimit(int limit) {
    settings.logSizeLimit = limit;
    if (!stores.closed()) stores.statusLog().setMaxSize(limit);
}

}  // namespace zv
