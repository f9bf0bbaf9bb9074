// The windowless view: one line per message, Yes to the shutdown question.

#include <gtest/gtest.h>

#include <sstream>

#include "host/headless_view.h"

namespace zv {
namespace {

TEST(HeadlessView, WritesEachMessageAsOneLineAndAnswersWithoutAsking) {
    std::ostringstream out;
    int closes = 0;
    HeadlessView view(out, [&] { ++closes; });

    EXPECT_EQ(view.showMessage(MessageKind::Warning, "first line\rsecond line\rthird"),
              MessageAnswer::Ok);
    EXPECT_EQ(view.showMessage(MessageKind::Question, "Really?"), MessageAnswer::No);
    view.setStatusPanel(kUsersPanel, "Users: 3");  // changes too often to print
    view.setStatusPanel(kPortPanel, "Port: 6480");
    view.showNotice(MessageKind::Warning, "full\rnext");  // a notice is the same line, and asks nothing
    EXPECT_EQ(out.str(),
              "zelvorad: warning: first line second line third\n"
              "zelvorad: question: Really?\n"
              "zelvorad: Port: 6480\n"
              "zelvorad: warning: full next\n");

    EXPECT_TRUE(view.confirmShutdown());
    view.requestClose();
    EXPECT_EQ(closes, 1);

    view.applyPlacement(WindowState::Minimized, WindowRect{1, 2, 3, 4});
    EXPECT_EQ(view.currentPlacement().state, WindowState::Minimized);
    EXPECT_EQ(view.currentPlacement().rect, (WindowRect{1, 2, 3, 4}));
}

}  // namespace
}  // namespace zv
