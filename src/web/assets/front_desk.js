// The front desk on the board: an account the administrator put at the
// front desk gets a "Change" button on every row, which opens the person's
// status in a dialog: punch in and out, the four status fields, and an
// absence planned ahead. Each change goes through the front desk's own
// routes; the server logs it as the person's own change, naming the front
// desk.

import { api } from "./api.js";
import { absenceForm } from "./absence_form.js";
import { addRowHook } from "./board_hooks.js";
import { h, notice, setMaxLengths } from "./dom.js";
import { displayName } from "./format.js";
import { fillStatusForm, presetChange, runChange, statusFields, statusValues } from "./status_form.js";
import { presetButtons } from "./status_picks.js";

let removeHook = null;
let widths = null;

function openDialog(row) {
  const name = displayName(row);
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const punchIn = h("button", { type: "button", class: "button" }, "Punch in");
  const punchOut = h("button", { type: "button", class: "button" }, "Punch out");
  const close = h("button", { type: "button", class: "button quiet" }, "Close");
  const current = h("p", { class: "fd-current" });
  const presets = h("div", { class: "preset-slot" });
  const save = h("button", { type: "submit", class: "button primary" }, "Save status");
  const form = h("form", { class: "status-form", novalidate: true },
    statusFields({ prefix: "fd-",
      hint: "A time such as 2:30 PM, or a date and time, marks them overdue once it has passed." }),
    h("div", { class: "actions" }, save));
  setMaxLengths(form, widths && widths.status);
  const absence = absenceForm({
    employees: [{ employee: row.employee, name }],
    submit: async (body) => {
      try {
        await api("POST", "/api/front-desk/absences", body);
        notice(message, "ok", `The absence of ${name} is planned.`);
      } catch (e) {
        notice(message, "error", e.message);
        throw e;
      }
    },
  });
  absence.setWidths(widths && widths.absence);
  absence.form.elements.employee.value = row.employee;
  const headingId = `fd-title-${Math.random().toString(36).slice(2)}`;
  const dialog = h("dialog", { class: "card fd-dialog", "aria-labelledby": headingId },
    h("div", { class: "fd-head" }, h("h2", { id: headingId }, name), close),
    current,
    h("div", { class: "punch-buttons" }, punchIn, punchOut),
    message,
    presets,
    form,
    h("details", { class: "fd-absence" }, h("summary", {}, "Plan an absence"), absence.form));

  let shown = row;
  function show(entry) {
    shown = entry;
    current.textContent = `Now: ${entry.status || "—"}${entry.returning ? `, back ${entry.returning}` : ""}`;
    punchOut.disabled = entry.status !== "In";
    fillStatusForm(form, entry);
    presets.replaceChildren(presetButtons(entry.status, (preset) => saveWith(presetChange(preset, form),
      `${name} is ${preset.name}.`), `Set the status of ${name}`));
  }

  async function run(button, request, done) {
    await runChange({ button, message, form, request, done, onData: show });
    punchOut.disabled = shown.status !== "In";
  }

  // A tap saves at once, keeping the other fields as they are.
  function saveWith(changes, done) {
    const body = { employee: row.employee, ...statusValues(form), ...changes };
    return run(save, () => api("PUT", "/api/front-desk/status", body), done);
  }

  punchIn.addEventListener("click", () => run(punchIn,
    () => api("POST", "/api/front-desk/punch", { employee: row.employee, action: "in" }), `${name} is punched in.`));
  punchOut.addEventListener("click", () => run(punchOut,
    () => api("POST", "/api/front-desk/punch", { employee: row.employee, action: "out" }), `${name} is punched out.`));
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    saveWith({}, `The status of ${name} is saved.`);
  });
  // Leaving the board closes it too: it belongs to the board's rows.
  const leave = () => dialog.close();
  close.addEventListener("click", leave);
  window.addEventListener("hashchange", leave);
  dialog.addEventListener("close", () => { window.removeEventListener("hashchange", leave); dialog.remove(); });
  document.body.append(dialog);
  show(row);
  dialog.showModal();
}

function addChangeButton(element, row) {
  const cell = element.querySelector("td") || element;
  cell.append(h("button", {
    type: "button", class: "button small fd-change", "aria-label": `Change the status of ${displayName(row)}`,
    onclick: () => openDialog(row),
  }, "Change"));
}

// Asks whether the signed-in account is at the front desk, and adds or
// takes away the controls to match. Resolves when that is known. `asked`:
// the answer of a request already sent, as api() gives it.
export async function followFrontDesk(asked = api("GET", "/api/front-desk")) {
  let frontDesk = false;
  try {
    const { data } = await asked;
    frontDesk = Boolean(data.frontDesk);
    widths = { status: data.inputWidths, absence: data.absenceInputWidths };
  } catch { /* not known: no controls */ }
  if (frontDesk && !removeHook) removeHook = addRowHook(addChangeButton);
  if (!frontDesk && removeHook) { removeHook(); removeHook = null; }
  document.body.classList.toggle("front-desk", frontDesk);
}
