// The messages waiting for the signed-in employee, kept current by the live
// stream's "inbox" events, with the count in the navigation's badge.

import { api } from "./api.js";

export class Inbox {
  constructor(badge) {
    this.badge = badge;
    this.items = [];
    this.listeners = new Set();
    this.asking = 0;
  }

  subscribe(fn) {
    this.listeners.add(fn);
    return () => this.listeners.delete(fn);
  }

  async refresh() {
    const mine = ++this.asking;
    try {
      const { data } = await api("GET", "/api/my-messages");
      if (mine !== this.asking) return;
      this.items = data.items;
    } catch {
      return;  // signed out or offline: the page says so elsewhere
    }
    const count = this.items.length;
    this.badge.hidden = count === 0;
    this.badge.textContent = String(count);
    this.badge.setAttribute("aria-label", `${count} waiting`);
    for (const fn of this.listeners) fn(this.items);
  }
}
