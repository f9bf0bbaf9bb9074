// The front desk and the lobby, in chromium against a zelvorad of its own
// with 150 people in eight departments: the administrator makes a lobby
// display and puts Jane at the front desk; the display shows all 150 on one
// 1920x1080 screen without a sign-in; Jane punches Tom out from the board
// and both the display and a Zelvora Client see it; the server restarts and
// every browser is still signed in, the display carries on by itself; a
// session that ends while Jane types signs in again over the page, keeping
// her text; the administrator revokes the display and it goes dark at once. axe-core
// checks the new pages.
//
// Usage: node lobby_journey.mjs --zelvorad PATH --screenshots FOLDER

import assert from "node:assert/strict";
import os from "node:os";
import path from "node:path";
import fs from "node:fs";

import { accessibilityProblems, argument, boardFields, clientLogin, dateTimeText, launchBrowser, openPage, runJourney, startServer, waitFor }
  from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

const LAST = ["Adams", "Baker", "Clark", "Diaz", "Evans", "Fischer", "Garcia", "Hughes", "Ito", "Jones", "Khan",
  "Lopez", "Moreau", "Nguyen", "Olsen", "Patel", "Quinn", "Rossi", "Silva", "Turner", "Ueda", "Varga", "Weber",
  "Xu", "Young"];
const FIRST = ["Ana", "Ben", "Chloe", "Dev", "Ella", "Finn"];
const DEPARTMENTS = ["Accounts", "Engineering", "Front Office", "Legal", "Marketing", "Operations", "Sales", "Support"];
const hoursFromNow = (hours) => dateTimeText(new Date(Date.now() + hours * 3600 * 1000));

const people = [];
for (let i = 0; i < 150; i += 1) {
  const employee = i === 0 ? "Doe,Jane" : i === 1 ? "Baker,Tom" : `${LAST[i % LAST.length]},${FIRST[Math.floor(i / LAST.length)]}`;
  const kind = i % 10;
  const status = i === 1 ? "In" : ["In", "In", "In", "In", "In", "Out", "At lunch", "In a meeting", "Out", "On vacation"][kind];
  people.push(boardFields({
    employee, password: "pw", department: i === 0 ? "Front Office" : i === 1 ? "Support" : DEPARTMENTS[i % 8],
    workPhone: `555-${String(1000 + i)}`, status,
    returning: kind === 5 ? hoursFromNow(-1) : kind === 6 ? hoursFromNow(0.5) : kind === 8 ? hoursFromNow(2) : "",
    comments: kind === 7 ? "Room 2" : "",
  }));
}

// A Zelvora Client's login, until the board it is sent shows `key` with `status`.
async function clientSeesStatus(key, status) {
  const { reply, socket } = await clientLogin(server.clientPort, "Clark,Ana", "pw", { keepOpen: true });
  assert.match(reply, /^PREPARE_TO_RECEIVE/);
  const record = new RegExp(`${key}(?:<~FLD~>[^<]*){6}<~FLD~>${status}<~FLD~>`);
  let bundle = "";
  socket.on("data", (chunk) => { bundle += chunk.toString("latin1"); });
  socket.write("READY_TO_RECEIVE", "latin1");
  try {
    await waitFor(() => record.test(bundle), `${key} "${status}" in the client's board`);
  } finally {
    socket.destroy();
  }
}

const browser = await launchBrowser();
const server = await startServer(zelvorad, people);
const problems = [];

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });

  // The administrator: first-run set-up on this computer, a display of
  // every department, and Jane at the front desk.
  const admin = await openPage(browser, 1280, 800, problems);
  await admin.goto(`${server.base}/admin`);
  await admin.fill("#f-password", "front-desk-keys");
  await admin.fill("#f-again", "front-desk-keys");
  await admin.click("form.set-up button[type=submit]");
  await admin.locator("table.users").waitFor();
  await admin.click("a[data-view=front-desk]");
  await admin.fill("#new-name", "Lobby, ground floor");
  await admin.click(".display-form button[type=submit]");
  await admin.locator(".display-item").waitFor();
  const url = await admin.locator(".display-url").inputValue();
  assert.match(url, /\/display\/[0-9a-f]{64}$/);
  await admin.selectOption("#fd-add", "Doe,Jane");
  await admin.click(".front-desk-add button[type=submit]");
  await admin.locator(".front-desk-item", { hasText: "Doe,Jane" }).waitFor();
  assert.deepEqual(await accessibilityProblems(admin), [], "the administration's front desk page");
  await admin.screenshot({ path: path.join(screenshots, "admin-front-desk.png"), fullPage: true });

  // The lobby's screen: no sign-in, all 150 on one screen, no page turning.
  const lobby = await openPage(browser, 1920, 1080, problems);
  await lobby.goto(url);
  await waitFor(async () => (await lobby.locator(".lobby-person").count()) === 150, "150 people on the display");
  assert.equal(await lobby.locator("#lobby-name").textContent(), "Lobby, ground floor");
  assert.ok(await lobby.locator("#lobby-page").isHidden(), "one page holds 150");
  const outside = await lobby.evaluate(() => [...document.querySelectorAll(".lobby-person")]
    .filter((li) => { const r = li.getBoundingClientRect(); return r.right > innerWidth || r.bottom > innerHeight; }).length);
  assert.equal(outside, 0, "every person is on the screen");
  assert.ok(await lobby.locator(".lobby-overdue").count() >= 10, "the overdue marks show");
  assert.match(await lobby.locator("#lobby-time").textContent(), /\d:\d\d/);
  assert.deepEqual(await accessibilityProblems(lobby), [], "the lobby display");
  await lobby.screenshot({ path: path.join(screenshots, "lobby-1920x1080-150.png") });

  // A smaller screen cannot hold 150: it turns to its next page by itself.
  const small = await openPage(browser, 1280, 720, problems);
  await small.goto(url);
  await waitFor(async () => (await small.locator(".lobby-person").count()) === 150, "150 people on the small screen");
  assert.match(await small.locator("#lobby-page").textContent(), /^Page 1 of [2-9]$/);
  await waitFor(async () => /^Page 2 of/.test(await small.locator("#lobby-page").textContent()),
    "the next page after 15 seconds", 20000);
  await small.close();

  // Jane at the front desk punches Tom out from the board.
  const desk = await openPage(browser, 1280, 800, problems);
  await desk.goto(server.base);
  await desk.fill("#f-employee", "Doe,Jane");
  await desk.fill("#f-password", "pw");
  await desk.click("form.sign-in button[type=submit]");
  const tomChange = desk.locator('tr[data-employee="Baker,Tom"] .fd-change');
  await tomChange.waitFor();
  await tomChange.click();
  await desk.locator("dialog.fd-dialog button", { hasText: "Punch out" }).click();
  await desk.locator("dialog.fd-dialog .notice.ok").waitFor();
  assert.deepEqual(await accessibilityProblems(desk), [], "the front desk's dialog");
  await desk.screenshot({ path: path.join(screenshots, "front-desk-dialog.png") });
  await desk.locator("dialog.fd-dialog button", { hasText: "Close" }).click();
  const tomOnLobby = lobby.locator('.lobby-person[data-employee="Baker,Tom"] .lobby-status');
  await waitFor(async () => (await tomOnLobby.textContent()) === "Out", "Tom out on the display");
  await clientSeesStatus("Baker,Tom", "Out");
  assert.ok(server.stderr.join("").includes('the front desk "Doe,Jane" in a browser at 127.0.0.1: punched out "Baker,Tom"'));

  // A restart: every browser still signed in; the display carries on.
  assert.equal(await server.restart(), 0);
  await tomChange.click();
  await desk.locator("dialog.fd-dialog button", { hasText: "Punch in" }).click();
  await desk.locator("dialog.fd-dialog .notice.ok").waitFor();
  assert.equal(await desk.locator("dialog.sign-in-again").count(), 0, "Jane is still signed in");
  await desk.locator("dialog.fd-dialog button", { hasText: "Close" }).click();
  await waitFor(async () => (await tomOnLobby.textContent()) === "In", "Tom in again on the display");
  await clientSeesStatus("Baker,Tom", "In");

  // Jane's session ends while she types (the administrator gives her a
  // new password): the sign-in opens over the page, and what she typed
  // stays for her to save.
  await desk.goto(`${server.base}/#status`);
  await desk.fill("#f-comments", "Back from the dentist at 3");
  const accounts = await admin.evaluate(async () => {
    const token = await fetch("/api/admin/state").then((r) => r.json()).then((state) => state.antiForgeryToken);
    const answer = await fetch("/api/admin/accounts", { method: "PUT", headers: { "Content-Type": "application/json",
      "X-Zelvora-Token": token }, body: JSON.stringify({ employee: "Doe,Jane", password: "new-pw" }) });
    return answer.status;
  });
  assert.equal(accounts, 200);
  await desk.click("form.status-form button[type=submit]");
  await desk.locator("dialog.sign-in-again").waitFor();
  await desk.fill("dialog.sign-in-again #f-employee", "Doe,Jane");
  await desk.fill("dialog.sign-in-again #f-password", "new-pw");
  await desk.click("dialog.sign-in-again button[type=submit]");
  await desk.locator("dialog.sign-in-again").waitFor({ state: "detached" });
  assert.equal(await desk.locator("#f-comments").inputValue(), "Back from the dentist at 3");
  await desk.click("form.status-form button[type=submit]");
  await desk.locator(".notice.ok", { hasText: "saved" }).waitFor();

  // The administrator, still signed in, revokes the display: it goes dark.
  await admin.click(".display-item button:has-text('Revoke')");
  await admin.click(".question .button.danger");
  await admin.locator(".notice.ok", { hasText: "revoked" }).waitFor();
  assert.equal(await admin.locator("dialog.sign-in-again").count(), 0, "the administrator is still signed in");
  await lobby.locator("body.is-dark").waitFor({ timeout: 5000 });
  await lobby.reload();
  await lobby.locator("body.is-dark").waitFor();
  assert.deepEqual(problems, []);
});
