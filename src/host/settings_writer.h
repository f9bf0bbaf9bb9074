#pragma once
// TSettingsWriter: how the running server writes the settings it changed
// itself (an option set in the window or a browser, the administrator's
// password, the day of the end-of-day punch-out, the window's placement):
// only those keys, into the settings file as it is on disk at that moment,
// so that every other key and comment stays as it is, in its order. A key
// edited by hand while the server runs is never lost unless the server
// changes that key too; then the server's value is written and the edit is
// reported, once. To tell an edit, the writer remembers the file as the
// server last read or wrote it.
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/admin_view.h"
#include "host/settings.h"

namespace zv {

class IniFile;

// One key the server changed, and its new text; or, with `remove`, a key
// the server took away (its section goes with its last key).
struct TSettingChange {
    std::string section;
    std::string key;
    std::string value;
    bool remove = false;
};

// The changes that make the [Chat.<name>] sections of `before` those of
// `after`: a key set for each text that changed, a key removed for each that
// became empty, and every key of a webhook that went (its section with them).
void chatHookChanges(const std::vector<TChatHookTexts>& before, const std::vector<TChatHookTexts>& after,
                     std::vector<TSettingChange>& changes);

class TSettingsWriter {
public:
    explicit TSettingsWriter(const SettingsFiles& files);
    ~TSettingsWriter();
    TSettingsWriter(const TSettingsWriter&) = delete;
    TSettingsWriter& operator=(const TSettingsWriter&) = delete;

    // The file as a load or a reload read it (or a first start wrote it).
    // `known` is false when the file could not be read: nothing is known of
    // it, and no edit can be told.
    void remember(std::unique_ptr<IniFile> file, bool known);

    // The text the file held for the key when the server last read or wrote
    // it; nothing when the key was not there.
    std::optional<std::string> lastKnown(const std::string& section, const std::string& key) const;

    // Writes `changes` into the file as it is now, keeping everything else;
    // a change the file holds already writes nothing, and when nothing is
    // left the file is not touched. A file that is not there is written
    // whole from `settings`, as a first start writes it. Edits made outside
    // to the keys changed here are reported through `view`. Throws
    // SettingsError, the file left as it was.
    void write(const std::vector<TSettingChange>& changes, const TSettings& settings, AdminView& view);

private:
    const SettingsFiles& files_;
    std::unique_ptr<IniFile> known_;
    bool knowsFile_ = false;
};

}  // namespace zv
