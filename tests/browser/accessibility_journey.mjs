// Every page an employee or the lobby sees, checked by axe-core at desktop
// (1280x800) and phone (390x844) width, in the light and the dark colour
// scheme: the sign-in; the board of a front-desk account, with a summary
// filter on and with the "Change" dialog open (its status offering the
// administrator's one-tap statuses); "My status" with a returning time
// read back and the form to plan an absence; "My messages" with a message
// waiting; "Take a message"; the "sign in again" dialog over a page whose
// session ended; and the lobby display. Screenshots of the board, "My
// status" and "My messages" at both widths in both schemes.
//
// Usage: node accessibility_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { accessibilityProblems, argument, boardFields, clientLogin, dateTimeText, launchBrowser, openPage,
  runJourney, startServer } from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

const DEPARTMENTS = ["Accounts", "Engineering", "Sales", "Support"];
const LAST = ["Adams", "Baker", "Clark", "Diaz", "Evans", "Fischer", "Garcia", "Hughes"];
const STATUSES = ["In", "In", "Out", "At lunch", "In a meeting", "Working from home", "Sick", "On holiday"];
const hoursFromNow = (hours) => dateTimeText(new Date(Date.now() + hours * 3600 * 1000));
const people = [{ employee: "Doe,Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14" }];
for (let i = 0; i < 40; i += 1) {
  people.push({
    employee: `${LAST[i % LAST.length]},${["Ann", "Ben", "Cara", "Dan", "Eve"][Math.floor(i / 8)]}`,
    department: DEPARTMENTS[i % DEPARTMENTS.length], status: STATUSES[i % STATUSES.length],
    returning: i % 8 === 2 ? hoursFromNow(-1) : i % 8 === 3 ? hoursFromNow(0.5) : "",
    reachedAt: i % 5 === 0 ? "Cell 555-0199" : "", workPhone: `555-${2000 + i}`,
    comments: i % 3 === 0 ? "Back after the client call" : "",
  });
}
const board = people.map((p) => boardFields({ password: "pw", statusChanged: dateTimeText(new Date()), ...p }));

const SCREENS = [
  { name: "desktop", width: 1280, height: 800, colorScheme: "light" },
  { name: "phone", width: 390, height: 844, colorScheme: "light" },
  { name: "desktop-dark", width: 1280, height: 800, colorScheme: "dark" },
  { name: "phone-dark", width: 390, height: 844, colorScheme: "dark" },
];

const browser = await launchBrowser();
const server = await startServer(zelvorad, board, { ini: "[FrontDesk]\r\nAccounts=Doe,Jane\r\n" });
const problems = [];

// axe-core's findings on `page` as `what` shows it: none.
async function noProblems(page, what, screen) {
  assert.deepEqual(await accessibilityProblems(page), [], `${what} at ${screen.name} width`);
}

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  // The phonebook as a client sends it, for "Take a message".
  await clientLogin(server.clientPort, "Doe,Jane", "pw",
    { phone: "1|R. Customer<~FLD~>Supplier, Ltd.<~FLD~>555-0100<~REC~>" });
  // A lobby display of every department, made by the administrator.
  const admin = await openPage(browser, 1280, 800, problems);
  await admin.goto(`${server.base}/favicon.svg`);
  const displayPath = await admin.evaluate(async () => {
    const post = async (url, body, token) => (await fetch(url, { method: "POST", body: JSON.stringify(body),
      headers: { "Content-Type": "application/json", ...(token ? { "X-Zelvora-Token": token } : {}) } })).json();
    const { antiForgeryToken } = await post("/api/admin/set-up", { password: "lobby-keys-1" });
    const { displays } = await post("/api/admin/displays", { name: "Lobby" }, antiForgeryToken);
    return displays[0].path;
  });
  await admin.context().close();

  let messageTaken = false;
  for (const screen of SCREENS) {
    const page = await openPage(browser, screen.width, screen.height, problems, { colorScheme: screen.colorScheme });
    console.log(`checking at ${screen.name}`);
    const shot = (name) => page.screenshot({ path: path.join(screenshots, `${name}-${screen.name}.png`) });

    await page.goto(`${server.base}/`);
    await page.locator("form.sign-in").waitFor();
    await noProblems(page, "the sign-in", screen);
    await page.fill("#f-employee", "jane doe");
    await page.fill("#f-password", "pw");
    await page.click("form.sign-in button[type=submit]");
    await page.locator("#topbar:not([hidden])").waitFor();

    // The board, a front desk's: filtered by a count, then a "Change" dialog.
    await page.locator('tr.row[data-employee="Baker,Ann"] .fd-change').waitFor();
    await page.locator("button.count.overdue").click();
    await page.locator("button.count.overdue[aria-pressed=true]").waitFor();
    await page.locator("table.board:not([aria-busy])").waitFor();
    await noProblems(page, "the board showing the overdue", screen);
    await page.locator("button.count.all").click();
    await page.locator("table.board:not([aria-busy])").waitFor();
    await noProblems(page, "the board", screen);
    await shot("board");
    await page.locator('tr.row[data-employee="Baker,Ann"] .fd-change').click();
    const dialog = page.locator("dialog.fd-dialog");
    await dialog.waitFor();
    const offered = await dialog.locator("#fd-status-choices option").evaluateAll((o) => o.map((e) => e.value));
    assert.deepEqual(offered, ["In", "Out", "At lunch", "In a meeting", "Working from home", "On holiday", "Sick"],
      "the status offers the one-tap statuses");
    await dialog.getByRole("button", { name: "At lunch" }).click();
    await dialog.locator(".notice.ok", { hasText: "Ann Baker is At lunch." }).waitFor();
    await dialog.locator("details.fd-absence summary").click();
    await noProblems(page, "the front desk's dialog", screen);
    await dialog.getByRole("button", { name: "Close" }).click();

    // "My status": a returning time read back, and the absence form.
    await page.click('a[data-view="status"]');
    await page.fill("#f-returning", "tomorrow 9am");
    await page.locator("#returning-readback", { hasText: "not a time" }).waitFor();
    await noProblems(page, "My status with a returning time read back", screen);
    await page.fill("#f-returning", "12/9/26 9:00 AM");
    await page.locator("#returning-readback", { hasText: "read as" }).waitFor();
    await page.evaluate(() => window.scrollTo(0, 0));
    await shot("my-status");

    // "Take a message", with the phonebook; once, a message for Jane herself.
    await page.click('a[data-view="message"]');
    await page.locator("form.message-form").waitFor();
    await noProblems(page, "Take a message", screen);
    if (!messageTaken) {
      await page.selectOption("#f-recipient", "Doe,Jane");
      await page.fill("#f-caller", "R. Customer");
      await page.locator("#f-caller").dispatchEvent("change");
      await page.check('input[name="urgent"]');
      await page.fill("#f-regarding", "The invoice of March");
      await page.click("form.message-form button[type=submit]");
      await page.locator(".notice.ok").waitFor();
      messageTaken = true;
    }

    await page.click('a[data-view="messages"]');
    await page.locator(".inbox-item").waitFor();
    await noProblems(page, "My messages", screen);
    await shot("my-messages");

    // The session ends under the page: the sign-in opens over it.
    await page.context().clearCookies();
    await page.click('a[data-view="status"]');
    await page.locator("dialog.sign-in-again").waitFor();
    await noProblems(page, "the sign-in again", screen);
    await page.context().close();

    const lobby = await openPage(browser, screen.width, screen.height, problems, { colorScheme: screen.colorScheme });
    await lobby.goto(`${server.base}${displayPath}`);
    await lobby.locator(".lobby-person").first().waitFor();
    await noProblems(lobby, "the lobby display", screen);
    await lobby.context().close();
  }
  // The front desk's taps reached the board: Ann is at lunch.
  assert.ok(server.stderr.join("").includes('the front desk "Doe,Jane"'));
  assert.deepEqual(problems.filter((p) => !/status of 401/.test(p)), [], "no script error or failed request");
});
