// The status change log, as the window's viewer shows it, newest first:
// narrowed to one employee or one department and to a range of days;
// downloaded as CSV with the same filter; and a printout laid out as the
// window prints it.

import { api } from "./api.js";
import { followChanges } from "./admin_live.js";
import { h, notice, replaceChildren } from "./dom.js";

const COLUMNS = [["employee", "Employee"], ["department", "Department"], ["date", "Date"], ["time", "Time"],
  ["status", "Status"], ["returning", "Returning"], ["reachedAt", "ReachedAt"], ["comments", "Comments"]];

// The filter as a query: "employee=…" or "department=…", and "from" and "to"
// (days as 2024-05-31) when set. A kind with no value to choose (no
// accounts) asks for the entries without one, as the window's empty value
// list does.
function filterQuery(kind, value, days) {
  const query = new URLSearchParams();
  if (kind) query.set(kind, value ?? "");
  for (const [name, day] of Object.entries(days)) if (day) query.set(name, day);
  return query.toString();
}

export function renderLog(container, { live, query }) {
  let kind = query.has("employee") ? "employee" : query.has("department") ? "department" : "";
  let value = kind ? query.get(kind) : null;
  const message = h("p", { class: "notice", role: "alert", hidden: true });
  const kindBox = h("select", { id: "f-filter-kind", name: "kind" },
    h("option", { value: "" }, "<None>"), h("option", { value: "employee" }, "Employee"),
    h("option", { value: "department" }, "Department"));
  const valueBox = h("select", { id: "f-filter-value", name: "value" });
  const days = { from: query.get("from") || "", to: query.get("to") || "" };
  const dayBox = (name) => h("input", { type: "date", id: `f-${name}`, name, value: days[name],
    onchange: (event) => { days[name] = event.target.value; load(); } });
  const fromBox = dayBox("from");
  const toBox = dayBox("to");
  const csv = h("a", { class: "button", download: "status-change-log.csv" }, "Download CSV");
  const print = h("a", { class: "button" }, "Printout");
  const summary = h("p", { class: "summary" });
  const body = h("tbody");
  let lists = { employees: [], departments: [] };

  function fillValues() {
    const values = kind === "employee" ? lists.employees : kind === "department" ? lists.departments : [];
    if (kind && (value === null || !values.includes(value))) value = values.length ? values[0] : null;
    if (!kind) value = null;
    replaceChildren(valueBox, values.map((v) => h("option", { value: v, selected: v === value }, v)));
    valueBox.disabled = !kind || values.length === 0;
  }

  function links() {
    const q = filterQuery(kind, value, days);
    csv.href = `/api/admin/log.csv${q ? `?${q}` : ""}`;
    print.href = `#log-print${q ? `?${q}` : ""}`;
    history.replaceState(null, "", `#log${q ? `?${q}` : ""}`);
  }

  let latest = 0;  // only the answer to the latest request is shown
  async function load() {
    const q = filterQuery(kind, value, days);
    const path = `/api/admin/log${q ? `?${q}` : ""}`;
    const mine = ++latest;
    try {
      const { data } = await api("GET", path);
      if (mine !== latest) return;
      lists = data;
      kindBox.value = kind;
      const asked = value;
      fillValues();
      if (value !== asked) return load();  // the value asked for is gone: the first one instead
      const rows = data.rows;
      summary.textContent = `${rows.length} of ${data.total} ${data.total === 1 ? "entry" : "entries"} shown, newest first`;
      replaceChildren(body, rows.map((row) =>
        h("tr", { class: "row" }, COLUMNS.map(([key, label]) => h("td", { class: key, "data-label": label }, row[key])))));
      links();
      notice(message, "", "");
    } catch (e) {
      if (mine !== latest) return;
      notice(message, "error", e.message);
      const box = { from: fromBox, to: toBox }[e.field];
      if (box) box.setAttribute("aria-invalid", "true");
      return;
    }
    fromBox.removeAttribute("aria-invalid");
    toBox.removeAttribute("aria-invalid");
  }

  kindBox.addEventListener("change", () => {
    kind = kindBox.value;
    value = null;
    fillValues();
    load();
  });
  valueBox.addEventListener("change", () => {
    value = valueBox.value;
    load();
  });

  container.replaceChildren(
    h("section", { class: "admin-page" },
      h("div", { class: "page-head" }, h("h2", {}, "Status change log"), h("span", { class: "head-actions" }, csv, print)),
      h("div", { class: "toolbar filters" },
        h("label", { for: "f-filter-kind" }, "Filter By:"), kindBox,
        h("label", { for: "f-filter-value" }, "Filter Value:"), valueBox,
        h("span", { class: "day-range" },
          h("label", { for: "f-from" }, "From:"), fromBox,
          h("label", { for: "f-to" }, "To:"), toBox)),
      summary, message,
      h("div", { class: "table-wrap" },
        h("table", { class: "grid log" },
          h("thead", {}, h("tr", {}, COLUMNS.map(([, label]) => h("th", { scope: "col" }, label)))),
          body))));
  kindBox.value = kind;
  return followChanges(live, "board", load);
}

// The printout: "Zelvora Status Change Log", the moment, and one line per
// entry up to the first without an employee, as the window prints it.
export function renderLogPrint(container, { query }) {
  const page = h("article", { class: "printout" }, h("p", { class: "muted" }, "Loading…"));
  const back = h("a", { class: "button", href: `#log${query.toString() ? `?${query}` : ""}` }, "Back to the log");
  const printButton = h("button", { type: "button", class: "button primary", onclick: () => window.print() }, "Print");
  container.replaceChildren(
    h("section", { class: "admin-page" },
      h("div", { class: "page-head no-print" }, h("h2", {}, "Printout"), h("span", { class: "head-actions" }, back, printButton)),
      page));
  (async () => {
    try {
      const { data } = await api("GET", `/api/admin/log/print${query.toString() ? `?${query}` : ""}`);
      replaceChildren(page,
        h("h1", { class: "printout-title" }, data.title),
        h("p", { class: "printout-blank" }),
        h("p", { class: "printout-stamp" }, data.printedOn),
        h("p", { class: "printout-blank" }),
        data.lines.map((line) => h("p", { class: "printout-line" }, line)));
    } catch (e) {
      replaceChildren(page, h("p", { class: "notice error" }, e.message));
    }
  })();
}
