// The board: every account grouped by department (or sorted by a column),
// the signed-in employee's own row pinned on top with the one-tap statuses,
// filtered by department, by a search over the texts and by the summary's
// counts. It follows the live board: a change of some rows redraws only
// those rows (a text selected elsewhere stays selected) and is announced in
// a small live region; the table itself is not a live region.

import { api, serverNow } from "./api.js";
import { h, replaceChildren } from "./dom.js";
import { displayName, isAway, isOverdue, sortName } from "./format.js";
import { changeSentence, rowElement } from "./board_rows.js";
import { presetButtons } from "./status_picks.js";
import { decorateRow } from "./board_hooks.js";

const STATE_TEXT = { live: "Live", connecting: "Connecting…", offline: "Offline" };
const COLUMNS = [
  ["name", "Name"], ["status", "Status"], ["returning", "Returning"], ["reachedAt", "Reached at"],
  ["comments", "Comments"], ["phone", "Phone"], ["since", "Since"],
];
const SORT_KEYS = {
  name: (row) => sortName(row).toLowerCase(),
  status: (row) => (row.status || "").toLowerCase(),
  returning: (row) => (typeof row.returnsAt === "number" ? row.returnsAt : Infinity),
  reachedAt: (row) => (row.reachedAt || "").toLowerCase(),
  comments: (row) => (row.comments || "").toLowerCase(),
  phone: (row) => row.workPhone || "",
  since: (row) => (typeof row.sinceAt === "number" ? row.sinceAt : 0),
};
// Names in the order of the reader's language; each row's key made once,
// not at every comparison.
const collator = new Intl.Collator();
function byName(rows) {
  return rows.map((row) => [sortName(row), row]).sort((a, b) => collator.compare(a[0], b[0])).map(([, row]) => row);
}
const FILTERS = {
  in: (row) => row.status === "In",
  away: (row) => isAway(row.status),
  overdue: (row, now) => isOverdue(row, now),
};

export function renderBoard(container, live, me) {
  let department = sessionStorage.getItem("zv-department") || "";
  let search = "";
  let only = "";                       // "", "in", "away" or "overdue"
  let sortBy = "";                     // "" groups by department
  let ascending = true;
  const changedAt = new Map();         // employee key -> time it changed (ms)
  let shown = new Map();               // employee key -> its <tr> on the page

  const heading = h("h1", { class: "view-title" }, "Board");
  const searchBox = h("input", {
    type: "search", class: "search", placeholder: "Search names, status, comments…",
    "aria-label": "Search the board", autocomplete: "off",
  });
  const departmentBox = h("select", { class: "department", "aria-label": "Department" });
  const summary = h("div", { class: "summary", role: "group", "aria-label": "Counts" });
  const news = h("p", { class: "sr-only", role: "status", "aria-live": "polite" });
  const liveMark = h("span", { class: "live-mark" });
  const mine = h("div", { class: "my-row" });
  const headRow = h("tr");
  const table = h("table", { class: "board" }, h("thead", {}, headRow));
  const empty = h("p", { class: "empty", hidden: true });

  let typing = 0;
  searchBox.addEventListener("input", () => {
    clearTimeout(typing);
    typing = setTimeout(() => { search = searchBox.value.trim().toLowerCase(); draw(); }, 120);
  });
  departmentBox.addEventListener("change", () => {
    department = departmentBox.value;
    sessionStorage.setItem("zv-department", department);
    draw();
  });

  function drawHead() {
    replaceChildren(headRow, COLUMNS.map(([key, label]) => {
      const sorted = sortBy === key;
      return h("th", { scope: "col", "aria-sort": sorted ? (ascending ? "ascending" : "descending") : null },
        h("button", {
          type: "button", class: "sort",
          onclick: () => {
            if (sortBy === key && !ascending) { sortBy = ""; ascending = true; }
            else if (sortBy === key) ascending = false;
            else { sortBy = key; ascending = true; }
            drawHead();
            draw();
          },
        }, label, h("span", { class: "sort-mark", "aria-hidden": "true" }, sorted ? (ascending ? " ▲" : " ▼") : "")));
    }));
  }

  function fillDepartments(board) {
    const names = board ? board.departments : [];
    if (department && !names.includes(department)) department = "";
    replaceChildren(departmentBox,
      h("option", { value: "" }, "All departments"),
      names.map((name) => h("option", { value: name, selected: name === department }, name)));
  }

  function matches(row, now) {
    if (department && row.department !== department) return false;
    if (only && !FILTERS[only](row, now)) return false;
    if (!search) return true;
    return [displayName(row), row.employee, row.department, row.status, row.returning,
      row.reachedAt, row.comments, row.workPhone, row.extension]
      .some((text) => text && text.toLowerCase().includes(search));
  }

  function element(row, now) {
    const recent = changedAt.has(row.employee) && now - changedAt.get(row.employee) < 4000;
    const tr = decorateRow(rowElement(row, now, { mine: row.employee === me.employee, recent }), row);
    shown.set(row.employee, tr);
    return tr;
  }

  function drawSummary(board, now) {
    const counts = { in: 0, away: 0, overdue: 0 };
    let total = 0;
    for (const row of board.rows) {
      if (department && row.department !== department) continue;
      total += 1;
      // Whoever is in is neither away nor overdue; only the away can be overdue.
      if (FILTERS.in(row)) counts.in += 1;
      else if (FILTERS.away(row)) {
        counts.away += 1;
        if (FILTERS.overdue(row, now)) counts.overdue += 1;
      }
    }
    const button = (key, text) => h("button", {
      type: "button", class: `count ${key}`, "aria-pressed": only === key ? "true" : "false",
      onclick: () => { only = only === key ? "" : key; draw(); },
    }, text);
    replaceChildren(summary,
      h("span", {}, `${total} people`),
      button("in", `${counts.in} in`),
      button("away", `${counts.away} away`),
      counts.overdue || only === "overdue" ? button("overdue", `${counts.overdue} overdue`) : null,
      only ? h("button", { type: "button", class: "count all", onclick: () => { only = ""; draw(); } }, "Show all") : null);
  }

  function drawMine(board) {
    const row = board.rows.find((r) => r.employee === me.employee);
    if (!row) { mine.replaceChildren(); return; }
    replaceChildren(mine, presetButtons(row.status, async (preset) => {
      try {
        await api("PUT", "/api/my-status", {
          status: preset.name, returning: preset.away ? row.returning : "",
          reachedAt: row.reachedAt, comments: row.comments,
        });
      } catch (e) {
        news.textContent = e.message;
      }
    }));
  }

  // The rows go into their bodies a slice at a time, each slice a short
  // task (a slow phone stays responsive); a new drawing stops the filling of
  // the last. The first slice is one screenful, drawn on its own, so the
  // first frame is drawn soon and is small. The rows after it are marked
  // "later": on a phone, off screen, they are neither styled nor laid out
  // until they scroll near, but those near the screen are, in the frame
  // after they go in; so the slices of the next two screenfuls are a
  // screenful each, with a frame between them. A group's body goes in with
  // its first rows.
  let filling = 0;
  const SLICE_MS = 6;
  function screenRows() {
    // A row is at least 130 px high as a card on a phone, 55 px in the
    // table. The screen's size, not the window's: reading the window's
    // would lay the page out there and then, before the rows are in.
    return Math.ceil(screen.height / (screen.width <= 760 ? 130 : 55));
  }
  function fillRows(parts, now) {
    const run = ++filling;
    table.setAttribute("aria-busy", "true");
    const screenful = screenRows();
    let part = 0;
    let next = 0;
    let placed = 0;
    const slice = () => {
      if (run !== filling) return;
      const end = performance.now() + SLICE_MS;
      const first = placed === 0;
      const near = placed < 3 * screenful;
      let room = near ? screenful : Infinity;
      while (part < parts.length) {
        const [body, unordered, order] = parts[part];
        if (next === 0 && order) parts[part] = [body, order(unordered)];
        const rows = parts[part][1];
        const fragment = document.createDocumentFragment();
        while (next < rows.length && room > 0 && performance.now() < end) {
          const tr = element(rows[next++], now);
          if (!first) tr.classList.add("later");
          fragment.append(tr);
          room -= 1;
          placed += 1;
        }
        if (fragment.firstChild) {
          body.append(fragment);
          if (!body.isConnected) table.append(body);
        }
        if (next < rows.length) {
          if (near) requestAnimationFrame(() => setTimeout(slice, 0));
          else setTimeout(slice, 0);
          return;
        }
        part += 1;
        next = 0;
      }
      filling = 0;
      table.removeAttribute("aria-busy");
    };
    slice();
  }

  function draw() {
    const board = live.board;
    liveMark.textContent = STATE_TEXT[live.state] || "";
    liveMark.className = `live-mark ${live.state}`;
    if (!board) {
      replaceChildren(summary, "Loading the board…");
      return;
    }
    const now = serverNow();
    drawSummary(board, now);
    drawMine(board);
    const rows = board.rows.filter((row) => matches(row, now));
    shown = new Map();
    const own = rows.find((row) => row.employee === me.employee);
    const others = rows.filter((row) => row !== own);
    // [tbody, its rows, and how to order them when it is filled (a group's
    // names are put in order as it goes in: a slow phone's first screen
    // waits for one group's, not all)], in the table's order.
    const parts = [];
    if (own) {
      parts.push([h("tbody", { class: "pinned" },
        h("tr", { class: "group-head" }, h("th", { colspan: COLUMNS.length, scope: "colgroup" }, "You"))), [own]]);
    }
    if (sortBy) {
      const key = SORT_KEYS[sortBy];
      const sign = ascending ? 1 : -1;
      others.sort((a, b) => { const x = key(a); const y = key(b); return x < y ? -sign : x > y ? sign : 0; });
      parts.push([h("tbody", {}), others]);
    } else {
      const groups = new Map();
      for (const row of others) {
        const name = row.department || "No department";
        if (!groups.has(name)) groups.set(name, []);
        groups.get(name).push(row);
      }
      for (const name of [...groups.keys()].sort(collator.compare)) {
        const members = groups.get(name);
        parts.push([h("tbody", { class: "group" },
          h("tr", { class: "group-head" },
            h("th", { colspan: COLUMNS.length, scope: "colgroup" }, `${name} · ${members.length}`))), members, byName]);
      }
    }
    for (const body of table.querySelectorAll("tbody")) body.remove();
    fillRows(parts, now);
    empty.hidden = rows.length > 0;
    empty.textContent = board.rows.length ? "Nobody on the board matches." : "The board has no accounts yet.";
    scheduleOverdue(board);
  }

  // Only the rows that changed; a change that moves a row (its department,
  // the sorted column, the filter) draws the whole table.
  function drawRows(board, previous, changed) {
    const now = serverNow();
    const before = new Map(previous.rows.map((row) => [row.employee, row]));
    for (const key of changed) {
      const row = board.rows.find((r) => r.employee === key);
      const old = before.get(key);
      const tr = shown.get(key);
      const moves = !old || old.department !== row.department || old.lastName !== row.lastName ||
        old.firstName !== row.firstName || (sortBy && SORT_KEYS[sortBy](old) !== SORT_KEYS[sortBy](row)) ||
        matches(old, now) !== matches(row, now) || (!tr && matches(row, now));
      if (moves) { draw(); return; }
      if (tr) tr.replaceWith(element(row, now));
    }
    drawSummary(board, now);
    if (changed.has(me.employee)) drawMine(board);
    scheduleOverdue(board);
  }

  // The overdue marks follow the clock: a timer for the next returning
  // moment to pass, which redraws the rows that turned overdue.
  let overdueTimer = 0;
  function scheduleOverdue(board) {
    clearTimeout(overdueTimer);
    const now = serverNow();
    let next = Infinity;
    for (const row of board.rows) {
      if (typeof row.returnsAt === "number" && row.returnsAt * 1000 >= now && isAway(row.status)) {
        next = Math.min(next, row.returnsAt * 1000);
      }
    }
    const wait = Math.min(next - now + 50, 60000);
    overdueTimer = setTimeout(() => {
      const at = serverNow();
      if (filling) { scheduleOverdue(live.board); return; }
      if (live.board) {
        const turned = new Set(live.board.rows
          .filter((row) => isOverdue(row, at) !== (shown.get(row.employee)?.dataset.overdue === "1"))
          .map((row) => row.employee));
        if (turned.size) drawRows(live.board, live.board, turned);
        else scheduleOverdue(live.board);
      }
    }, Math.max(wait, 250));
  }

  function boardChanged(board, previous, changed) {
    if (!board) {
      liveMark.textContent = STATE_TEXT[live.state] || "";
      liveMark.className = `live-mark ${live.state}`;
      return;
    }
    if (previous) {
      const now = serverNow();
      const before = new Map(previous.rows.map((row) => [row.employee, row]));
      const sentences = [];
      for (const row of board.rows) {
        if (changed && !changed.has(row.employee)) continue;
        const old = before.get(row.employee);
        if (old && old.v === row.v) continue;
        changedAt.set(row.employee, now);
        if (old && (old.status !== row.status || old.returning !== row.returning)) sentences.push(changeSentence(row));
      }
      if (sentences.length && sentences.length <= 3) news.textContent = sentences.join(". ");
      else if (sentences.length) news.textContent = `${sentences.length} people changed their status.`;
    }
    if (!changed) fillDepartments(board);
    if (previous && changed) drawRows(board, previous, changed);
    else draw();
  }

  container.replaceChildren(
    h("section", { class: "board-view" },
      h("div", { class: "toolbar" }, heading, searchBox, departmentBox, liveMark),
      mine,
      summary,
      news,
      h("div", { class: "table-wrap" }, table),
      empty));
  drawHead();
  fillDepartments(live.board);
  draw();

  const unsubscribe = live.subscribe(boardChanged);
  return () => { unsubscribe(); clearTimeout(overdueTimer); };
}
