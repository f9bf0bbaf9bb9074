// What the browser tests share: the command line, chromium through
// playwright-core (exit status 77, skipped, without it), data files written
// from the record layout, a zelvorad of their own in a temporary folder, and
// a Zelvora Client's login over TCP; axe-core's findings on a page.

import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

import { AxeBuilder } from "@axe-core/playwright";

export const SKIPPED = 77;

// What axe-core finds on the page as it stands, as lines ("" when nothing).
export async function accessibilityProblems(page) {
  const { violations } = await new AxeBuilder({ page }).analyze();
  return violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target.join(" ")).join(", ")})`);
}

export function argument(name, fallback) {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 ? process.argv[at + 1] : fallback;
}

// chromium and playwright-core, or the process ends (skipped without chromium).
export async function loadChromium() {
  const chromiumPath = process.env.CHROMIUM || "/usr/bin/chromium";
  if (!fs.existsSync(chromiumPath)) {
    console.log(`SKIPPED: no chromium at ${chromiumPath} (Debian package "chromium"; scripts/deps.sh installs it)`);
    process.exit(SKIPPED);
  }
  try {
    const { chromium } = await import("playwright-core");
    return { chromium, chromiumPath };
  } catch {
    console.error("playwright-core is not installed: run \"npm ci\" in tests/browser (scripts/test.sh does).");
    process.exit(1);
  }
}

export async function launchBrowser() {
  const { chromium, chromiumPath } = await loadChromium();
  return chromium.launch({
    executablePath: chromiumPath,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync"],
  });
}

// A page of its own at this size; page errors and dialog boxes go to `problems`.
export async function openPage(browser, width, height, problems, options = {}) {
  const context = await browser.newContext({ viewport: { width, height }, ...options });
  const page = await context.newPage();
  page.on("pageerror", (error) => problems.push(`page error: ${error.message}`));
  page.on("dialog", (dialog) => { problems.push(`dialog: ${dialog.message()}`); dialog.dismiss(); });
  return page;
}

// --- data files, written from the record layout ----------------------------------

const BOARD_WIDTHS = [256, 64, 64, 64, 64, 24, 16, 64, 64, 64, 256, 128, 5, 24, 24, 128, 128, 128, 128, 128, 24, 64];
export const FIELD = { employee: 0, lastName: 1, firstName: 2, password: 3, department: 4, workPhone: 5,
  extension: 6, status: 7, returning: 8, reachedAt: 9, comments: 10, statusChanged: 17 };

export function boardFields(values) {
  const fields = new Array(BOARD_WIDTHS.length).fill("");
  for (const [name, value] of Object.entries(values)) fields[FIELD[name]] = value;
  const [last, first] = values.employee.split(",");
  fields[FIELD.lastName] = last;
  fields[FIELD.firstName] = first;
  return fields;
}

export function boardRecordBytes(fields) {
  const record = Buffer.alloc(BOARD_WIDTHS.reduce((a, b) => a + b));
  let offset = 0;
  BOARD_WIDTHS.forEach((width, i) => {
    Buffer.from(fields[i], "latin1").copy(record, offset, 0, width);
    offset += width;
  });
  return record;
}

// Date-time texts in the server's default formats (M/d/yy h:mm:ss AM/PM).
export function dateTimeText(date) {
  const hours = date.getHours() % 12 || 12;
  const two = (n) => String(n).padStart(2, "0");
  return `${date.getMonth() + 1}/${date.getDate()}/${two(date.getFullYear() % 100)} ` +
    `${hours}:${two(date.getMinutes())}:${two(date.getSeconds())} ${date.getHours() < 12 ? "AM" : "PM"}`;
}

// --- the server -----------------------------------------------------------------

// A port free now, below the kernel's range of ephemeral ports (32768 and
// up): a port the kernel hands out could be taken by another test's outgoing
// connection before the server binds it.
export async function freePort() {
  for (let attempt = 0; attempt < 200; ++attempt) {
    const port = 20000 + Math.floor(Math.random() * 12768);
    const free = await new Promise((resolve) => {
      const server = net.createServer();
      server.once("error", () => resolve(false));
      server.listen(port, "127.0.0.1", () => server.close(() => resolve(true)));
    });
    if (free) return port;
  }
  throw new Error("no free port found between 20000 and 32767 in 200 tries");
}

export async function waitFor(check, what, limitMs = 15000) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    try {
      if (await check()) return;
    } catch { /* not yet */ }
    if (Date.now() > deadline) throw new Error(`waited in vain for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// A zelvorad in a temporary folder with the HTTP side on; `board` (records'
// fields) becomes its "wiwo.dat" when given; `ini` is added to its
// "zva.ini" and `env` to its environment. Call stop() at the end.
export async function startServer(zelvorad, board = null, { ini = "", env = {} } = {}) {
  assert.ok(fs.existsSync(zelvorad), `no zelvorad at "${zelvorad}"`);
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
    `[Web]\r\nPort=${webPort}\r\n${ini}`);
  if (board) fs.writeFileSync(path.join(data, "wiwo.dat"), Buffer.concat(board.map(boardRecordBytes)));

  const stderr = [];
  const base = `http://127.0.0.1:${webPort}`;
  const launch = async () => {
    const started = spawn(path.join(prog, "zelvorad"), [], { cwd: data, stdio: ["ignore", "ignore", "pipe"],
      env: { ...process.env, ...env } });
    started.stderr.on("data", (chunk) => stderr.push(chunk.toString()));
    await waitFor(async () => (await fetch(`${base}/`)).ok, "the HTTP side");
    return started;
  };
  const ended = (running) => new Promise((resolve) => {
    if (running.exitCode !== null) resolve(running.exitCode);
    else running.on("exit", (c) => resolve(c));
  });
  let child = await launch();
  return {
    base, clientPort, data, stderr,
    // SIGTERM, then the same server again on the same folder and ports;
    // the exit code of the first.
    async restart() {
      child.kill("SIGTERM");
      const code = await ended(child);
      child = await launch();
      return code;
    },
    // SIGTERM; the exit code, with the folder removed.
    async stop() {
      child.kill("SIGTERM");
      const code = await ended(child);
      fs.rmSync(folder, { recursive: true, force: true });
      return code;
    },
  };
}

// A Zelvora Client's request; resolves with what the server answered first
// (at least `want` bytes) and closes, unless `keepOpen`, which resolves with
// {reply, socket} for the caller to close.
export function clientRequest(port, text, { want = 9, keepOpen = false } = {}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, "127.0.0.1");
    let reply = "";
    socket.setTimeout(15000, () => { socket.destroy(); reject(new Error("the client request got no reply")); });
    socket.on("error", reject);
    socket.on("close", () => resolve(reply));
    socket.on("data", (chunk) => {
      reply += chunk.toString("latin1");
      if (reply.length >= want) {
        if (keepOpen) resolve({ reply, socket });
        else { socket.destroy(); resolve(reply); }
      }
    });
    socket.write(text, "latin1");
  });
}

// A Zelvora Client's login that carries its own board record (or none) and
// the given phonebook section: merged before "PREPARE_TO_RECEIVE".
export function clientLogin(port, key, password, { board = null, phone = "NO_DATA", keepOpen = false } = {}) {
  return clientRequest(port, `SUBMIT_LOGIN:FULL:${key}|${password}:[*WIWO*]${board ? board.join("<~FLD~>") : "NO_DATA"}` +
    `[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]${phone}`, { keepOpen });
}

// Runs a journey's steps and ends the process: status 0 when they passed and
// zelvorad then stopped cleanly, 1 otherwise, with what zelvorad said.
export async function runJourney(browser, server, steps) {
  let status = 1;
  try {
    await steps();
    status = 0;
  } catch (error) {
    console.error(error);
    console.error("zelvorad said:", server.stderr.join(""));
  } finally {
    await browser.close();
    const code = await server.stop();
    if (code !== 0 && status === 0) {
      console.error(`zelvorad exited with ${code}`);
      status = 1;
    }
  }
  process.exit(status);
}
