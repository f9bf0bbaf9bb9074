// The board, kept current: one live stream (Server-Sent Events) tells the
// version of the board, and the board is fetched only when that version is
// not the one the page holds. Nothing polls.

import { api } from "./api.js";

export class LiveBoard {
  constructor() {
    this.board = null;   // {departments, rows}
    this.etag = "";
    this.state = "connecting";  // "live", "connecting", "offline"
    this.listeners = new Set();
    this.source = null;
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

  start() {
    if (this.source) return;
    this.source = new EventSource("/api/events");
    this.source.addEventListener("open", () => this.setState("live"));
    this.source.addEventListener("board", (event) => this.versionIs(event.data));
    this.source.addEventListener("error", () => {
      // The browser reconnects by itself unless the server refused the
      // stream (signed out): then the board asks who is signed in.
      if (this.source && this.source.readyState === EventSource.CLOSED) {
        this.setState("offline");
        this.stop();
        window.dispatchEvent(new CustomEvent("zelvora:check-session"));
      } else {
        this.setState("connecting");
      }
    });
    if (!this.board) this.refresh();
  }

  stop() {
    if (this.source) this.source.close();
    this.source = null;
  }

  setState(state) {
    if (this.state === state) return;
    this.state = state;
    for (const fn of this.listeners) fn(null, null);
  }

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
