// The administration pages kept current: one live stream (Server-Sent
// Events) tells when the user table or the board changed; each page
// fetches what it shows only then. Nothing polls.

import { EventStream } from "./event_stream.js";

export class AdminLive {
  constructor() {
    this.listeners = { users: new Set(), board: new Set(), state: new Set() };
    this.stream = new EventStream("/api/admin/events",
                                  { users: () => this.emit("users"), board: () => this.emit("board") },
                                  () => this.emit("state"));
  }

  get state() { return this.stream.state; }

  // fn() after each change of `what` ("users", "board", or "state" for the
  // connection); returns the unsubscribe function.
  on(what, fn) {
    this.listeners[what].add(fn);
    return () => this.listeners[what].delete(fn);
  }

  emit(what) {
    for (const fn of this.listeners[what]) fn();
  }

  start() { this.stream.start(); }

  stop() { this.stream.stop(); }
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
