#pragma once
// The statuses an employee sets with one tap, kept by the administrator in
// zva.ini [Board] StatusPresets as one text: entries separated by ";", each
// "Name,#rrggbb,away" or "Name,#rrggbb,present". An empty text is the
// defaults. Whether a status counts as away decides the overdue mark: an
// away status whose returning time has passed is overdue.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct TStatusPreset {
    std::string name;    // UTF-8, as the status is shown
    std::string colour;  // "#rrggbb"
    bool away = false;
    bool operator==(const TStatusPreset&) const = default;
};

// In, Out, At lunch, In a meeting, Working from home, On holiday, Sick.
std::vector<TStatusPreset> defaultStatusPresets();

// The presets a setting's text holds (the defaults when it is empty), or
// the reason it cannot be read, naming the entry.
struct TStatusPresetsRead {
    std::vector<TStatusPreset> presets;
    std::string refusal;  // empty when read
};
TStatusPresetsRead readStatusPresets(std::string_view text);

// The text of the setting; presets equal to the defaults give "".
// Presets must have passed statusPresetRefusal.
std::string statusPresetsText(const std::vector<TStatusPreset>& presets);

// Why these presets cannot be kept (a name empty, repeated or holding "," or
// ";", a colour that is not #rrggbb, none at all, more than 24); "" when they
// can.
std::string statusPresetRefusal(const std::vector<TStatusPreset>& presets);

}  // namespace zv
