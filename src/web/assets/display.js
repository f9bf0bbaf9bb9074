// A lobby display: the board of some departments on a screen that nobody
// signs in to, at /display/<secret>. Read-only; grouped by department in
// as many columns as the screen holds; when more people are on it than fit,
// it turns to the next page by itself every 15 seconds. It follows the
// board live, reconnects by itself after a restart or a network fault, and
// goes dark the moment the administrator revokes it.

import { api, serverNow } from "./api.js";
import { h, replaceChildren } from "./dom.js";
import { displayName, isOverdue, returningText, setPresets, statusKind } from "./format.js";

const PAGE_SECONDS = 15;
const secret = decodeURIComponent(location.pathname.split("/").pop() || "");
const board = document.getElementById("lobby-board");
const nameHeading = document.getElementById("lobby-name");
const counts = document.getElementById("lobby-counts");
const pageMark = document.getElementById("lobby-page");
const stateMark = document.getElementById("lobby-state");
const timeText = document.getElementById("lobby-time");
const dateText = document.getElementById("lobby-date");

const clockFormat = new Intl.DateTimeFormat(undefined, { hour: "numeric", minute: "2-digit" });
const dayFormat = new Intl.DateTimeFormat(undefined, { weekday: "long", month: "long", day: "numeric" });

let data = null;      // {display, board}
let page = 0;
let source = null;
let fetching = null;
let again = false;
let dark = false;

function showState(text) { stateMark.textContent = text; }

function tick() {
  const now = new Date(serverNow());
  timeText.textContent = clockFormat.format(now);
  timeText.dateTime = now.toISOString();
  dateText.textContent = dayFormat.format(now);
}

function statusLine(row, now) {
  const overdue = isOverdue(row, now);
  const parts = [h("span", { class: `lobby-status ${statusKind(row, now)}` }, row.status || "—")];
  // The returning time reads as on the board; an overdue row is red
  // already: its mark says since when, in one word less.
  const back = returningText(row, now);
  if (overdue) parts.push(h("span", { class: "lobby-overdue", title: row.returning }, `Overdue ${back}`));
  else if (back) parts.push(h("span", { class: "lobby-returning", title: row.returning }, `back ${back}`));
  return parts;
}

function personElement(row, now) {
  const details = [
    [row.workPhone, row.extension && `ext. ${row.extension}`].filter(Boolean).join(" "),
    row.reachedAt && `at ${row.reachedAt}`,
    row.comments,
  ].filter(Boolean).join(" · ");
  return h("li", { class: `lobby-person ${isOverdue(row, now) ? "is-overdue" : ""}`, dataset: { employee: row.employee } },
    h("span", { class: "lobby-name" }, displayName(row)),
    h("span", { class: "lobby-what" }, statusLine(row, now)),
    details ? h("span", { class: "lobby-details" }, details) : null);
}

function groups(rows) {
  const byDepartment = new Map();
  for (const row of rows) {
    const name = row.department || "No department";
    if (!byDepartment.has(name)) byDepartment.set(name, []);
    byDepartment.get(name).push(row);
  }
  return [...byDepartment.entries()].sort(([a], [b]) => a.localeCompare(b));
}

// The columns that overflow the screen are its further pages.
function pageCount() {
  const step = board.clientWidth + parseFloat(getComputedStyle(board).columnGap || "0");
  return step > 0 ? Math.max(1, Math.round((board.scrollWidth + parseFloat(getComputedStyle(board).columnGap || "0")) / step)) : 1;
}

function turnTo(n) {
  const pages = pageCount();
  page = pages > 1 ? n % pages : 0;
  const step = board.clientWidth + parseFloat(getComputedStyle(board).columnGap || "0");
  board.scrollLeft = page * step;
  pageMark.hidden = pages < 2;
  pageMark.textContent = `Page ${page + 1} of ${pages}`;
}

function draw() {
  if (!data || dark) return;
  const now = serverNow();
  const rows = data.board.rows;
  nameHeading.textContent = data.display.name;
  document.title = `${data.display.name} · Zelvora Board`;
  const inCount = rows.filter((row) => row.status === "In").length;
  const overdue = rows.filter((row) => isOverdue(row, now)).length;
  counts.textContent = `${inCount} in · ${rows.length - inCount} away` + (overdue ? ` · ${overdue} overdue` : "");
  replaceChildren(board, rows.length ? groups(rows).map(([department, people]) =>
    h("section", { class: "lobby-group" },
      h("h2", {}, department, h("span", { class: "lobby-group-count" },
        `${people.filter((row) => row.status === "In").length}/${people.length} in`)),
      h("ul", {}, people.map((row) => personElement(row, now))))) :
    h("p", { class: "lobby-empty" }, "Nobody is on this display yet."));
  turnTo(page);
}

function goDark() {
  dark = true;
  if (source) source.close();
  source = null;
  document.body.classList.add("is-dark");
  replaceChildren(board, h("p", { class: "lobby-dark" }, "This display is switched off."));
  counts.textContent = "";
  pageMark.hidden = true;
  showState("");
}

async function refresh() {
  if (dark) return;
  if (fetching) { again = true; return; }
  fetching = (async () => {
    try {
      const { data: fresh } = await api("GET", `/api/display/${encodeURIComponent(secret)}`);
      data = fresh;
      // Which statuses are away, as the administrator keeps them.
      setPresets(fresh.presets);
      draw();
    } catch (e) {
      if (e.status === 404) goDark();
      else showState("Reconnecting…");
    }
  })();
  await fetching;
  fetching = null;
  if (again) { again = false; refresh(); }
}

function listen() {
  if (dark || source) return;
  source = new EventSource(`/api/display/${encodeURIComponent(secret)}/events`);
  source.addEventListener("open", () => { showState(""); refresh(); });
  source.addEventListener("board", () => refresh());
  source.addEventListener("error", () => {
    showState("Reconnecting…");
    // The browser retries by itself unless the server refused the stream;
    // then the board says whether the display is gone, and a new stream
    // is tried a little later.
    if (source && source.readyState === EventSource.CLOSED) {
      source = null;
      refresh().then(() => setTimeout(listen, 5000));
    }
  });
}

tick();
setInterval(tick, 1000);
// The overdue marks follow the clock; the pages turn.
setInterval(() => { if (data && !dark) { draw(); turnTo(page + 1); } }, PAGE_SECONDS * 1000);
window.addEventListener("resize", () => turnTo(page));
refresh();
listen();
