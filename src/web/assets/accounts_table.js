// The Accounts page's lists, sized for an office of hundreds: the
// departments (each with its number of accounts; Delete only on an empty
// one, the only kind that can be removed) and the accounts as a table with a
// search and a department filter, names that never break inside a word, and
// Modify and Delete buttons that name their account.

import { h, replaceChildren } from "./dom.js";

// onDeleteDepartment(name, questionSlot)
export function departmentList(departments, accounts, onDeleteDepartment) {
  const counts = new Map();
  for (const a of accounts) counts.set(a.department, (counts.get(a.department) || 0) + 1);
  return h("div", { class: "tree" }, departments.map((name) => {
    const count = counts.get(name) || 0;
    const question = h("div", { class: "question-slot", hidden: true });
    return h("article", { class: "dept-card", dataset: { department: name } },
      h("header", {},
        h("h3", {}, name),
        h("span", { class: "muted" }, `${count} ${count === 1 ? "account" : "accounts"}`),
        count === 0 ? h("button", {
          type: "button", class: "button small danger-quiet", "aria-label": `Delete department ${name}`,
          onclick: () => onDeleteDepartment(name, question),
        }, "Delete") : null),
      question);
  }));
}

// The table; { onModify(key), onDelete(key, questionSlot) }. Keeps its
// search and filter across redraws through `state` ({search, department}).
export function accountsTable(data, state, { onModify, onDelete }) {
  const search = h("input", {
    type: "search", class: "search", placeholder: "Search names, departments, phones…",
    "aria-label": "Search the accounts", value: state.search, autocomplete: "off",
  });
  const department = h("select", { class: "department", "aria-label": "Department" },
    h("option", { value: "" }, "All departments"),
    data.departments.map((d) => h("option", { value: d, selected: d === state.department }, d)));
  const count = h("p", { class: "summary" });
  const body = h("tbody");
  const question = h("div", { class: "question-slot", hidden: true });

  function row(account) {
    return h("tr", { class: "row account", dataset: { employee: account.employee, department: account.department } },
      h("th", { scope: "row", class: "account-key" }, account.employee),
      h("td", { "data-label": "Department" }, account.department || "—"),
      h("td", { "data-label": "Status" },
        h("span", { class: `pill ${account.status === "In" ? "in" : account.status === "Out" ? "out" : "other"}` },
          account.status || "—")),
      h("td", { "data-label": "Work phone" }, account.workPhone),
      h("td", { class: "row-actions" },
        h("button", { type: "button", class: "button small", "aria-label": `Modify ${account.employee}`,
          onclick: () => onModify(account.employee) }, "Modify"),
        h("button", { type: "button", class: "button small danger-quiet", "aria-label": `Delete ${account.employee}`,
          onclick: () => onDelete(account.employee, question) }, "Delete")));
  }

  function draw() {
    const wanted = state.search.toLowerCase();
    const shown = data.accounts.filter((a) => (!state.department || a.department === state.department) &&
      (!wanted || [a.employee, a.department, a.workPhone, a.email, a.status]
        .some((t) => t && t.toLowerCase().includes(wanted))));
    replaceChildren(body, shown.map(row));
    count.textContent = `${shown.length} of ${data.accounts.length} accounts`;
  }
  let typing = 0;
  search.addEventListener("input", () => {
    clearTimeout(typing);
    typing = setTimeout(() => { state.search = search.value.trim(); draw(); }, 120);
  });
  department.addEventListener("change", () => { state.department = department.value; draw(); });
  draw();
  return h("div", { class: "accounts-list" },
    h("div", { class: "toolbar" }, search, department),
    count, question,
    h("div", { class: "table-wrap" },
      h("table", { class: "grid accounts-table" },
        h("thead", {}, h("tr", {},
          h("th", { scope: "col" }, "Name"), h("th", { scope: "col" }, "Department"),
          h("th", { scope: "col" }, "Status"), h("th", { scope: "col" }, "Work phone"),
          h("th", { scope: "col" }, h("span", { class: "sr-only" }, "Actions")))),
        body)));
}
