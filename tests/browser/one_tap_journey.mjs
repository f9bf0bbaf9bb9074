// One-tap status and the messages waiting, in real browsers, on a board of
// 500 accounts: Rick signs in as "rick roe", taps "At lunch" and "in 30 min"
// on "My status" (both saved, the returning time in the office's format),
// has a returning time read back before saving, and his row turns overdue
// on the board when a time a few seconds ahead has passed; Jane takes a
// message for him with the caller from the phonebook, the badge shows it in
// Rick's browser at once, and "Done" deletes it from the store. Screenshots:
// "My status" at phone width and the board at 500.
//
// Usage: node one_tap_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { argument, boardFields, clientLogin, dateTimeText, launchBrowser, openPage as open, runJourney,
  startServer, waitFor } from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

const DEPARTMENTS = ["Accounting", "Engineering", "Facilities", "Legal", "Marketing", "Sales", "Support"];
const LAST = ["Adams", "Brown", "Clark", "Davis", "Evans", "Fisher", "Garcia", "Hughes", "Irwin", "Jones"];
const FIRST = ["Ann", "Ben", "Cara", "Dan", "Eve", "Finn", "Gail", "Hal", "Ivy", "Joe"];
const STATUSES = ["In", "In", "In", "Out", "At lunch", "In a meeting", "Working from home", "Sick"];
const people = [
  { employee: "Doe,Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14" },
  { employee: "Roe,Rick", department: "Support", status: "In", workPhone: "555-0111", extension: "21" },
];
for (let i = 0; people.length < 500; ++i) {
  people.push({
    employee: `${LAST[i % 10]}${Math.floor(i / 100) || ""},${FIRST[Math.floor(i / 10) % 10]}${i % 100}`,
    department: DEPARTMENTS[i % DEPARTMENTS.length], status: STATUSES[i % STATUSES.length],
    returning: i % 8 === 3 ? "5:00 PM" : "", workPhone: `555-${String(2000 + i)}`,
    comments: i % 5 === 0 ? "Back after the client call" : "",
  });
}
const board = people.map((p) => boardFields({ password: "pw", statusChanged: dateTimeText(new Date()), ...p }));

const browser = await launchBrowser();
const server = await startServer(zelvorad, board);
const problems = [];
const openPage = (width, height) => open(browser, width, height, problems);

async function signIn(page, name) {
  await page.goto(`${server.base}/`);
  await page.fill("#f-employee", name);
  await page.fill("#f-password", "pw");
  await page.click("form.sign-in button[type=submit]");
  await page.locator("#topbar:not([hidden])").waitFor();
}

const row = (page, key) => page.locator(`tr.row[data-employee="${key}"]`);

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  // The phonebook as a client sends it.
  await clientLogin(server.clientPort, "Doe,Jane", "pw",
    { phone: "1|R. Customer<~FLD~>Supplier, Ltd.<~FLD~>555-0100<~REC~>" });

  // --- one tap -----------------------------------------------------------------------
  const rick = await openPage(390, 844);
  await signIn(rick, "rick roe");  // a forgiving name: "Roe,Rick"
  await rick.goto(`${server.base}/#status`);
  await rick.getByRole("button", { name: "At lunch" }).click();
  await rick.locator(".notice.ok", { hasText: "At lunch" }).waitFor();
  const before = Date.now();
  await rick.getByRole("button", { name: "in 30 min" }).click();
  await rick.locator(".notice.ok", { hasText: "Returning" }).waitFor();
  const after = Date.now();
  const returning = await rick.inputValue("#f-returning");
  // Written by the server in its long time format, 30 minutes on (from a
  // moment between the tap and its answer, which may lie across a minute).
  const timeOfDay = (at) => dateTimeText(new Date(Math.floor((at + 30 * 60000) / 60000) * 60000))
    .split(" ").slice(1).join(" ").replace(/:00 /, " ");
  assert.match(returning, /^\d{1,2}:\d{2}:00 (AM|PM)$/);
  assert.ok([timeOfDay(before), timeOfDay(after)].includes(returning.replace(/:00 /, " ")),
    `${returning} is 30 minutes after the tap`);
  assert.equal(await rick.inputValue("#f-status"), "At lunch");
  assert.equal(await rick.getAttribute('.presets button:has-text("At lunch")', "aria-pressed"), "true");

  // A returning time typed by hand is read back before it is saved.
  await rick.fill("#f-returning", "tomorrow 9am");
  await rick.locator("#returning-readback", { hasText: "not a time: never marked overdue" }).waitFor();
  await rick.fill("#f-returning", "12/9/26 9:00 AM");
  await rick.locator("#returning-readback", { hasText: /^read as Wed 12\/9 9:00/ }).waitFor();
  await rick.evaluate(() => window.scrollTo(0, 0));
  await rick.screenshot({ path: path.join(screenshots, "my-status-phone.png") });

  // A time a few seconds ahead: the row turns overdue on the board once it passes.
  const soon = new Date(Date.now() + 4000);
  await rick.fill("#f-returning", dateTimeText(soon).split(" ").slice(1).join(" "));
  await rick.click("form.status-form button[type=submit]");
  await rick.locator(".notice.ok", { hasText: "saved" }).waitFor();
  const desk = await openPage(1280, 900);
  await signIn(desk, "Doe, Jane");
  const rickRow = row(desk, "Roe,Rick");
  await rickRow.waitFor();
  assert.match(await rickRow.locator(".status").textContent(), /At lunch/);
  assert.equal(await rickRow.locator(".overdue-mark").count(), 0, "not overdue before the time");
  await rickRow.locator(".overdue-mark").waitFor({ timeout: 15000 });
  assert.ok(Date.now() >= soon.getTime() - 1500, "marked overdue only once the time has passed");
  // "N overdue" shows just those rows.
  await desk.locator("button.count.overdue").click();
  await desk.locator("table.board:not([aria-busy])").waitFor();
  const shown = await desk.locator("tr.row").evaluateAll((rows) => rows.map((r) => r.dataset.employee));
  assert.ok(shown.includes("Roe,Rick"));
  assert.ok(shown.length < 100, `only the overdue rows are shown (${shown.length})`);
  await desk.locator("button.count.all").click();
  await desk.screenshot({ path: path.join(screenshots, "board-500-desktop.png") });

  // --- a message, live ---------------------------------------------------------------
  await rick.goto(`${server.base}/#board`);
  const badge = rick.locator("#inbox-badge");
  assert.ok(await badge.isHidden(), "no message waits at first");
  await desk.goto(`${server.base}/#message`);
  await desk.selectOption("#f-recipient", "Roe,Rick");
  await desk.fill("#f-caller", "R. Customer");
  await desk.locator("#f-caller").dispatchEvent("change");
  // At once, or as soon as the phonebook is in.
  await desk.waitForFunction(() => document.querySelector("#f-phone").value !== "", null, { timeout: 15000 });
  assert.equal(await desk.inputValue("#f-phone"), "555-0100", "the phonebook fills the phone in");
  assert.equal(await desk.inputValue("#f-company"), "Supplier, Ltd.");
  await desk.check('input[name="urgent"]');
  await desk.click("form.message-form button[type=submit]");
  await desk.locator(".notice.ok").waitFor();
  await waitFor(async () => (await badge.textContent()) === "1" && await badge.isVisible(), "the badge in Rick's page");
  const messages = path.join(server.data, "wywa.dat");
  assert.equal(fs.statSync(messages).size, 1624, "one message stored");

  await rick.click('a[data-view="messages"]');
  const item = rick.locator(".inbox-item");
  await item.waitFor();
  assert.match(await item.textContent(), /R\. Customer.*Supplier, Ltd\..*Urgent/s);
  await item.getByRole("button", { name: /Done/ }).click();
  await rick.locator(".empty:not([hidden])", { hasText: "No messages" }).waitFor();
  await waitFor(() => badge.isHidden(), "the badge gone");
  assert.equal(fs.statSync(messages).size, 0, "the message is deleted from the store");

  assert.deepEqual(problems, [], "no script error or failed request");
});
