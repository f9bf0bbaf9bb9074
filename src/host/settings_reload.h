#pragma once
// The settings file read again while the server runs (SIGHUP; `systemctl
// reload zelvorad`). What the running server can change takes effect at once:
// the mail host, memo expiration, log size, idle time-out (for connections
// from then on), client cap, the end-of-day punch-out, [Regional] and the
// administrator's password. What only a start reads waits for the next one:
// the ports, the addresses, the block size, the certificate; the file's text
// is what the options show from then on, as when the window or a browser
// sets the port. One line on standard error says what took effect and what
// waits. A file that cannot be read changes nothing and says why; a text that
// is not usable is reported and the value in force kept.
//
// Main thread only, as a step (under the session mutex).

namespace zv {

struct TServerParts;

void reloadSettingsFile(TServerParts& parts);

}  // namespace zv
