// Planning absences and listing them, for "My status" and for the
// administration's Absences page alike: the form (from, until or until
// further notice, status, reached at, comments) and the list with a Cancel
// button on each absence.

import { clearRefusedFields, field, h, markRefusedField, replaceChildren, setMaxLengths } from "./dom.js";
import { absenceSpan } from "./absence_text.js";

const STATUSES = ["Out", "On vacation", "Out of office", "In a meeting", "At the dentist", "Working from home"];

// "yyyy-mm-ddThh:mm" of a datetime-local input, in this computer's time.
function localInputValue(date) {
  const pad = (n) => String(n).padStart(2, "0");
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}T${pad(date.getHours())}:${pad(date.getMinutes())}`;
}

function secondsOf(inputValue) {
  const at = new Date(inputValue);
  return Number.isNaN(at.getTime()) ? null : Math.floor(at.getTime() / 1000);
}

// The form (its inputs' ids begin with "a-", so that it can stand beside
// the status form). `employees` (the administrator's: [{employee, name}]) adds a
// choice of the account; `submit(body)` sends the plan and resolves when it
// is planned (or throws the server's refusal).
export function absenceForm({ employees = null, submit }) {
  const start = new Date(Date.now() + 3600 * 1000);
  start.setMinutes(0, 0, 0);
  const end = new Date(start.getTime() + 2 * 3600 * 1000);
  const openEnded = h("input", { type: "checkbox", name: "openEnded", id: "a-openEnded" });
  const plan = h("button", { type: "submit", class: "button primary" }, "Plan absence");
  const who = employees ? h("div", { class: "field" }, h("label", { for: "a-employee" }, "Employee"),
    h("select", { id: "a-employee", name: "employee", required: true },
      h("option", { value: "" }, "Choose the employee"),
      employees.map(({ employee, name }) => h("option", { value: employee }, name)))) : null;
  const form = h("form", { class: "absence-form", novalidate: true },
    who,
    h("datalist", { id: "absence-statuses" }, STATUSES.map((value) => h("option", { value }))),
    h("div", { class: "two" },
      field({ label: "From", name: "from", id: "a-from", type: "datetime-local", value: localInputValue(start) }),
      field({ label: "Until", name: "until", id: "a-until", type: "datetime-local", value: localInputValue(end) })),
    h("label", { class: "mark", for: "a-openEnded" }, openEnded, "Until further notice"),
    h("div", { class: "two" },
      field({ label: "Status", name: "status", id: "a-status", list: "absence-statuses", value: "Out" }),
      field({ label: "Reached at", name: "reachedAt", id: "a-reachedAt" })),
    field({ label: "Comments", name: "comments", id: "a-comments" }),
    h("div", { class: "actions" }, plan));
  openEnded.addEventListener("change", () => { form.elements.until.disabled = openEnded.checked; });

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    clearRefusedFields(form);
    const body = {
      from: secondsOf(form.elements.from.value),
      until: openEnded.checked ? null : secondsOf(form.elements.until.value),
      status: form.elements.status.value,
      reachedAt: form.elements.reachedAt.value,
      comments: form.elements.comments.value,
    };
    if (employees) body.employee = form.elements.employee.value;
    plan.disabled = true;
    try {
      await submit(body);
      form.elements.comments.value = "";
    } catch (e) {
      markRefusedField(form, e);
    } finally {
      plan.disabled = false;
    }
  });
  return { form, setWidths: (widths) => setMaxLengths(form, widths) };
}

// The absences as list items; `cancel(absence)` behind each Cancel button.
// `withNames` shows whose each absence is.
export function absenceItems(absences, { cancel, withNames = false, nameOf = (a) => a.employee }) {
  return absences.map((absence) => h("li", { class: "absence", dataset: { id: absence.id } },
    h("div", { class: "absence-what" },
      withNames ? h("span", { class: "absence-who" }, nameOf(absence)) : null,
      h("span", { class: "absence-when" }, absenceSpan(absence)),
      h("span", { class: "absence-status" }, absence.status),
      absence.comments ? h("span", { class: "muted" }, absence.comments) : null,
      absence.applied ? h("span", { class: "pill other" }, "on the board now") : null,
      absence.fromCalendar ? h("span", { class: "hint" }, "from the calendar") : null),
    h("button", { type: "button", class: "button small danger-quiet", onclick: () => cancel(absence) }, "Cancel")));
}

export function fillAbsenceList(list, empty, absences, options) {
  replaceChildren(list, absenceItems(absences, options));
  empty.hidden = absences.length > 0;
}
