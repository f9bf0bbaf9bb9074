#include "host/server_parts.h"

#include "host/ini_file.h"
#include "host/settings_keys.h"
#include "net/event_loop.h"
#include "stores/stores.h"

namespace zv {

TServerParts::TServerParts(AdminView& view, SettingsFiles settingsFiles)
    : view(view),
      settingsFiles(std::move(settingsFiles)),
      mainLoop(TEventLoop::forCurrentThread()),
      stores([this](const std::string& text) { this->view.showMessage(MessageKind::Warning, text); },
             [this] { boardShownChanged(); }, [this] { boardShownChanged(); }) {
    stores.setBoardSaveTimeObserver(
        [this](std::chrono::steady_clock::duration took) { metrics.boardSaved(took); });
    stores.statusLog().setAddObserver([this](const std::vector<TLOGNode>& added) { statusObservers.notify(added); });
}

void TServerParts::boardShownChanged() {
    ++boardVersion;
    boardObservers.notify(boardVersion);
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
    auto asRead = std::make_unique<IniFile>();
    const bool known = zv::loadSettings(settings, settingsFiles, view, asRead.get());
    settingsWriter.remember(std::move(asRead), known);
    if (!stores.closed()) stores.statusLog().setMaxSize(settings.logSizeLimit);
}

void TServerParts::saveSettingChanges(const TSettings& before) {
    std::vector<TSettingChange> changes;
    for (const TSettingKey& key : kSettingKeys) {
        if (before.*key.text != settings.*key.text) changes.push_back({key.section, key.key, settings.*key.text});
    }
    chatHookChanges(before.chatHooks, settings.chatHooks, changes);
    for (auto& [key, value] : screenKeys(view.currentPlacement())) {
        if (settingsWriter.lastKnown(kScreenSection, key) != value) {
            changes.push_back({kScreenSection, std::move(key), std::move(value)});
        }
    }
    settingsWriter.write(changes, settings, view);
}

bool TServerParts::saveSettingChangesOrWarn(const TSettings& before) {
    try {
        saveSettingChanges(before);
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
