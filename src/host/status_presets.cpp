#include "host/status_presets.h"

#include <algorithm>
#include <cctype>

namespace zv {

namespace {

constexpr std::size_t kMostPresets = 24;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(trimmed(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool isColour(std::string_view text) {
    return text.size() == 7 && text[0] == '#' && std::all_of(text.begin() + 1, text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c));
           });
}

}  // namespace

std::vector<TStatusPreset> defaultStatusPresets() {
    return {
        {"In", "#2e7d32", false},
        {"Out", "#c62828", true},
        {"At lunch", "#ef6c00", true},
        {"In a meeting", "#6a1b9a", true},
        {"Working from home", "#1565c0", false},
        {"On holiday", "#00838f", true},
        {"Sick", "#ad1457", true},
    };
}

std::string statusPresetRefusal(const std::vector<TStatusPreset>& presets) {
    if (presets.empty()) return "At least one status is needed.";
    if (presets.size() > kMostPresets)
        return "At most " + std::to_string(kMostPresets) + " statuses can be kept.";
    for (std::size_t i = 0; i < presets.size(); ++i) {
        const TStatusPreset& p = presets[i];
        const std::string which = "Status " + std::to_string(i + 1);
        if (trimmed(p.name).empty()) return which + " has no name.";
        if (trimmed(p.name) != p.name) return which + " (\"" + p.name + "\") begins or ends with a blank.";
        if (p.name.find_first_of(",;") != std::string::npos) {
            return which + " (\"" + p.name + "\") holds \",\" or \";\", which the setting cannot keep.";
        }
        if (!isColour(p.colour)) {
            return which + " (\"" + p.name + "\") has the colour \"" + p.colour + "\", not one like #2e7d32.";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (presets[j].name == p.name) return "The status \"" + p.name + "\" is there twice.";
        }
    }
    return {};
}

TStatusPresetsRead readStatusPresets(std::string_view text) {
    TStatusPresetsRead read;
    if (trimmed(text).empty()) {
        read.presets = defaultStatusPresets();
        return read;
    }
    for (const std::string_view entry : split(text, ';')) {
        if (entry.empty()) continue;
        const std::vector<std::string_view> fields = split(entry, ',');
        if (fields.size() != 3 || (fields[2] != "away" && fields[2] != "present")) {
            read.refusal =
                "The entry \"" + std::string(entry) + "\" is not Name,#rrggbb,away or Name,#rrggbb,present.";
            return read;
        }
        read.presets.push_back({std::string(fields[0]), std::string(fields[1]), fields[2] == "away"});
    }
    read.refusal = statusPresetRefusal(read.presets);
    if (!read.refusal.empty()) read.presets.clear();
    return read;
}

std::string statusPresetsText(const std::vector<TStatusPreset>& presets) {
    if (presets == defaultStatusPresets()) return {};
    std::string text;
    for (const TStatusPreset& p : presets) {
        if (!text.empty()) text += ';';
        text += p.name + ',' + p.colour + ',' + (p.away ? "away" : "present");
    }
    return text;
}

}  // namespace zv
