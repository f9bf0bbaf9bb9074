#include "host/settings_writer.h"

#include "host/ini_file.h"
#include "host/settings_keys.h"

namespace zv {

namespace {

bool isSecret(const TSettingChange& change) {
    for (const TSettingKey& key : kSettingKeys) {
        if (key.secret && change.section == key.section && change.key == key.key) return true;
    }
    return false;
}

// The edit made outside that the server's change replaces, in the words of a
// notice.
std::string replacedEditText(const std::string& path, const TSettingChange& change,
                             const std::optional<std::string>& edited) {
    const std::string name = "[" + change.section + "] " + change.key;
    const bool secret = isSecret(change);
    std::string text = "The setting " + name + " was ";
    if (!edited)
        text += "removed from \"" + path + "\"";
    else if (secret)
        text += "changed in \"" + path + "\"";
    else
        text += "changed in \"" + path + "\" to \"" + *edited + "\"";
    text += " while the server ran; the change made in the server";
    if (!secret) text += ", \"" + change.value + "\",";
    return text + " replaces it.";
}

const TChatHookTexts* hookNamed(const std::vector<TChatHookTexts>& hooks, const std::string& name) {
    for (const TChatHookTexts& hook : hooks) {
        if (hook.name == name) return &hook;
    }
    return nullptr;
}

}  // namespace

void chatHookChanges(const std::vector<TChatHookTexts>& before, const std::vector<TChatHookTexts>& after,
                     std::vector<TSettingChange>& changes) {
    for (const TChatHookTexts& hook : after) {
        const TChatHookTexts* was = hookNamed(before, hook.name);
        for (const TChatHookKey& row : kChatHookKeys) {
            const std::string& now = hook.*row.text;
            if (was && was->*row.text == now) continue;
            changes.push_back({kChatSectionPrefix + hook.name, row.key, now, now.empty()});
        }
    }
    for (const TChatHookTexts& hook : before) {
        if (hookNamed(after, hook.name)) continue;
        for (const TChatHookKey& row : kChatHookKeys) {
            changes.push_back({kChatSectionPrefix + hook.name, row.key, {}, true});
        }
    }
}

TSettingsWriter::TSettingsWriter(const SettingsFiles& files)
    : files_(files), known_(std::make_unique<IniFile>()) {}

TSettingsWriter::~TSettingsWriter() = default;

void TSettingsWriter::remember(std::unique_ptr<IniFile> file, bool known) {
    known_ = std::move(file);
    knowsFile_ = known;
}

std::optional<std::string> TSettingsWriter::lastKnown(const std::string& section,
                                                      const std::string& key) const {
    return known_->value(section, key);
}

void TSettingsWriter::write(const std::vector<TSettingChange>& changes, const TSettings& settings,
                            AdminView& view) {
    const std::string& path = files_.settingsPath;
    auto now = std::make_unique<IniFile>();
    if (!now->load(path)) {
        saveSettings(settings, files_, view, now.get());
        remember(std::move(now), true);
        return;
    }
    std::vector<std::string> replacedEdits;
    bool changed = false;
    for (const TSettingChange& change : changes) {
        const std::optional<std::string> current = now->value(change.section, change.key);
        if (change.remove) {
            // Whatever an edit put there goes with the key.
            if (!current) continue;
            now->removeValue(change.section, change.key);
            changed = true;
            continue;
        }
        if (current == change.value) continue;
        if (knowsFile_ && current != known_->value(change.section, change.key)) {
            replacedEdits.push_back(replacedEditText(path, change, current));
        }
        now->setValue(change.section, change.key, change.value);
        changed = true;
    }
    if (changed) now->save(path);
    if (knowsFile_) {
        for (const TSettingChange& change : changes) {
            if (change.remove)
                known_->removeValue(change.section, change.key);
            else
                known_->setValue(change.section, change.key, change.value);
        }
    } else {
        remember(std::move(now), true);  // the file as it is now is all there is to know
    }
    for (const std::string& text : replacedEdits) view.showNotice(MessageKind::Warning, text);
}

}  // namespace zv
