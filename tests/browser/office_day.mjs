// The board of a test office through a working day of planned and calendar
// absences, in screenshots: a zelvorad of its own whose clock starts at
// 7:58 this morning and runs 40 times as fast (libfaketime, Debian package
// "faketime"), two calendars served by a small web server (an Outlook-style
// one with a daily stand-up and two meetings, a Google-style one with a day
// out of office), absences planned by the employees and the administrator,
// the end-of-day punch-out at 17:30, and the board in chromium at moments
// of the day. Not a test: it shows what the server does, for a person to
// look at (about 15 minutes).
//
// Usage: node office_day.mjs --zelvorad PATH --screenshots FOLDER [--speed N]

import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

import { argument, boardFields, freePort, launchBrowser, openPage, runJourney, startServer, waitFor }
  from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-office-day"));
const speed = Number(argument("speed", "40"));
const fakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";
if (!fs.existsSync(fakeTime)) {
  console.log(`SKIPPED: no libfaketime at ${fakeTime} (Debian package "faketime")`);
  process.exit(77);
}

// Today (UTC, the zone of the server and the browser here) at hh:mm, in
// seconds since 1970; as an iCalendar text.
const today = new Date();
const at = (hour, minute = 0, days = 0) =>
  Date.UTC(today.getUTCFullYear(), today.getUTCMonth(), today.getUTCDate() + days, hour, minute) / 1000;
const ical = (seconds) => new Date(seconds * 1000).toISOString().replace(/[-:]/g, "").replace(/\.\d+/, "");
const icalDate = (seconds) => ical(seconds).slice(0, 8);
const clockText = (hour, minute) => `${String(hour).padStart(2, "0")}${String(minute).padStart(2, "0")}`;

const people = [
  { employee: "Adams,Grace", department: "Sales", workPhone: "555-0101", extension: "11" },
  { employee: "Baker,Tom", department: "Support", workPhone: "555-0102", extension: "12" },
  { employee: "Doe,Jane", department: "Sales", workPhone: "555-1000", extension: "14" },
  { employee: "Fischer,Anna", department: "Engineering", workPhone: "555-0106", extension: "16" },
  { employee: "Lee,Kim", department: "Support", workPhone: "555-0107", extension: "17" },
  { employee: "Roe,Rick", department: "Support", workPhone: "555-0111", extension: "21" },
  { employee: "Silva,Ana", department: "Engineering", workPhone: "555-0112", extension: "22" },
].map((p) => boardFields({ password: "pw", status: "In", ...p }));

const calendars = {
  // Anna's, as Outlook publishes it: a daily stand-up and two meetings.
  "anna.ics": [
    "BEGIN:VCALENDAR", "METHOD:PUBLISH", "PRODID:Microsoft Exchange Server 2010", "VERSION:2.0",
    "BEGIN:VEVENT", "UID:anna-standup", "SUMMARY:Stand-up", `DTSTART:${ical(at(9, 0, -7))}`,
    `DTEND:${ical(at(9, 15, -7))}`, "RRULE:FREQ=DAILY", "X-MICROSOFT-CDO-BUSYSTATUS:BUSY", "END:VEVENT",
    "BEGIN:VEVENT", "UID:anna-design", "SUMMARY:Design review", `DTSTART:${ical(at(10))}`, `DTEND:${ical(at(11))}`,
    "X-MICROSOFT-CDO-BUSYSTATUS:BUSY", "END:VEVENT",
    "BEGIN:VEVENT", "UID:anna-customer", "SUMMARY:Customer call", `DTSTART:${ical(at(14))}`,
    `DTEND:${ical(at(15, 30))}`, "X-MICROSOFT-CDO-BUSYSTATUS:BUSY", "END:VEVENT",
    "BEGIN:VEVENT", "UID:anna-lunch", "SUMMARY:Lunch", `DTSTART:${ical(at(12))}`, `DTEND:${ical(at(13))}`,
    "TRANSP:TRANSPARENT", "X-MICROSOFT-CDO-BUSYSTATUS:FREE", "END:VEVENT",
    "END:VCALENDAR"],
  // Tom's, as Google publishes it: at a trade fair all day, a meeting tomorrow.
  "tom.ics": [
    "BEGIN:VCALENDAR", "PRODID:-//Google Inc//Google Calendar 70.9054//EN", "VERSION:2.0", "METHOD:PUBLISH",
    "BEGIN:VEVENT", "UID:tom-fair@google.com", "SUMMARY:Trade fair", `DTSTART;VALUE=DATE:${icalDate(at(0))}`,
    `DTEND;VALUE=DATE:${icalDate(at(0, 0, 1))}`, "X-MICROSOFT-CDO-BUSYSTATUS:OOF", "END:VEVENT",
    "BEGIN:VEVENT", "UID:tom-planning@google.com", "SUMMARY:Planning", `DTSTART:${ical(at(9, 30, 1))}`,
    `DTEND:${ical(at(11, 0, 1))}`, "END:VEVENT",
    "END:VCALENDAR"],
};

// The calendars' web server (python3, on the real clock).
const calendarFolder = fs.mkdtempSync(path.join(os.tmpdir(), "zv-day-calendars-"));
for (const [name, lines] of Object.entries(calendars)) {
  fs.writeFileSync(path.join(calendarFolder, name), `${lines.join("\r\n")}\r\n`);
}
const calendarPort = await freePort();
const calendarServer = spawn("/usr/bin/python3",
  [path.join(path.dirname(fileURLToPath(import.meta.url)), "..", "support", "calendar_server.py"), calendarFolder,
    String(calendarPort)],
  { stdio: "ignore" });
await waitFor(async () => (await fetch(`http://127.0.0.1:${calendarPort}/tom.ics`)).ok, "the calendars' server");

const browser = await launchBrowser();
const server = await startServer(zelvorad, people, {
  // Yesterday's punch-out done already: the day starts with everyone in.
  ini: `[Board]\r\nAutoOutAt=17:30\r\nAutoOutDone=${new Date(at(12, 0, -1) * 1000).toISOString().slice(0, 10)}\r\n`,
  env: {
    LD_PRELOAD: fakeTime,
    FAKETIME: `@${new Date(at(7, 58) * 1000).toISOString().slice(0, 19).replace("T", " ")} x${speed}`,
    FAKETIME_DONT_FAKE_MONOTONIC: "1",
    TZ: "UTC",
  },
});

// A browser-like client of the JSON API: the session cookie and the
// anti-forgery token.
function client(base) {
  let cookie = "";
  let token = "";
  return async (method, route, body) => {
    const response = await fetch(`${base}${route}`, {
      method, headers: { "Content-Type": "application/json", "X-Zelvora-Token": token, Cookie: cookie },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const set = response.headers.get("set-cookie");
    if (set) cookie = set.split(";")[0];
    const data = response.status === 204 ? null : await response.json();
    if (data && data.antiForgeryToken) token = data.antiForgeryToken;
    assert.ok(response.ok, `${method} ${route}: ${response.status} ${JSON.stringify(data)}`);
    return data;
  };
}

// The server's clock, in seconds since 1970.
async function serverNow() {
  return Date.parse((await fetch(`${server.base}/healthz`)).headers.get("date")) / 1000;
}

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  try {
    // The administrator sets the office up: the calendars and the absences
    // planned for others.
    const admin = client(server.base);
    await admin("POST", "/api/admin/set-up", { password: "office-day-keys" });
    await admin("PUT", "/api/admin/calendar-hosts", { allowedHosts: "127.0.0.1" });
    await admin("PUT", "/api/admin/calendars",
      { employee: "Fischer,Anna", address: `http://127.0.0.1:${calendarPort}/anna.ics` });
    await admin("PUT", "/api/admin/calendars",
      { employee: "Baker,Tom", address: `http://127.0.0.1:${calendarPort}/tom.ics` });
    await admin("POST", "/api/admin/absences",
      { employee: "Lee,Kim", from: at(8, 5), until: null, status: "Sick", comments: "Called in at 8" });
    await admin("POST", "/api/admin/absences",
      { employee: "Roe,Rick", from: at(0, 0, 1), until: at(0, 0, 6), status: "On vacation", comments: "Back Monday" });
    // The employees plan their own.
    const jane = client(server.base);
    await jane("POST", "/api/sign-in", { employee: "Doe,Jane", password: "pw" });
    await jane("POST", "/api/my-absences",
      { from: at(14), until: at(16), status: "Out", reachedAt: "Cell 555-1000", comments: "Dentist" });
    const grace = client(server.base);
    await grace("POST", "/api/sign-in", { employee: "Adams,Grace", password: "pw" });
    await grace("POST", "/api/my-absences", { from: at(12), until: at(13), status: "At lunch", comments: "" });
    const ana = client(server.base);
    await ana("POST", "/api/sign-in", { employee: "Silva,Ana", password: "pw" });
    await ana("POST", "/api/my-absences",
      { from: at(9, 30), until: at(11, 30), status: "Working from home", reachedAt: "Teams", comments: "" });

    const page = await openPage(browser, 1280, 760, [], { timezoneId: "UTC" });
    await page.goto(`${server.base}/`);
    await page.fill("#f-employee", "Doe,Jane");
    await page.fill("#f-password", "pw");
    await page.click("form.sign-in button[type=submit]");
    await page.locator("tr.row").first().waitFor();

    const moments = [[8, 10], [9, 5], [10, 30], [12, 20], [14, 30], [16, 20], [17, 40]];
    for (const [hour, minute] of moments) {
      await waitFor(async () => (await serverNow()) >= at(hour, minute), `${hour}:${minute} on the server`,
        (24 * 3600 * 1000) / speed);
      await page.reload();
      await page.locator("tr.row").first().waitFor();
      await page.locator(".live-mark.live").waitFor();
      const file = path.join(screenshots, `board-${clockText(hour, minute)}.png`);
      await page.screenshot({ path: file, fullPage: true });
      console.log(`${clockText(hour, minute)}: ${file}`);
      if (hour === 8) {
        await page.click("a[data-view=status]");
        await page.locator(".absences li.absence").waitFor();
        await page.screenshot({ path: path.join(screenshots, "my-status-0810.png"), fullPage: true });
        await page.click("a[data-view=board]");
      }
    }
  } finally {
    calendarServer.kill("SIGKILL");
    fs.rmSync(calendarFolder, { recursive: true, force: true });
  }
});
