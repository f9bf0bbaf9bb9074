// The memo expiration option takes only a whole number of days: any other
// text is reported and the setting stays as it was, in memory and on disk.
#include <QLineEdit>
#include <QPushButton>

#include "admin/dlg_options_exp_days.h"
#include "host/server_host.h"
#include "protocol/server_context.h"
#include "window_test_support.h"

namespace zv::admin::test {
namespace {

using ExpDaysOptionTest = WindowTest;

TEST_F(ExpDaysOptionTest, TextThatIsNotAWholeNumberIsReportedAndLeavesTheSettingAsItWas) {
    startServer({"Baker,Ann"});
    for (const char* text : {"two weeks", "", "3.5", "99999999999"}) {
        prompts_.shown.clear();
        whenModal<TdlgOptionsExpDays>([text](TdlgOptionsExpDays& dialog) {
            dialog.edit()->setText(text);
            dialog.okButton()->click();
        });
        form().menuAction("actMemoExpiration")->trigger();
        EXPECT_EQ(host().sessionContext().expDaysText(), "1") << text;
        EXPECT_EQ(iniValue(iniText(), "ExpDays"), "1") << text;
        ASSERT_EQ(prompts_.shown.size(), 1u) << text;
        EXPECT_NE(prompts_.shown[0].second.find(std::string("\"") + text + "\""), std::string::npos)
            << prompts_.shown[0].second;
    }

    // A number is taken as before.
    prompts_.shown.clear();
    whenModal<TdlgOptionsExpDays>([](TdlgOptionsExpDays& dialog) {
        dialog.edit()->setText("7");
        dialog.okButton()->click();
    });
    form().menuAction("actMemoExpiration")->trigger();
    EXPECT_EQ(host().sessionContext().expDaysText(), "7");
    EXPECT_EQ(iniValue(iniText(), "ExpDays"), "7");
    EXPECT_TRUE(prompts_.shown.empty());
}

}  // namespace
}  // namespace zv::admin::test
