// A desktop of its own for a test: an X server (Xvfb) on a display that was
// free and the openbox window manager, both started here and ended with the
// object, and the X tools the tests look at and move windows with (xdotool,
// xwininfo, xprop). While it lives, DISPLAY names it and QT_QPA_PLATFORM is
// xcb, so the programs a test starts show their windows there.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace zv::admin::test {

// A window's outer frame, as a person sees it, in screen pixels.
struct TFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TFrame&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TFrame& frame);

class TDesktop {
public:
    // The programs a desktop needs that are not on the PATH, joined by ", ";
    // empty when all are there.
    static std::string missingPrograms();

    // Starts Xvfb and openbox; throws std::runtime_error when either fails.
    TDesktop();
    ~TDesktop();
    TDesktop(const TDesktop&) = delete;
    TDesktop& operator=(const TDesktop&) = delete;

    const std::string& display() const { return display_; }

    // The id of the top-level window of process `pid` whose title matches
    // the pattern (a POSIX extended expression), once it is shown; nothing
    // when none appears within the limit.
    std::optional<std::string> waitForWindow(pid_t pid, const std::string& titlePattern,
                                             std::chrono::milliseconds limit = std::chrono::seconds(10));
    // True once no window of `pid` has a title matching the pattern.
    bool waitForNoWindow(pid_t pid, const std::string& titlePattern,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));

    // The window's frame as the X server and the window manager have it
    // (the inner area's place and size and the frame's widths); nothing
    // while the window is not on the screen or not decorated yet.
    std::optional<TFrame> frameOf(const std::string& window);
    // The frame once it has stopped changing (two readings 100 ms apart
    // agree); nothing when it does not settle within the limit.
    std::optional<TFrame> settledFrame(const std::string& window,
                                       std::chrono::milliseconds limit = std::chrono::seconds(10));

    // Moves the window as a person drags it, and sizes its inner area.
    void moveWindow(const std::string& window, int x, int y);
    void sizeWindow(const std::string& window, int width, int height);
    // Gives the window the keyboard, then presses keys as xdotool names
    // them ("alt+o", "Escape") or types text.
    void pressKeys(const std::string& window, const std::vector<std::string>& keys);
    void typeText(const std::string& text);

private:
    // Runs an X tool on this desktop; its standard output. `status` gets the
    // exit status.
    std::string runTool(const std::vector<std::string>& argv, int* status = nullptr);
    void stopProcess(pid_t& pid);

    zv::test::TempDir home_;
    std::string display_;
    std::string previousDisplay_;
    std::string previousPlatform_;
    pid_t xserver_ = -1;
    pid_t windowManager_ = -1;
};

}  // namespace zv::admin::test
