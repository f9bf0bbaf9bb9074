// The board, kept current: one live stream (Server-Sent Events) tells the
// version of the board, with the rows that changed when the page holds the
// version before; the whole board is fetched only when the page holds an
// older one. The same stream tells when the messages waiting changed.
// Nothing polls.

import { api } from "./api.js";
import { EventStream } from "./event_stream.js";

export class LiveBoard {
  constructor() {
    this.board = null;   // {departments, rows}
    this.etag = "";
    this.listeners = new Set();
    this.inboxListeners = new Set();
    this.stream = new EventStream("/api/events", {
      board: (tag) => this.versionIs(tag),
      rows: (data) => this.rowsChanged(data),
      inbox: () => { for (const fn of this.inboxListeners) fn(); },
    }, () => { for (const fn of this.listeners) fn(null, null, null); });
    this.fetching = null;
    this.wanted = "";
  }

  // fn(board, previousBoard, changedKeys) after every change (changedKeys:
  // the employees whose rows alone changed, or null when the whole board
  // may have); fn(null) when only the connection state changed.
  subscribe(fn) {
    this.listeners.add(fn);
    return () => this.listeners.delete(fn);
  }

  // fn() when the messages waiting may have changed.
  onInbox(fn) {
    this.inboxListeners.add(fn);
    return () => this.inboxListeners.delete(fn);
  }

  emit(previous, changed = null) {
    for (const fn of this.listeners) fn(this.board, previous, changed);
  }

  get state() { return this.stream.state; }

  // `asked`: the board's answer of a request already sent (as api() gives
  // it), taken for the first fetch.
  start(asked = null) {
    this.stream.start();
    if (!this.board) this.refresh(asked);
  }

  stop() { this.stream.stop(); }

  versionIs(tag) {
    this.wanted = tag;
    if (tag !== this.etag) this.refresh();
  }

  // {base, tag, rows}: the rows that changed from version `base`.
  rowsChanged(text) {
    let delta;
    try { delta = JSON.parse(text); } catch { return this.refresh(); }
    this.wanted = delta.tag;
    if (!this.board || this.fetching || delta.base !== this.etag) return this.refresh();
    const previous = this.board;
    const rows = previous.rows.slice();
    const at = new Map(rows.map((row, i) => [row.employee, i]));
    const changed = new Set();
    for (const row of delta.rows) {
      const i = at.get(row.employee);
      if (i === undefined) return this.refresh();
      rows[i] = row;
      changed.add(row.employee);
    }
    this.board = { departments: previous.departments, rows };
    this.etag = delta.tag;
    this.emit(previous, changed);
    return undefined;
  }

  // Fetches the board unless the held one is current; one fetch at a time,
  // and one more afterwards when a newer version was announced meanwhile.
  async refresh(asked = null) {
    if (this.fetching) return this.fetching;
    this.fetching = (async () => {
      try {
        const headers = this.etag ? { "If-None-Match": this.etag } : {};
        const { status, data, response } = await (asked || api("GET", "/api/board", undefined, headers));
        if (status !== 304 && data) {
          const previous = this.board;
          this.board = data;
          this.etag = response.headers.get("ETag") || "";
          this.emit(previous);
        }
      } finally {
        this.fetching = null;
      }
      if (this.wanted && this.wanted !== this.etag) return this.refresh();
      return undefined;
    })();
    return this.fetching;
  }
}
