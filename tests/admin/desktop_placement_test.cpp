// The real zelvora-admin on a real desktop (Xvfb with the openbox window
// manager, started here): the window stands where the settings file says,
// the settings file says where the window stands, and neither a restart nor
// a cancelled option dialog moves it. Offscreen tests cannot see this: there
// no window manager puts a frame around the window after it is shown.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "desktop_session.h"
#include "server_process.h"
#include "temp_dir.h"

namespace zv::admin::test {
namespace {

using zv::test::ServerProcess;

constexpr const char* kMainTitle = "^Zelvora Admin/Server$";

// The [Screen] keys of a settings file as a frame, when Status is 1.
std::optional<TFrame> storedFrame(const std::string& ini) {
    std::map<std::string, int> keys;
    const auto screen = ini.find("[Screen]");
    if (screen == std::string::npos) return std::nullopt;
    for (const char* key : {"Left", "Top", "Width", "Height", "Status"}) {
        const auto at = ini.find(std::string("\n") + key + "=", screen);
        if (at == std::string::npos) return std::nullopt;
        keys[key] = std::stoi(ini.substr(at + std::strlen(key) + 2));
    }
    if (keys["Status"] != 1) return std::nullopt;
    return TFrame{keys["Left"], keys["Top"], keys["Width"], keys["Height"]};
}

std::string iniValue(const std::string& ini, const std::string& key) {
    const auto at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const auto start = at + key.size() + 2;
    return ini.substr(start, ini.find_first_of("\r\n", start) - start);
}

// An old "qtadmin.ini": six slots of a 32-bit length and 256 bytes of text.
std::string legacySettings(int port) {
    const std::string values[6] = {"", std::to_string(port), "8192", "", "1", "100"};
    std::string bytes;
    for (const std::string& value : values) {
        const std::uint32_t length = static_cast<std::uint32_t>(value.size());
        bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
        std::string text = value;
        text.resize(256, '\0');
        bytes += text;
    }
    return bytes;
}

// The main window once the server listens, and its frame once it has settled.
std::string mainWindow(TDesktop& desktop, ServerProcess& server) {
    const auto window = desktop.waitForWindow(server.pid(), kMainTitle);
    if (!window) throw std::runtime_error("the main window did not appear: " + server.stderrText());
    return *window;
}

TEST(WindowOnADesktop, StandsWhereItStoodOverFiveRestartsAndACancelledOptionDialog) {
    if (const std::string missing = TDesktop::missingPrograms(); !missing.empty()) {
        GTEST_SKIP() << "a desktop needs Xvfb, openbox, xdotool and the x11-utils (scripts/deps.sh "
                        "installs them); not found: "
                     << missing;
    }
    TDesktop desktop;
    ServerProcess server(ZV_ADMIN_PATH);

    // First start with only an old settings file (which holds the port): the
    // new zva.ini, written at start-up, holds where the window manager put
    // the window, not 0,0.
    std::remove(server.iniPath().c_str());
    zv::test::writeFile(server.programFolder() + "/qtadmin.ini", legacySettings(server.port()));
    server.start();
    std::string window = mainWindow(desktop, server);
    std::optional<TFrame> frame = desktop.settledFrame(window);
    ASSERT_TRUE(frame) << "the main window has no frame";
    EXPECT_EQ(storedFrame(zv::test::readFile(server.iniPath())), frame) << "the first zva.ini";

    // Five rounds of: move (and in some rounds size) the window, stop with
    // SIGTERM, start again. The settings file records the frame, and the
    // frame comes back exactly where it stood.
    const TFrame moves[5] = {{100, 80, 0, 0}, {400, 200, 600, 350}, {20, 300, 0, 0},
                             {300, 60, 900, 500}, {150, 150, 0, 0}};
    for (int round = 0; round < 5; ++round) {
        const TFrame& to = moves[round];
        desktop.moveWindow(window, to.left, to.top);
        if (to.width > 0) desktop.sizeWindow(window, to.width, to.height);
        const std::optional<TFrame> moved = desktop.settledFrame(window);
        ASSERT_TRUE(moved);
        ASSERT_NE(moved, frame) << "round " << round << ": the window did not move";

        EXPECT_EQ(server.stop(SIGTERM), 0) << "round " << round << ": " << server.stderrText();
        EXPECT_EQ(storedFrame(zv::test::readFile(server.iniPath())), moved)
            << "round " << round << ": the stop recorded another place";

        server.start();
        window = mainWindow(desktop, server);
        frame = desktop.settledFrame(window);
        EXPECT_EQ(frame, moved) << "restart " << round + 1 << " moved the window";
    }

    // Cancel reads the settings back, placement included: the window stays.
    desktop.pressKeys(window, {"alt+o", "s"});
    ASSERT_TRUE(desktop.waitForWindow(server.pid(), "^SMTP Mail Options$")) << "no SMTP dialog";
    desktop.pressKeys(*desktop.waitForWindow(server.pid(), "^SMTP Mail Options$"), {"Escape"});
    ASSERT_TRUE(desktop.waitForNoWindow(server.pid(), "^SMTP Mail Options$"));
    EXPECT_EQ(desktop.settledFrame(window), frame) << "the cancel moved the window";

    // The port dialog opens on its field: the number typed and Enter are
    // saved, with the place where the window stands.
    desktop.pressKeys(window, {"alt+o", "t"});
    const auto portDialog = desktop.waitForWindow(server.pid(), "^TCP/IP Port$");
    ASSERT_TRUE(portDialog) << "no port dialog";
    desktop.typeText("6999");
    desktop.pressKeys(*portDialog, {"Return"});
    ASSERT_TRUE(desktop.waitForNoWindow(server.pid(), "^TCP/IP Port$"));
    const std::string ini = zv::test::readFile(server.iniPath());
    EXPECT_EQ(iniValue(ini, "Port"), "6999");
    EXPECT_EQ(storedFrame(ini), frame);
    EXPECT_EQ(desktop.settledFrame(window), frame);

    EXPECT_EQ(server.stop(SIGINT), 0) << server.stderrText();
    EXPECT_EQ(server.stderrText().find("zelvorad"), std::string::npos)
        << "the window version names itself: " << server.stderrText();
}

}  // namespace
}  // namespace zv::admin::test
