// The accounts' calendars on the administration's Absences page: the hosts
// calendars may come from ([Calendars] AllowedHosts), and a line per
// account with its calendar's address, when it was last read or why it
// could not be, and "Read now" (the test of a calendar).

import { api } from "./api.js";
import { h, notice, replaceChildren } from "./dom.js";
import { displayName } from "./format.js";

const readFormat = new Intl.DateTimeFormat(undefined, { weekday: "short", hour: "numeric", minute: "2-digit" });

// The card, and `load(accounts)`, which shows a line for each account
// (the accounts of GET /api/admin/accounts; kept from the last call when
// left out) with its calendar as the server has it now.
export function calendarsCard() {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const hosts = h("input", { id: "c-hosts", name: "allowedHosts", autocomplete: "off",
    placeholder: "outlook.office365.com, calendar.google.com, *.example.com" });
  const hostsForm = h("form", { class: "inline-form", novalidate: true },
    h("div", { class: "field" }, h("label", { for: "c-hosts" }, "Calendars may come from (AllowedHosts)"), hosts),
    h("button", { type: "submit", class: "button" }, "Save hosts"));
  const lines = h("div", { class: "calendar-lines" });
  let widths = {};

  // Sends a change; a calendar it sets reading takes a moment, so the lines
  // are read again once it should be done (and once more after the
  // longest a reading may take).
  async function send(method, path, body, done, reads = false) {
    notice(message, "", "");
    try {
      const { data } = await api(method, path, body);
      if (data && data.calendars) show(data);
      if (done) notice(message, "ok", done(data));
      if (reads) {
        setTimeout(load, 1500);
        setTimeout(load, 11000);
      }
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  let people = [];
  function show(data) {
    widths = data.inputWidths || widths;
    if (document.activeElement !== hosts) hosts.value = data.allowedHosts;
    const byEmployee = new Map(data.calendars.map((c) => [c.employee, c]));
    replaceChildren(lines, people.map(({ employee, name }) => {
      const calendar = byEmployee.get(employee) || { address: "", note: "", lastRead: null, reading: false };
      const address = h("input", { type: "url", value: calendar.address, maxlength: widths.address,
        "aria-label": `Calendar of ${name}`, placeholder: "https://… (the calendar's publish or secret address)" });
      const state = calendar.reading ? "Being read…"
        : calendar.note ? `Cannot be read: ${calendar.note}`
          : calendar.lastRead ? `Read ${readFormat.format(new Date(calendar.lastRead * 1000))}` : "";
      return h("div", { class: "calendar-line", dataset: { employee } },
        h("span", { class: "absence-who" }, name),
        address,
        h("span", { class: "row-actions" },
          h("button", { type: "button", class: "button small", onclick: () =>
            send("PUT", "/api/admin/calendars", { employee, address: address.value },
              () => (address.value ? `The calendar of ${name} is set; it is being read.` : `${name} has no calendar now.`),
              true) },
          "Save"),
          calendar.address ? h("button", { type: "button", class: "button small quiet", onclick: () =>
            send("POST", "/api/admin/calendars/read", { employee }, (d) => d.message, true) }, "Read now") : null),
        state ? h("small", { class: `calendar-note${calendar.note ? " failing" : ""}` }, state) : null);
    }));
  }

  async function load(accounts) {
    if (accounts) {
      people = accounts.map((a) => ({ employee: a.employee, name: displayName(a) }))
        .sort((a, b) => a.name.localeCompare(b.name));
    }
    try {
      show((await api("GET", "/api/admin/calendars")).data);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  hostsForm.addEventListener("submit", (event) => {
    event.preventDefault();
    send("PUT", "/api/admin/calendar-hosts", { allowedHosts: hosts.value },
      () => "The hosts are saved; every calendar is read again.", true);
  });

  const card = h("div", { class: "card" }, h("h3", {}, "Calendars"),
    h("p", { class: "muted" }, "Give an account the address of its calendar (Outlook's or Exchange's \"publish "
      + "calendar\" link, Google Calendar's secret address in iCal format, Nextcloud's, or a free/busy address). "
      + "It is read every 15 minutes; its busy times become absences (\"In a meeting\", or \"Out of office\"), "
      + "its free times are left out."),
    hostsForm, message, lines);
  return { card, load };
}
