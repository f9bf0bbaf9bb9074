#include "host/status_presets.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(StatusPresets, TheSettingsTextReadsBackAsWrittenAndABrokenOneIsRefusedNamingTheEntry) {
    // Empty: the defaults, which are written back as empty.
    const TStatusPresetsRead none = readStatusPresets("  ");
    ASSERT_TRUE(none.refusal.empty());
    ASSERT_EQ(none.presets.size(), 7u);
    EXPECT_EQ(none.presets[2], (TStatusPreset{"At lunch", "#ef6c00", true}));
    EXPECT_FALSE(none.presets[4].away);  // working from home is reachable
    EXPECT_EQ(statusPresetsText(none.presets), "");

    const std::vector<TStatusPreset> own{{"In", "#2e7d32", false}, {"Bei Kunden", "#AA00bb", true}};
    const std::string text = statusPresetsText(own);
    EXPECT_EQ(text, "In,#2e7d32,present;Bei Kunden,#AA00bb,away");
    EXPECT_EQ(readStatusPresets(" In , #2e7d32 , present ; Bei Kunden,#AA00bb,away ;").presets, own);

    const TStatusPresetsRead broken = readStatusPresets("In,#2e7d32,present;Out,red,away");
    EXPECT_TRUE(broken.presets.empty());
    EXPECT_NE(broken.refusal.find("\"Out\""), std::string::npos) << broken.refusal;
    EXPECT_NE(readStatusPresets("In,#2e7d32").refusal.find("\"In,#2e7d32\""), std::string::npos);
    EXPECT_NE(statusPresetRefusal({{"In", "#2e7d32", false}, {"In", "#2e7d32", true}}).find("twice"),
              std::string::npos);
    EXPECT_NE(statusPresetRefusal({{"Out; gone", "#2e7d32", true}}), "");
    EXPECT_NE(statusPresetRefusal({}), "");
}

}  // namespace
}  // namespace zv
