// Running the office from a browser (Debian's chromium, driven by
// playwright-core), from an empty data folder: the first-run set-up of the
// administrator's password, a department and an account made in the
// administration pages (refused first, with the window's own message; the
// starting password in a password field), a client logging in with that
// account and showing live in the user table, the status log newest first,
// filtered by employee and by a range of days, its CSV download and its
// printout; phonebook entries added, edited and deleted after a question;
// the Options page laid out before its data arrive; the navigation within a
// phone's width; axe-core on every page and open question or dialog at
// desktop and phone width; screenshots of every page at both widths.
//
// Usage: node admin_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import {
  accessibilityProblems, argument, clientLogin, clientRequest, launchBrowser, openPage, runJourney, startServer, waitFor,
} from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

// The browser first: without chromium the test ends (skipped) before a
// server has started.
const browser = await launchBrowser();
const server = await startServer(zelvorad);
const { base } = server;
const problems = [];
async function shot(page, name) {
  await page.evaluate(() => window.scrollTo(0, 0));  // the sticky bar at the top of the whole page
  await page.screenshot({ path: path.join(screenshots, `${name}.png`), fullPage: true });
}

// axe-core's findings on the page as it stands, kept with where they were
// seen; asserted empty at the end, so that one run shows them all.
const accessibility = [];
async function axe(page, where) {
  for (const line of await accessibilityProblems(page)) accessibility.push(`${where}: ${line}`);
}

// The day of `date` as a date input holds it (2024-05-31).
const dayText = (date) =>
  `${date.getFullYear()}-${String(date.getMonth() + 1).padStart(2, "0")}-${String(date.getDate()).padStart(2, "0")}`;

async function noSidewaysScrolling(page, what) {
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  assert.ok(overflow <= 0, `${what} is ${overflow} px wider than the phone`);
}

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  const page = await openPage(browser, 1280, 800, problems, { acceptDownloads: true });

  // First run, from another address of this computer (when it has one):
  // the page says where the password can be set, and offers no form.
  const other = Object.values(os.networkInterfaces()).flat()
    .find((a) => a && a.family === "IPv4" && !a.internal);
  if (other) {
    await page.goto(`${base.replace("127.0.0.1", other.address)}/admin`);
    await page.locator("ul.steps").waitFor();
    assert.equal(await page.locator("form.set-up").count(), 0);
    await shot(page, "admin-not-here-desktop");
  }

  // First run: no password yet, and this browser is on the server's own
  // computer, so the page offers to set one.
  await page.goto(`${base}/admin`);
  await page.locator("form.set-up").waitFor();
  await shot(page, "admin-set-up-desktop");
  await axe(page, "first-run set-up, desktop");
  await page.fill("#f-password", "office-keys");
  await page.fill("#f-again", "office-key");
  await page.click("form.set-up button[type=submit]");
  assert.match(await page.locator("form.set-up .notice.error").textContent(), /differ/);
  await page.fill("#f-again", "office-keys");
  await page.click("form.set-up button[type=submit]");
  await page.locator("table.users").waitFor();
  await page.locator("text=There are no accounts yet").waitFor();
  const ini = fs.readFileSync(path.join(server.data, "..", "prog", "zva.ini"), "latin1");
  assert.match(ini, /AdminPassword=\$argon2id\$/, "only the hash is stored");
  assert.doesNotMatch(ini, /office-keys/);

  // A department, then an account: first refused as the window refuses it.
  await page.click("a[data-view=accounts]");
  await page.fill(".new-department #f-name", "Sales");
  await page.click(".new-department button[type=submit]");
  await page.locator('article.dept-card[data-department="Sales"]').waitFor();
  await page.fill(".new-department #f-name", "Sales");
  await page.click(".new-department button[type=submit]");
  await waitFor(async () => (await page.locator(".card:has(.new-department) .notice").textContent()) ===
    'Department "Sales" already exists.', "the refusal of a second Sales");
  await page.fill(".new-department #f-name", "Support");
  await page.click(".new-department button[type=submit]");
  await page.locator('article.dept-card[data-department="Support"]').waitFor();

  await page.fill(".new-account #f-firstName", "Jane");
  await page.click(".new-account button[type=submit]");
  const accountNotice = page.locator(".card:has(.new-account) .notice");
  await waitFor(async () => (await accountNotice.textContent()) === "Last Name is required.",
    "the refusal without a last name");
  assert.equal(await page.getAttribute(".new-account #f-lastName", "aria-invalid"), "true");
  await page.fill(".new-account #f-lastName", "Doe");
  // The starting password: the default, hidden as it is typed but for a
  // "Show"; a text the clients cannot store is refused, naming the field.
  assert.equal(await page.inputValue(".new-account #f-password"), "580214", "the default password");
  assert.equal(await page.getAttribute(".new-account #f-password", "type"), "password");
  await page.click('.new-account button[aria-controls="f-password"]');
  assert.equal(await page.getAttribute(".new-account #f-password", "type"), "text");
  await page.fill(".new-account #f-password", "");
  await page.selectOption(".new-account #f-department", "Sales");
  await page.click(".new-account button[type=submit]");
  await waitFor(async () => (await accountNotice.textContent()) === "Password is required.", "the refusal without a password");
  assert.equal(await page.getAttribute(".new-account #f-password", "aria-invalid"), "true");
  await page.fill(".new-account #f-password", "пароль");
  await page.click(".new-account button[type=submit]");
  await waitFor(async () => /Password/.test(await accountNotice.textContent()) &&
    (await page.getAttribute(".new-account #f-password", "aria-invalid")) === "true", "the refusal of a Cyrillic password");
  await axe(page, "accounts with a refused password, desktop");
  await page.fill(".new-account #f-password", "pw");
  await page.selectOption(".new-account #f-department", "Sales");
  await page.click(".new-account button[type=submit]");
  await waitFor(async () => (await accountNotice.textContent()) ===
    'New User "Doe,Jane" has been added to Department "Sales".', "the new account's message");
  await page.locator('tr.account[data-employee="Doe,Jane"][data-department="Sales"]').waitFor();
  await page.fill(".new-account #f-lastName", "Roe");
  await page.fill(".new-account #f-firstName", "Rick");
  await page.selectOption(".new-account #f-department", "Support");
  await page.click(".new-account button[type=submit]");
  await page.locator('tr.account[data-employee="Roe,Rick"]').waitFor();

  // "Modify User": Rick's work phone and comments.
  await page.click('tr.account[data-employee="Roe,Rick"] button:has-text("Modify")');
  await page.locator("form.modify-user").waitFor();
  await page.fill("form.modify-user #f-workPhone", "555-0111");
  await page.fill("form.modify-user #f-comments", "Back Thursday");
  await shot(page, "admin-modify-user-desktop");
  await axe(page, "Modify User, desktop");
  await page.click("form.modify-user button[type=submit]");
  await page.locator('tr.account[data-employee="Roe,Rick"]').waitFor();
  await shot(page, "admin-accounts-desktop");
  await axe(page, "accounts, desktop");
  // A delete asks first; No keeps the account.
  await page.click('tr.account[data-employee="Roe,Rick"] button:has-text("Delete")');
  await page.locator('.accounts-list [role=alertdialog]').waitFor();
  await axe(page, "accounts with the delete question, desktop");
  await page.click('.accounts-list [role=alertdialog] button:has-text("No")');
  await page.locator('tr.account[data-employee="Roe,Rick"]').waitFor();

  // The client logs in with the new account; the user table shows it
  // "Updating" while its exchange runs, then "Idle", without a reload.
  await page.click("a[data-view=users]");
  await page.locator('tr.row[data-employee="Doe,Jane"]').waitFor();
  const { reply, socket } = await clientLogin(server.clientPort, "Doe,Jane", "pw", {
    phone: "2|R. Customer<~FLD~>Supplier, Ltd.<~FLD~>555-0100<~REC~>A. Caller<~FLD~>Northwind<~FLD~>555-0199<~REC~>",
    keepOpen: true });
  assert.match(reply, /^PREPARE_T/, "the client logs in with the account made in the browser");
  await waitFor(async () => (await page.locator('tr.row[data-employee="Doe,Jane"] .activity').textContent()) === "Updating",
    "Updating in the user table", 5000);
  await shot(page, "admin-users-desktop");
  await axe(page, "users, desktop");
  socket.destroy();
  await waitFor(async () => (await page.locator('tr.row[data-employee="Doe,Jane"] .activity').textContent()) === "Idle",
    "Idle again", 5000);

  // Status changes for the log: Jane punches out, Rick's client sends a
  // status with a comma, quotes and a line of its own.
  await clientRequest(server.clientPort, "PUNCH_OUT:Doe,Jane:", { want: Infinity });
  const rick = new Array(22).fill("");
  Object.assign(rick, { 0: "Roe,Rick", 1: "Roe", 2: "Rick", 3: "580214", 4: "Support", 7: "Out",
    8: "2:00 PM", 9: "Café \"Nord\"", 10: "Lunch, then the dentist" });
  assert.match(await clientLogin(server.clientPort, "Roe,Rick", "580214", { board: rick }), /^PREPARE_T/);

  // The log, newest first; filtered by a range of days, then by employee;
  // the CSV of the same filter; the printout.
  await page.click("a[data-view=log]");
  await waitFor(async () => (await page.locator("table.log tr.row").count()) === 2, "two log entries");
  assert.equal(await page.locator("table.log tr.row .employee").first().textContent(), "Roe,Rick", "newest first");
  const today = new Date();
  await page.fill("#f-from", dayText(new Date(today.getTime() + 86400000)));
  await waitFor(async () => (await page.locator("table.log tr.row").count()) === 0, "no entry from tomorrow on");
  await page.fill("#f-from", dayText(today));
  await page.fill("#f-to", dayText(today));
  await waitFor(async () => (await page.locator("table.log tr.row").count()) === 2, "today's two entries");
  await shot(page, "admin-log-range-desktop");
  await axe(page, "status log with a range of days, desktop");
  await page.selectOption("#f-filter-kind", "employee");
  await page.selectOption("#f-filter-value", "Roe,Rick");
  await waitFor(async () => (await page.locator("table.log tr.row").count()) === 1 &&
    (await page.locator("table.log tr.row .employee").textContent()) === "Roe,Rick", "Rick's entry alone");
  assert.equal(await page.locator("table.log tr.row .comments").textContent(), "Lunch, then the dentist");
  await shot(page, "admin-log-desktop");
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("a:has-text('Download CSV')")]);
  assert.match(await page.getAttribute("a:has-text('Download CSV')", "href"), new RegExp(`from=${dayText(today)}&to=${dayText(today)}`));
  const csv = fs.readFileSync(await download.path(), "utf8");
  const lines = csv.split("\r\n");
  // A byte order mark first, so that Excel reads the accents right.
  assert.equal(lines[0], "\uFEFFEmployee,Department,Date,Time,Status,Returning,ReachedAt,Comments");
  assert.equal(lines.length, 3, "the header, Rick's entry and the end of the last line");
  // The key holds a comma, Rick's texts a comma and quotes: quoted, quotes doubled.
  const entry = lines[1].match(/^"Roe,Rick",Support,([^,]+),([^,]+),Out,2:00 PM,"Café ""Nord""","Lunch, then the dentist"$/);
  assert.ok(entry, `the CSV line of Rick's entry: ${lines[1]}`);
  assert.equal(download.suggestedFilename(), "status-change-log.csv");
  await page.click("a:has-text('Printout')");
  await page.locator(".printout-line").first().waitFor();
  assert.equal(await page.locator(".printout-title").textContent(), "Zelvora Status Change Log");
  assert.match(await page.locator(".printout-stamp").textContent(), /^Printed on .+ at .+$/);
  assert.equal(await page.locator(".printout-line").first().textContent(),
    `Roe,Rick, Support, ${entry[1]}, ${entry[2]}, Out, 2:00 PM, Café "Nord", Lunch, then the dentist`);
  await shot(page, "admin-printout-desktop");
  await axe(page, "printout, desktop");

  // The phonebook Jane's client sent: an entry added (refused first without
  // a caller), one edited, one deleted after a question.
  await page.click("a[data-view=phonebook]");
  await waitFor(async () => (await page.locator("table.phonebook tr.row").count()) === 2, "the two callers");
  await shot(page, "admin-phonebook-desktop");
  await axe(page, "phonebook, desktop");
  await page.click("button:has-text('Add an entry')");
  const entryDialog = page.locator("dialog.entry-dialog");
  await entryDialog.locator("#f-caller").waitFor();
  await page.fill("dialog.entry-dialog #f-company", "Fabrikam");
  await page.click("dialog.entry-dialog button[type=submit]");
  await waitFor(async () => (await entryDialog.locator(".notice.error").textContent()) === 'The field "Caller" is empty.',
    "the refusal without a caller");
  await axe(page, "phonebook's new entry refused, desktop");
  await page.fill("dialog.entry-dialog #f-caller", "C. Caller");
  await page.fill("dialog.entry-dialog #f-phone", "555-0150");
  await page.click("dialog.entry-dialog button[type=submit]");
  await waitFor(async () => (await page.locator("table.phonebook tr.row").count()) === 3 &&
    (await entryDialog.count()) === 0, "the new entry");
  await page.click('button[aria-label="Edit A. Caller"]');
  await entryDialog.locator("#f-caller").waitFor();
  assert.equal(await page.inputValue("dialog.entry-dialog #f-company"), "Northwind");
  await page.fill("dialog.entry-dialog #f-caller", "Ann Caller");
  await page.fill("dialog.entry-dialog #f-phone", "555-0198");
  await shot(page, "admin-phonebook-edit-desktop");
  await axe(page, "phonebook's edit dialog, desktop");
  await page.click("dialog.entry-dialog button[type=submit]");
  await waitFor(async () => (await page.locator("table.phonebook th.caller").allTextContents()).join("|") ===
    "Ann Caller|C. Caller|R. Customer", "the entry edited, in caller order");
  await page.click('button[aria-label="Delete R. Customer"]');
  await page.locator(".admin-page > .question-slot [role=alertdialog]").waitFor();
  await axe(page, "phonebook's delete question, desktop");
  await page.click('.question-slot button:has-text("Yes")');
  await waitFor(async () => (await page.locator("table.phonebook tr.row").count()) === 2, "R. Customer deleted");

  // The lobby displays and the front desk.
  await page.click("a[data-view=front-desk]");
  await page.fill("#new-name", "Lobby");
  await page.click("form.display-form button[type=submit]");
  await page.locator(".display-item").waitFor();
  await page.click('button[aria-label="Revoke Lobby"]');
  await page.locator("[role=alertdialog]").waitFor();
  await axe(page, "front desk with the revoke question, desktop");
  await page.click('[role=alertdialog] button:has-text("No")');
  await page.click("a[data-view=absences]");
  await page.locator("main h2").first().waitFor();
  await axe(page, "absences and calendars, desktop");

  // The options: laid out before their data arrive, so that nothing moves
  // (the layout shifts the browser reports add up to nothing).
  await page.addInitScript(() => {
    window.layoutShifts = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) {
        if (!entry.hadRecentInput) window.layoutShifts.push(entry.value);
      }
    }).observe({ type: "layout-shift", buffered: true });
  });
  await page.goto("about:blank");
  await page.goto(`${base}/admin#options`);
  await page.locator('form.options-form[aria-busy="false"] #f-maxLogSize').waitFor();
  await page.locator(".preset-line").first().waitFor();  // a card that fills in later
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  const shifts = await page.evaluate(() => window.layoutShifts);
  const shifted = shifts.reduce((a, b) => a + b, 0);
  assert.ok(shifted < 0.01, `the Options page moved as its data arrived (layout shift ${shifted}: ${shifts})`);
  console.log(`Options page: cumulative layout shift ${shifted.toFixed(4)}`);
  await axe(page, "options, desktop");
  await page.fill("#f-maxLogSize", "250");
  await page.fill("#f-autoOutAt", "18:00");
  await page.click("form.options-form button[type=submit]");
  await waitFor(async () => (await page.locator("form.options-form .notice.ok").textContent()) === "The options are saved.",
    "the options' save");
  await shot(page, "admin-options-desktop");
  const saved = fs.readFileSync(path.join(server.data, "..", "prog", "zva.ini"), "latin1");
  assert.match(saved, /MaxLogSize=250\r\n/);
  assert.match(saved, /AutoOutAt=18:00\r\n/);

  // A phone's width: each page fits without sideways scrolling, the
  // navigation with every page in view (down to 360 px), no axe finding.
  const phone = await openPage(browser, 390, 844, problems, { isMobile: true, hasTouch: true });
  await phone.goto(`${base}/admin`);
  await phone.locator("form.admin-sign-in").waitFor();
  await axe(phone, "sign-in, phone");
  await phone.fill("#f-password", "office-keys");
  await phone.click("form.admin-sign-in button[type=submit]");
  await phone.locator("table.users").waitFor();
  const ready = {
    users: "table.users tr.row", accounts: "tr.account", absences: "main h2", phonebook: "table.phonebook tr.row",
    "front-desk": ".display-item", log: "table.log tr.row", options: 'form.options-form[aria-busy="false"]',
  };
  for (const width of [360, 400]) {
    await phone.setViewportSize({ width, height: 844 });
    await noSidewaysScrolling(phone, `the navigation at ${width} px`);
    for (const tab of await phone.locator("nav.tabs a").all()) {
      const box = await tab.boundingBox();
      assert.ok(box && box.x >= 0 && box.x + box.width <= width, `the tab "${await tab.textContent()}" at ${width} px`);
    }
  }
  await phone.setViewportSize({ width: 390, height: 844 });
  for (const [view, selector] of Object.entries(ready)) {
    await phone.click(`nav.tabs a[data-view="${view}"]`);
    await phone.locator(selector).first().waitFor();
    await noSidewaysScrolling(phone, `the ${view} page`);
    await shot(phone, `admin-${view}-phone`);
    await axe(phone, `${view}, phone`);
  }
  await phone.click('nav.tabs a[data-view="log"]');
  await phone.fill("#f-from", dayText(today));
  await phone.fill("#f-to", dayText(today));
  await waitFor(async () => (await phone.locator("table.log tr.row").count()) === 2, "the range on the phone");
  await noSidewaysScrolling(phone, "the log with a range of days");
  await shot(phone, "admin-log-range-phone");
  await phone.click('nav.tabs a[data-view="phonebook"]');
  await phone.click('button[aria-label="Edit Ann Caller"]');
  await phone.locator("dialog.entry-dialog #f-caller").waitFor();
  await shot(phone, "admin-phonebook-edit-phone");
  await axe(phone, "phonebook's edit dialog, phone");
  await phone.click('dialog.entry-dialog button:has-text("Cancel")');
  await phone.click('nav.tabs a[data-view="accounts"]');
  await phone.click('tr.account[data-employee="Roe,Rick"] button:has-text("Modify")');
  await phone.locator("form.modify-user").waitFor();
  await noSidewaysScrolling(phone, "Modify User");
  await axe(phone, "Modify User, phone");

  // Signing out goes back to the sign-in.
  await page.click("#sign-out");
  await page.locator("form.admin-sign-in").waitFor();
  assert.deepEqual(problems, []);
  assert.deepEqual(accessibility, [], "axe-core's findings");
  console.log(`screenshots in ${screenshots}`);
});
