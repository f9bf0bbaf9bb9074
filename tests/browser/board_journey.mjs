// The board in a real browser (Debian's chromium, driven by playwright-core):
// sign in, see the board, watch a row change live when a client logs in,
// punch out, take a message; screenshots of the board at desktop and phone
// width. Starts a zelvorad of its own in a temporary folder.
//
// Usage: node board_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { argument, boardFields, clientLogin as login, dateTimeText, FIELD, launchBrowser, openPage as open,
  runJourney, startServer, waitFor } from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

const hoursAgo = (h) => dateTimeText(new Date(Date.now() - h * 3600 * 1000));

const people = [
  { employee: "Adams,Grace", department: "Sales", status: "In", workPhone: "555-0101", extension: "11" },
  { employee: "Baker,Tom", department: "Support", status: "Out", returning: hoursAgo(1), reachedAt: "Cell 555-0199",
    comments: "Client visit at Northwind", workPhone: "555-0102", statusChanged: hoursAgo(3) },
  { employee: "Doe,Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14",
    comments: "<img src=x onerror=alert(1)> stays text" },
  { employee: "Fischer,Anna", department: "Engineering", status: "In a meeting", returning: hoursAgo(-2),
    reachedAt: "Room 3B", comments: "Quarterly planning", workPhone: "555-0106", extension: "16" },
  { employee: "Roe,Rick", department: "Support", status: "In", workPhone: "555-0111", extension: "21" },
].map((p) => boardFields({ password: "pw", statusChanged: hoursAgo(2), ...p }));

// --- the server ------------------------------------------------------------------

// The browser first: without chromium the test ends (skipped) before a
// server has started.
const browser = await launchBrowser();
const server = await startServer(zelvorad, people);
const { base, data } = server;

// A Zelvora Client's login that carries its own board record: merged before
// the server answers "PREPARE_TO_RECEIVE".
const clientLogin = (fields) => login(server.clientPort, fields[0], fields[3], { board: fields });

// --- the journey ---------------------------------------------------------------------

const problems = [];
const openPage = (width, height) => open(browser, width, height, problems);

async function signIn(page, name, password) {
  await page.goto(`${base}/`);
  await page.fill("#f-employee", name);
  await page.fill("#f-password", password);
  await page.click("form.sign-in button[type=submit]");
}

const row = (page, key) => page.locator(`tr.row[data-employee="${key}"]`);
await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  const page = await openPage(1280, 800);

  // Sign in: refused, then accepted.
  await signIn(page, "Doe,Jane", "wrong");
  await page.locator(".sign-in .notice.error").waitFor();
  assert.match(await page.locator(".sign-in .notice.error").textContent(), /not right/);
  await page.fill("#f-password", "pw");
  await page.click("form.sign-in button[type=submit]");

  // The board: every account, the markup a client stored shown as text.
  await row(page, "Roe,Rick").waitFor();
  assert.equal(await page.locator("tr.row").count(), people.length);
  assert.equal(await row(page, "Doe,Jane").locator(".comments").textContent(), "<img src=x onerror=alert(1)> stays text");
  assert.equal(await page.locator("table.board img").count(), 0);
  assert.equal(await row(page, "Baker,Tom").locator(".overdue-mark").count(), 1, "a returning time that has passed");
  assert.equal(await row(page, "Fischer,Anna").locator(".overdue-mark").count(), 0, "a returning time still ahead is not overdue");
  await page.locator(".live-mark.live").waitFor();

  // Department filter and search.
  await page.selectOption("select.department", "Support");
  assert.equal(await page.locator("tr.row").count(), 2);
  await page.selectOption("select.department", "");
  await page.fill("input.search", "planning");
  await waitFor(async () => (await page.locator("tr.row").count()) === 1, "the search");
  await page.fill("input.search", "");
  await waitFor(async () => (await page.locator("tr.row").count()) === people.length, "the whole board again");

  // A client logs in with a new status: the row changes without a reload.
  const rick = [...people[4]];
  rick[FIELD.status] = "Working from home";
  rick[FIELD.comments] = "Back Thursday";
  const navigations = [];
  page.on("framenavigated", (frame) => navigations.push(frame.url()));
  const before = Date.now();
  assert.match(await clientLogin(rick), /^PREPARE_T/);
  await waitFor(async () => (await row(page, "Roe,Rick").locator(".status").textContent()) === "Working from home",
    "the client's change on the board", 5000);
  const seenAfter = Date.now() - before;
  assert.ok(seenAfter < 3000, `the change took ${seenAfter} ms to show`);
  assert.match(await row(page, "Roe,Rick").getAttribute("class"), /changed/);
  assert.deepEqual(navigations, [], "the page did not reload");
  console.log(`a client's change showed on the board after ${seenAfter} ms`);
  await page.screenshot({ path: path.join(screenshots, "board-desktop.png"), fullPage: true });

  // My status: punch out; the board follows.
  await page.click("a[data-view=status]");
  await page.locator(".status-form").waitFor();
  await page.click("button:has-text('Punch out')");
  await page.locator(".notice.ok").waitFor();
  assert.equal(await page.locator(".current .pill").textContent(), "Out");
  await page.fill("#f-returning", "4:00 PM");
  await page.fill("#f-comments", "Dentist");
  await page.click("button:has-text('Save status')");
  await waitFor(async () => (await page.locator(".notice.ok").textContent()) === "Your status is saved.", "the save");
  await page.screenshot({ path: path.join(screenshots, "my-status-desktop.png") });
  await page.click("a[data-view=board]");
  await waitFor(async () => (await row(page, "Doe,Jane").locator(".comments").textContent()) === "Dentist",
    "my own change on the board");
  assert.equal(await row(page, "Doe,Jane").locator(".status").textContent(), "Out");

  // Take a message for Rick.
  await page.click("a[data-view=message]");
  await page.selectOption("#f-recipient", "Roe,Rick");
  await page.fill("#f-caller", "R. Customer");
  await page.fill("#f-company", "Supplier Ltd");
  await page.fill("#f-phone", "555-0100");
  await page.check("input[name=called]");
  await page.check("input[name=urgent]");
  await page.fill("#f-regarding", "invoice 12");
  await page.fill("#f-comments", "please call back");
  await page.screenshot({ path: path.join(screenshots, "message-desktop.png") });
  await page.click("button:has-text('Take message')");
  await page.locator(".notice.ok").waitFor();
  assert.match(await page.locator(".notice.ok").textContent(), /Message for Rick Roe/);
  const messages = fs.readFileSync(path.join(data, "wywa.dat"));
  assert.equal(messages.length, 1624, "one message stored");
  assert.equal(messages.subarray(0, 8).toString("latin1"), "Roe,Rick");
  assert.equal(messages.subarray(256, 264).toString("latin1"), "Doe,Jane");

  // A phone's width: the board fits without sideways scrolling.
  const phone = await openPage(360, 740);
  await signIn(phone, "Roe,Rick", "pw");
  await row(phone, "Doe,Jane").waitFor();
  const overflow = await phone.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  assert.ok(overflow <= 0, `the board is ${overflow} px wider than the phone`);
  await phone.screenshot({ path: path.join(screenshots, "board-phone.png"), fullPage: true });
  await phone.click("a[data-view=message]");
  await phone.locator(".message-form").waitFor();
  await phone.screenshot({ path: path.join(screenshots, "message-phone.png"), fullPage: true });

  // Signing out goes back to the sign-in.
  await page.click("#sign-out");
  await page.locator("form.sign-in").waitFor();

  assert.deepEqual(problems, []);
  console.log(`screenshots in ${screenshots}`);
});
