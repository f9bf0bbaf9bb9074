// The administration pages kept current: one live stream (Server-Sent
// Events) tells when the user table or the board changed; each page
// fetches what it shows only then. Nothing polls.

export class AdminLive {
  constructor() {
    this.source = null;
    this.state = "connecting";  // "live", "connecting", "offline"
    this.listeners = { users: new Set(), board: new Set(), state: new Set() };
  }

  // fn() after each change of `what` ("users", "board", or "state" for the
  // connection); returns the unsubscribe function.
  on(what, fn) {
    this.listeners[what].add(fn);
    return () => this.listeners[what].delete(fn);
  }

  emit(what) {
    for (const fn of this.listeners[what]) fn();
  }

  start() {
    if (this.source) return;
    this.source = new EventSource("/api/admin/events");
    this.source.addEventListener("open", () => this.setState("live"));
    this.source.addEventListener("users", () => this.emit("users"));
    this.source.addEventListener("board", () => this.emit("board"));
    this.source.addEventListener("error", () => {
      if (this.source && this.source.readyState === EventSource.CLOSED) {
        this.setState("offline");
        this.stop();
        window.dispatchEvent(new CustomEvent("zelvora:check-session"));
      } else {
        this.setState("connecting");
      }
    });
  }

  stop() {
    if (this.source) this.source.close();
    this.source = null;
  }

  setState(state) {
    if (this.state === state) return;
    this.state = state;
    this.emit("state");
  }
}

// Runs `load` now and again after each announced change, one at a time: a
// change announced while a load runs makes one more load afterwards.
export function followChanges(live, what, load) {
  let running = null;
  let again = false;
  const run = async () => {
    if (running) { again = true; return; }
    running = (async () => {
      do {
        again = false;
        try { await load(); } catch { /* the page shows its own error */ }
      } while (again);
    })();
    await running;
    running = null;
  };
  run();
  return live.on(what, run);
}
