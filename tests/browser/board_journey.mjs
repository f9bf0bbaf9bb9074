// The board in a real browser (Debian's chromium, driven by playwright-core):
// sign in, see the board, watch a row change live when a client logs in,
// punch out, take a message; screenshots of the board at desktop and phone
// width. Starts a zelvorad of its own in a temporary folder.
//
// Usage: node board_journey.mjs --zelvorad PATH --screenshots FOLDER
// Exit status 77 (skipped) when chromium is missing.

import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

const SKIPPED = 77;
const argument = (name, fallback) => {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 ? process.argv[at + 1] : fallback;
};
const zelvorad = argument("zelvorad", "");
const screenshots = argument("screenshots", path.join(os.tmpdir(), "zelvora-screenshots"));
const chromiumPath = process.env.CHROMIUM || "/usr/bin/chromium";

if (!fs.existsSync(chromiumPath)) {
  console.log(`SKIPPED: no chromium at ${chromiumPath} (Debian package "chromium"; scripts/deps.sh installs it)`);
  process.exit(SKIPPED);
}
let chromium;
try {
  ({ chromium } = await import("playwright-core"));
} catch {
  console.error("playwright-core is not installed: run \"npm ci\" in tests/browser (scripts/test.sh does).");
  process.exit(1);
}
assert.ok(fs.existsSync(zelvorad), `no zelvorad at "${zelvorad}"`);

// --- data files, written from the record layout -------------------------------

const BOARD_WIDTHS = [256, 64, 64, 64, 64, 24, 16, 64, 64, 64, 256, 128, 5, 24, 24, 128, 128, 128, 128, 128, 24, 64];
const FIELD = { employee: 0, lastName: 1, firstName: 2, password: 3, department: 4, workPhone: 5, extension: 6,
  status: 7, returning: 8, reachedAt: 9, comments: 10, statusChanged: 17 };

function boardFields(values) {
  const fields = new Array(BOARD_WIDTHS.length).fill("");
  for (const [name, value] of Object.entries(values)) fields[FIELD[name]] = value;
  const [last, first] = values.employee.split(",");
  fields[FIELD.lastName] = last;
  fields[FIELD.firstName] = first;
  return fields;
}

function boardRecordBytes(fields) {
  const record = Buffer.alloc(BOARD_WIDTHS.reduce((a, b) => a + b));
  let offset = 0;
  BOARD_WIDTHS.forEach((width, i) => {
    Buffer.from(fields[i], "latin1").copy(record, offset, 0, width);
    offset += width;
  });
  return record;
}

// Date-time texts in the server's default formats (M/d/yy h:mm:ss AM/PM).
function dateTimeText(date) {
  const hours = date.getHours() % 12 || 12;
  const two = (n) => String(n).padStart(2, "0");
  return `${date.getMonth() + 1}/${date.getDate()}/${two(date.getFullYear() % 100)} ` +
    `${hours}:${two(date.getMinutes())}:${two(date.getSeconds())} ${date.getHours() < 12 ? "AM" : "PM"}`;
}
const hoursAgo = (h) => dateTimeText(new Date(Date.now() - h * 3600 * 1000));

const people = [
  { employee: "Adams,Grace", department: "Sales", status: "In", workPhone: "555-0101", extension: "11" },
  { employee: "Baker,Tom", department: "Support", status: "Out", returning: hoursAgo(1), reachedAt: "Cell 555-0199",
    comments: "Client visit at Northwind", workPhone: "555-0102", statusChanged: hoursAgo(3) },
  { employee: "Doe,Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14",
    comments: "<img src=x onerror=alert(1)> stays text" },
  { employee: "Fischer,Anna", department: "Engineering", status: "In a meeting", returning: "11:00 AM",
    reachedAt: "Room 3B", comments: "Quarterly planning", workPhone: "555-0106", extension: "16" },
  { employee: "Roe,Rick", department: "Support", status: "In", workPhone: "555-0111", extension: "21" },
].map((p) => boardFields({ password: "pw", statusChanged: hoursAgo(2), ...p }));

// --- the server ------------------------------------------------------------------

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitFor(check, what, limitMs = 15000) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    try {
      if (await check()) return;
    } catch { /* not yet */ }
    if (Date.now() > deadline) throw new Error(`waited in vain for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

const folder = fs.mkdtempSync(path.join(os.tmpdir(), "zv-browser-"));
const prog = path.join(folder, "prog");
const data = path.join(folder, "data");
fs.mkdirSync(prog);
fs.mkdirSync(data);
fs.copyFileSync(zelvorad, path.join(prog, "zelvorad"));
fs.chmodSync(path.join(prog, "zelvorad"), 0o755);
const clientPort = await freePort();
let webPort = await freePort();
while (webPort === clientPort) webPort = await freePort();
fs.writeFileSync(path.join(prog, "zva.ini"),
  `[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=${clientPort}\r\nExpDays=0\r\nMaxLogSize=100\r\n` +
  `[Web]\r\nPort=${webPort}\r\n`);
fs.writeFileSync(path.join(data, "wiwo.dat"), Buffer.concat(people.map(boardRecordBytes)));

const stderr = [];
const server = spawn(path.join(prog, "zelvorad"), [], { cwd: data, stdio: ["ignore", "ignore", "pipe"] });
server.stderr.on("data", (chunk) => stderr.push(chunk.toString()));
const base = `http://127.0.0.1:${webPort}`;
await waitFor(async () => (await fetch(`${base}/`)).ok, "the HTTP side");

// A Zelvora Client's login that carries its own board record: merged before
// the server answers "PREPARE_TO_RECEIVE".
function clientLogin(fields) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(clientPort, "127.0.0.1");
    let reply = "";
    socket.setTimeout(15000, () => { socket.destroy(); reject(new Error("the client login got no reply")); });
    socket.on("error", reject);
    socket.on("data", (chunk) => {
      reply += chunk.toString("latin1");
      if (reply.length >= 9) { socket.destroy(); resolve(reply); }
    });
    socket.write(`SUBMIT_LOGIN:FULL:${fields[0]}|${fields[3]}:[*WIWO*]${fields.join("<~FLD~>")}` +
      "[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA", "latin1");
  });
}

// --- the journey ---------------------------------------------------------------------

const browser = await chromium.launch({
  executablePath: chromiumPath,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync"],
});
const problems = [];
async function openPage(width, height) {
  const context = await browser.newContext({ viewport: { width, height } });
  const page = await context.newPage();
  page.on("pageerror", (error) => problems.push(`page error: ${error.message}`));
  page.on("dialog", (dialog) => { problems.push(`dialog: ${dialog.message()}`); dialog.dismiss(); });
  return page;
}

async function signIn(page, name, password) {
  await page.goto(`${base}/`);
  await page.fill("#f-employee", name);
  await page.fill("#f-password", password);
  await page.click("form.sign-in button[type=submit]");
}

const row = (page, key) => page.locator(`tr.row[data-employee="${key}"]`);
let status = 1;
try {
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
  assert.equal(await row(page, "Fischer,Anna").locator(".overdue-mark").count(), 0, "only an Out row is overdue");
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
  status = 0;
} catch (error) {
  console.error(error);
  console.error("zelvorad said:", stderr.join(""));
} finally {
  await browser.close();
  server.kill("SIGTERM");
  const code = await new Promise((resolve) => server.on("exit", (c) => resolve(c)));
  if (code !== 0 && status === 0) {
    console.error(`zelvorad exited with ${code}`);
    status = 1;
  }
  fs.rmSync(folder, { recursive: true, force: true });
}
process.exit(status);
