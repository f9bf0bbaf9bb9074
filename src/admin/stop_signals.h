// SIGINT and SIGTERM as a request to stop the window version in order, as a
// confirmed close does, and SIGHUP as one to read the settings file again.
// The signals are blocked and read from a signalfd that Qt's loop watches, so
// the stop and the reload run on the main thread like any other event; no
// work happens in a signal handler.
//
// Owns the signalfd. Create it first thing in main(), before any thread
// starts: threads inherit the blocked signals, so none of them is ever
// interrupted by one.
#pragma once

#include <functional>
#include <string>

class QObject;

namespace zv::admin {

class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // Empty when the signals are blocked and can be read; otherwise what
    // failed (the signals then keep their default action).
    const std::string& error() const { return error_; }

    // Runs `onStop` on Qt's loop each time SIGINT or SIGTERM arrives, and
    // `onReload` each time SIGHUP does. The watch lives as long as `context`
    // (give it the application or the window, which go before this object).
    void watch(QObject* context, std::function<void()> onStop, std::function<void()> onReload);

private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace zv::admin
