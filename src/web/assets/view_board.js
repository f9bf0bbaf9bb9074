// The board: every account in board order, filtered by department and by a
// search over the texts, with since when each status holds and the overdue
// mark; it follows the live board and marks the rows that just changed.

import { h, replaceChildren } from "./dom.js";
import { displayName, isOverdue, rowSignature, sinceText, statusKind } from "./format.js";
import { serverNow } from "./api.js";
import { awayText } from "./absence_text.js";
import { decorateRow } from "./board_hooks.js";

const STATE_TEXT = { live: "Live", connecting: "Connecting…", offline: "Offline" };

export function renderBoard(container, live, me) {
  let department = sessionStorage.getItem("zv-department") || "";
  let search = "";
  const changedAt = new Map();  // employee key -> time it changed (ms)

  const searchBox = h("input", {
    type: "search", class: "search", placeholder: "Search names, status, comments…",
    "aria-label": "Search the board", autocomplete: "off",
  });
  const departmentBox = h("select", { class: "department", "aria-label": "Department" });
  const summary = h("p", { class: "summary", "aria-live": "polite" });
  const liveMark = h("span", { class: "live-mark" });
  const body = h("tbody");
  const empty = h("p", { class: "empty", hidden: true });
  const table = h("table", { class: "board" },
    h("thead", {}, h("tr", {},
      h("th", { scope: "col" }, "Name"),
      h("th", { scope: "col" }, "Status"),
      h("th", { scope: "col" }, "Returning"),
      h("th", { scope: "col" }, "Reached at"),
      h("th", { scope: "col" }, "Comments"),
      h("th", { scope: "col" }, "Phone"),
      h("th", { scope: "col" }, "Since"))),
    body);

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

  function fillDepartments(board) {
    const names = board ? board.departments : [];
    if (department && !names.includes(department)) department = "";
    replaceChildren(departmentBox,
      h("option", { value: "" }, "All departments"),
      names.map((name) => h("option", { value: name, selected: name === department }, name)));
  }

  function matches(row) {
    if (department && row.department !== department) return false;
    if (!search) return true;
    return [displayName(row), row.employee, row.department, row.status, row.returning,
      row.reachedAt, row.comments, row.workPhone, row.extension]
      .some((text) => text && text.toLowerCase().includes(search));
  }

  function rowElement(row, now) {
    const kind = statusKind(row, now);
    const overdue = isOverdue(row, now);
    const phone = [row.workPhone, row.extension && `ext. ${row.extension}`].filter(Boolean).join(" ");
    const recent = changedAt.has(row.employee) && now - changedAt.get(row.employee) < 4000;
    return h("tr", {
      class: ["row", `status-${kind}`, row.employee === me.employee ? "me" : "", recent ? "changed" : ""]
        .filter(Boolean).join(" "),
      dataset: { employee: row.employee },
    },
    h("td", { class: "name", "data-label": "Name" },
      h("span", { class: "person" }, displayName(row)),
      h("span", { class: "dept" }, row.department),
      row.away ? h("span", { class: "away", title: row.away.status }, awayText(row.away, now)) : null),
    h("td", { class: "status", "data-label": "Status" },
      h("span", { class: `pill ${kind}` }, row.status || "—")),
    h("td", { class: "returning", "data-label": "Returning" },
      row.returning,
      overdue ? h("span", { class: "overdue-mark", title: "The returning time has passed" }, "Overdue") : null),
    h("td", { class: "reached", "data-label": "Reached at" }, row.reachedAt),
    h("td", { class: "comments", "data-label": "Comments" }, row.comments),
    h("td", { class: "phone", "data-label": "Phone" }, phone),
    h("td", { class: "since", "data-label": "Since", title: row.since || "" }, sinceText(row, now)));
  }

  function draw() {
    const board = live.board;
    liveMark.textContent = STATE_TEXT[live.state] || "";
    liveMark.className = `live-mark ${live.state}`;
    if (!board) {
      summary.textContent = "Loading the board…";
      return;
    }
    const now = serverNow();
    const rows = board.rows.filter(matches);
    const counts = { in: 0, out: 0, overdue: 0 };
    for (const row of rows) {
      if (row.status === "In") counts.in += 1;
      else if (row.status === "Out") counts.out += 1;
      if (isOverdue(row, now)) counts.overdue += 1;
    }
    summary.textContent = `${rows.length} of ${board.rows.length} shown · ${counts.in} in · ` +
      `${counts.out} out` + (counts.overdue ? ` · ${counts.overdue} overdue` : "");
    replaceChildren(body, rows.map((row) => decorateRow(rowElement(row, now), row)));
    empty.hidden = rows.length > 0;
    empty.textContent = board.rows.length ? "Nobody on the board matches the search." : "The board has no accounts yet.";
  }

  function boardChanged(board, previous) {
    if (board && previous) {
      const before = new Map(previous.rows.map((row) => [row.employee, rowSignature(row)]));
      const now = serverNow();
      for (const row of board.rows) {
        if (before.get(row.employee) !== rowSignature(row)) changedAt.set(row.employee, now);
      }
    }
    if (board) fillDepartments(board);
    draw();
  }

  container.replaceChildren(
    h("section", { class: "board-view" },
      h("div", { class: "toolbar" }, searchBox, departmentBox, liveMark),
      summary,
      h("div", { class: "table-wrap" }, table),
      empty));
  fillDepartments(live.board);
  draw();

  const unsubscribe = live.subscribe(boardChanged);
  // The overdue marks follow the clock; a local timer, no request.
  const clock = setInterval(draw, 30000);
  return () => { unsubscribe(); clearInterval(clock); };
}
