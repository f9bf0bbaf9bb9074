// Planning an absence in a real browser (Debian's chromium, driven by
// playwright-core): plan it in "My status", see it upcoming beside the name
// on the board, cancel it, and see it gone from both; screenshots on the
// way. Starts a zelvorad of its own in a temporary folder.
//
// Usage: node schedule_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { argument, boardFields, launchBrowser, openPage, runJourney, startServer, waitFor } from "./support.mjs";

const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));

const people = [
  { employee: "Adams,Grace", department: "Sales", status: "In" },
  { employee: "Doe,Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14" },
  { employee: "Roe,Rick", department: "Support", status: "In" },
].map((p) => boardFields({ password: "pw", ...p }));

// Tomorrow at `hour`:00 as a datetime-local input takes it.
function tomorrowAt(hour) {
  const at = new Date();
  at.setDate(at.getDate() + 1);
  const two = (n) => String(n).padStart(2, "0");
  return `${at.getFullYear()}-${two(at.getMonth() + 1)}-${two(at.getDate())}T${two(hour)}:00`;
}

const browser = await launchBrowser();
const server = await startServer(zelvorad, people);
const problems = [];

await runJourney(browser, server, async () => {
  fs.mkdirSync(screenshots, { recursive: true });
  const page = await openPage(browser, 1280, 900, problems);
  await page.goto(`${server.base}/`);
  await page.fill("#f-employee", "Doe,Jane");
  await page.fill("#f-password", "pw");
  await page.click("form.sign-in button[type=submit]");
  const jane = page.locator('tr.row[data-employee="Doe,Jane"]');
  await jane.waitFor();
  assert.equal(await page.locator(".board .away").count(), 0);

  // Plan: tomorrow, 2 to 4 PM, at the dentist.
  await page.click("a[data-view=status]");
  await page.locator(".absence-form").waitFor();
  await page.fill("#a-from", tomorrowAt(14));
  await page.fill("#a-until", tomorrowAt(16));
  await page.fill("#a-status", "At the dentist");
  await page.fill("#a-comments", "Back by 4");
  await page.click("button:has-text('Plan absence')");
  await page.locator(".absences li.absence").waitFor();
  const planned = await page.locator(".absences li.absence").textContent();
  assert.match(planned, /2:00 PM to 4:00 PM/);
  assert.match(planned, /At the dentist/);
  assert.match(await page.locator(".absences-card .notice.ok").textContent(), /planned/);
  await page.screenshot({ path: path.join(screenshots, "absence-planned.png"), fullPage: true });

  // Upcoming on the board, beside the name; live, without a reload.
  await page.click("a[data-view=board]");
  await waitFor(async () => (await jane.locator(".away").count()) === 1, "the absence beside the name");
  const tomorrow = new Date(Date.now() + 24 * 3600 * 1000).toLocaleDateString(undefined, { weekday: "short" });
  assert.equal(await jane.locator(".away").textContent(), `away ${tomorrow} 2:00 PM to 4:00 PM`);
  assert.equal(await jane.locator(".away").getAttribute("title"), "At the dentist");
  assert.equal(await page.locator(".board .away").count(), 1);
  await page.screenshot({ path: path.join(screenshots, "board-absence-upcoming.png"), fullPage: true });

  // Cancel it: gone from the list and from the board.
  await page.click("a[data-view=status]");
  await page.locator(".absences li.absence").waitFor();
  await page.click(".absences li.absence button:has-text('Cancel')");
  await waitFor(async () => (await page.locator(".absences li.absence").count()) === 0, "the cancelled absence gone");
  assert.match(await page.locator(".absences-card .notice.ok").textContent(), /cancelled/);
  await page.click("a[data-view=board]");
  await waitFor(async () => (await page.locator(".board .away").count()) === 0, "the board without the absence");
  assert.equal(fs.readFileSync(path.join(server.data, "schedule.dat")).length, 0, "nothing left planned");

  assert.deepEqual(problems, []);
  console.log(`screenshots in ${screenshots}`);
});
