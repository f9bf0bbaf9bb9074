// One row of the board as the table shows it, and the sentence that
// announces a change of it ("Tom Baker is now Out, back 2:30 PM").

import { h } from "./dom.js";
import { displayName, isOverdue, presetOf, returningText, sinceText, statusKind, telHref } from "./format.js";
import { awayText } from "./absence_text.js";

function phoneCell(row) {
  const text = [row.workPhone, row.extension && `ext. ${row.extension}`].filter(Boolean).join(" ");
  const href = telHref(row.workPhone);
  return href ? h("a", { href, class: "tel", "aria-label": `Call ${displayName(row)}: ${text}` }, text) : text;
}

// The row's <tr>; `mine` marks the signed-in employee's own row.
export function rowElement(row, now, { mine = false, recent = false } = {}) {
  const kind = statusKind(row, now);
  const overdue = isOverdue(row, now);
  const pill = h("span", { class: `pill ${kind}` }, row.status || "—");
  const preset = presetOf(row.status);
  if (preset && kind !== "overdue") pill.style.setProperty("--preset", preset.colour);
  if (preset && kind !== "overdue") pill.classList.add("preset-pill");
  return h("tr", {
    class: ["row", `status-${kind}`, mine ? "me" : "", recent ? "changed" : ""].filter(Boolean).join(" "),
    dataset: { employee: row.employee, overdue: overdue ? "1" : "" },
  },
  h("th", { class: "name", scope: "row", "data-label": "Name" },
    h("span", { class: "person" }, displayName(row)),
    mine ? h("span", { class: "you" }, "You") : null,
    h("span", { class: "dept" }, row.department),
    row.away ? h("span", { class: "away", title: row.away.status }, awayText(row.away, now)) : null),
  h("td", { class: "status", "data-label": "Status" }, pill),
  h("td", { class: "returning", "data-label": "Returning", title: row.returning || null },
    returningText(row, now),
    overdue ? h("span", { class: "overdue-mark", title: "The returning time has passed" }, "Overdue") : null),
  h("td", { class: "reached", "data-label": "Reached at" }, row.reachedAt),
  h("td", { class: "comments", "data-label": "Comments" }, row.comments),
  h("td", { class: "phone", "data-label": "Phone" }, phoneCell(row)),
  h("td", { class: "since", "data-label": "Since", title: row.since || "" }, sinceText(row, now)));
}

// "Tom Baker is now Out, back 2:30 PM".
export function changeSentence(row) {
  const status = row.status || "without a status";
  return `${displayName(row)} is now ${status}${row.returning ? `, back ${row.returning}` : ""}`;
}
