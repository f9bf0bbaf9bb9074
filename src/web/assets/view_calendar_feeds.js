// The Options page's calendar feeds: the office's absences (planned ahead,
// from calendars, and the "Out" entries with a returning time) as a
// calendar anyone may subscribe to, one for the whole office and one per
// department, each at a secret address that can be made, replaced and
// removed here.

import { api } from "./api.js";
import { askInline, h, notice, replaceChildren } from "./dom.js";

// The card; it loads what it shows itself.
export function calendarFeedsCard() {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const question = h("div", { class: "question-slot", hidden: true });
  const lines = h("div", { class: "feed-lines" });

  async function send(method, body, done) {
    notice(message, "", "");
    try {
      show((await api(method, "/api/admin/feeds", body)).data);
      if (done) notice(message, "ok", done);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  function line(department, feed) {
    const title = department ? `Department ${department}` : "The whole office";
    if (!feed) {
      return h("div", { class: "feed-line", dataset: { department } },
        h("span", { class: "absence-who" }, title),
        h("span", { class: "muted" }, "no feed"),
        h("span", { class: "row-actions" },
          h("button", { type: "button", class: "button small", onclick: () =>
            send("POST", { department }, `The feed of ${title.toLowerCase()} is made.`) }, "Make a feed")));
    }
    const url = `${location.origin}${feed.path}`;
    return h("div", { class: "feed-line", dataset: { department } },
      h("span", { class: "absence-who" }, title),
      h("input", { type: "text", readonly: true, value: url, "aria-label": `Address of the feed of ${title}`,
        onfocus: (event) => event.target.select() }),
      h("span", { class: "row-actions" },
        h("a", { class: "button small quiet", href: url.replace(/^https?:/, "webcal:") }, "Subscribe"),
        h("button", { type: "button", class: "button small", onclick: async () => {
          if (!await askInline(question, `Give the feed of ${title.toLowerCase()} a new address? The old one `
            + "stops working for everyone who subscribed to it.")) return;
          send("POST", { department }, "The feed has a new address; the old one leads nowhere now.");
        } }, "New address"),
        h("button", { type: "button", class: "button small danger-quiet", onclick: () =>
          send("DELETE", { department }, `The feed of ${title.toLowerCase()} is removed.`) }, "Remove")));
  }

  function show(data) {
    const byDepartment = new Map(data.feeds.map((f) => [f.department, f]));
    replaceChildren(lines, line("", byDepartment.get("")),
      data.departments.map((name) => line(name, byDepartment.get(name))));
  }

  api("GET", "/api/admin/feeds").then(({ data }) => show(data)).catch((e) => notice(message, "error", e.message));
  return h("div", { class: "card" }, h("h3", {}, "Calendar feeds"),
    h("p", { class: "muted" }, "The office's absences as a calendar to subscribe to in Outlook, Thunderbird, "
      + "Apple Calendar or on a phone: the absences planned ahead or read from calendars, and who is out with a "
      + "returning time, with names, status, times and comments only. Anyone who has the address can read it, "
      + "without signing in: give it to those who should, and give the feed a new address when it went too far."),
    message, question, lines);
}
