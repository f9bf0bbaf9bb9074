#pragma once
// The [Directory] and [Chat.<name>] settings as the directory client and the
// chat poster take them, with what is wrong with them, one sentence each.

#include <string>
#include <vector>

#include "chat/chat_hook.h"
#include "directory/directory_config.h"
#include "host/settings.h"

namespace zv {

// The directory's settings; `problems` (when given) gets what is wrong with
// them: nothing is asked of a directory whose settings have a problem.
TDirectoryConfig directoryConfigOf(const TSettings& settings, std::vector<std::string>* problems = nullptr);

// The webhooks that can be posted to; `problems` (when given) gets one line
// for each one left out and why.
std::vector<TChatHook> chatHooksOf(const TSettings& settings, std::vector<std::string>* problems = nullptr);

// Both: "[Directory] ..." and "[Chat.<name>] ..." lines.
std::vector<std::string> officeSettingProblems(const TSettings& settings);

}  // namespace zv
