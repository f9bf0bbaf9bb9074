#pragma once
// What the administrative operations of the maintenance API take and give.
// Each operation is one complete change: applied to the stores as they are
// at that moment (the record it changes is looked up then, never taken from
// an earlier read), checked with the window's own rules and messages, saved
// (or, for the window's dialogs, left for the dialog to save), and recorded
// as one line naming who did what to which record. A change whose save
// fails is undone in memory and the error passed on, so that no half-made
// change is left for a client's step to save.
//
// Texts are record bytes (the clients' code page), as the window's dialogs
// and the browser hand them over already converted.

#include <optional>
#include <string>
#include <vector>

namespace zv {

struct TAdminResult {
    enum class Kind {
        Done,     // changed (and saved); `message` is the information shown, if any
        Refused,  // nothing changed; `messages` say why, `field` names the input at fault
        Gone,     // the record is no longer there; nothing changed
    };
    Kind kind = Kind::Done;
    // What to show: one text, or for a refusal each check that failed, in
    // the order the window's message boxes come.
    std::vector<std::string> messages;
    std::string field;   // the input at fault, by its name in the browser's JSON (empty: none)
    std::string record;  // Done with an account: its key after the change

    // The first message (empty when there is none).
    std::string message() const { return messages.empty() ? std::string() : messages.front(); }

    static TAdminResult done(std::string message = {}, std::string record = {});
    static TAdminResult refused(std::string field, std::vector<std::string> messages);
    static TAdminResult refused(std::string field, std::string message);
    static TAdminResult gone(std::string message);
};

// When a change reaches the files.
enum class Saving {
    // Saved at once; a failed save undoes the change and throws (the browser).
    Now,
    // Made in memory only: the window's maintenance dialog saves the store
    // when it closes with OK, or reloads it, and refreshes the user table.
    WithTheDialog,
};

// The options to change; each takes effect as its option dialog makes it:
// the mail host from the next mail, the port from the next start (shown in
// the port panel at once), the block size from the next settings load, the
// memo expiration from the next exchange, the log size limit at once, the
// end-of-day punch-out from its next moment, the web port from the next start.
struct TOptionChanges {
    std::optional<std::string> smtpHost, port, blockSize, expDays, maxLogSize, autoOutAt, webPort;
};

}  // namespace zv
