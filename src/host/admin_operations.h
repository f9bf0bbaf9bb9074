#pragma once
// What the administrator does from a browser, one complete change each: it
// is applied to the stores as they are at that moment (the record it changes
// is looked up then, never taken from an earlier read), checked with the
// window's own rules and messages, saved at once, and written to standard
// error as one line naming who did what to which record. A change whose save
// fails is undone in memory and the error passed on, so that no half-made
// change is left for a client's step to save.
//
// Each runs on the main thread inside a step (under the session mutex).
// Texts are record bytes, already converted from the browser's Unicode.

#include <cstdint>
#include <optional>
#include <string>

#include "host/account_rules.h"

namespace zv {

class TServerHost;

struct TAdminResult {
    enum class Kind {
        Done,     // changed and saved; `message` is the information shown, if any
        Refused,  // nothing changed; `message` says why, `field` names the input at fault
        Gone,     // the record is no longer there; nothing changed
    };
    Kind kind = Kind::Done;
    std::string message;
    std::string field;   // the browser's name of the field (empty: none)
    std::string record;  // Done with an account: its key after the change

    static TAdminResult done(std::string message = {}, std::string record = {}) {
        return {Kind::Done, std::move(message), {}, std::move(record)};
    }
    static TAdminResult refused(std::string field, std::string message) {
        return {Kind::Refused, std::move(message), std::move(field), {}};
    }
    static TAdminResult gone(std::string message) { return {Kind::Gone, std::move(message), {}, {}}; }
};

// --- departments and accounts ----------------------------------------------------

TAdminResult createDepartment(TServerHost& host, const std::string& who, const std::string& name);
// Refused while an account belongs to it.
TAdminResult removeDepartment(TServerHost& host, const std::string& who, const std::string& name);

// `department` must be one of the departments (or none: refused as the
// dialog refuses no choice). Done with the dialog's information text.
TAdminResult createAccount(TServerHost& host, const std::string& who, const TNewAccount& account);
// Applies the changed fields to the account with this key as it is now.
// A new department must be one of the departments.
TAdminResult modifyAccount(TServerHost& host, const std::string& who, const std::string& key,
                           const TAccountEdit& edit);
// Removes every account with the key; its memos and messages stay.
TAdminResult removeAccount(TServerHost& host, const std::string& who, const std::string& key);

// --- the phonebook ---------------------------------------------------------------

// The entry with this serial (its identity since the store last loaded).
TAdminResult removePhoneEntry(TServerHost& host, const std::string& who, std::uint64_t serial);
TAdminResult clearPhonebook(TServerHost& host, const std::string& who);

// --- options ---------------------------------------------------------------------

// The options to change; each takes effect as its option dialog makes it:
// the mail host from the next mail, the port from the next start (shown in
// the port panel at once), the block size from the next settings load, the
// memo expiration from the next exchange, the log size limit at once, the
// end-of-day punch-out from its next moment.
struct TOptionChanges {
    std::optional<std::string> smtpHost, port, blockSize, expDays, maxLogSize, autoOutAt;
};
// Checks every value first; changes all or none, then saves the settings once.
TAdminResult changeOptions(TServerHost& host, const std::string& who, const TOptionChanges& changes);

// Stores the hash of a new administrator's password and saves the settings.
// With `onlyIfUnset`, refused when a password has been set meanwhile (the
// first-run set-up).
TAdminResult setAdminPasswordHash(TServerHost& host, const std::string& who, const std::string& hash,
                                  bool onlyIfUnset);

}  // namespace zv
