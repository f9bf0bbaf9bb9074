// The board, kept current: one live stream (Server-Sent Events) tells the
// version of the board, and the board is fetched only when that version is
// not the one the page holds. Nothing polls.

import { api } from "./api.js";
import { EventStream } from "./event_stream.js";

export class LiveBoard {
  constructor() {
    this.board = null;   // {departments, rows}
    this.etag = "";
    this.listeners = new Set();
    this.stream = new EventStream("/api/events", { board: (tag) => this.versionIs(tag) },
                                  () => { for (const fn of this.listeners) fn(null, null); });
    this.fetching = null;
    this.wanted = "";
  }

  // fn(board, previousBoard) after every change; fn(null) when only the
  // connection state changed.
  subscribe(fn) {
    this.listeners.add(fn);
    return () => this.listeners.delete(fn);
  }

  emit(previous) {
    for (const fn of this.listeners) fn(this.board, previous);
  }

  get state() { return this.stream.state; }

  start() {
    this.stream.start();
    if (!this.board) this.refresh();
  }

  stop() { this.stream.stop(); }

  versionIs(tag) {
    this.wanted = tag;
    if (tag !== this.etag) this.refresh();
  }

  // Fetches the board unless the held one is current; one fetch at a time,
  // and one more afterwards when a newer version was announced meanwhile.
  async refresh() {
    if (this.fetching) return this.fetching;
    this.fetching = (async () => {
      try {
        const headers = this.etag ? { "If-None-Match": this.etag } : {};
        const { status, data, response } = await api("GET", "/api/board", undefined, headers);
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
