// "My status": punch in and out, and set status, returning, reached at and
// comments, as the Zelvora Client does.

import { api } from "./api.js";
import { h, replaceChildren, setMaxLengths } from "./dom.js";
import { sinceText } from "./format.js";
import { fillStatusForm, presetChange, runChange, statusFields, statusValues } from "./status_form.js";
import { presetButtons, readBack, returningPicks } from "./status_picks.js";

export function renderMyStatus(container, { me, onMe }) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const current = h("div", { class: "current" });
  const punchIn = h("button", { type: "button", class: "button" }, "Punch in");
  const punchOut = h("button", { type: "button", class: "button" }, "Punch out");
  const save = h("button", { type: "submit", class: "button primary" }, "Save status");
  const readout = h("p", { class: "readback", id: "returning-readback", "aria-live": "polite" });
  const presets = h("div", { class: "preset-slot" });
  const picks = h("div", { class: "picks-slot" });
  const form = h("form", { class: "status-form", novalidate: true },
    statusFields({ readout, hint: "A time such as 2:30 PM, or a date and time, marks you overdue once it has passed." }),
    h("div", { class: "actions" }, save));

  // Whether the person has typed into the form since it was last filled.
  let typed = false;
  form.addEventListener("input", () => { typed = true; });

  function show(employee, { keepTyped = false } = {}) {
    me = employee;
    setMaxLengths(form, me.inputWidths && me.inputWidths.status);
    const isIn = me.status === "In";
    replaceChildren(current,
      h("span", { class: `pill big ${isIn ? "in" : me.status === "Out" ? "out" : "other"}` }, me.status || "—"),
      h("span", { class: "muted" }, me.since ? `since ${sinceText({ since: me.since, sinceAt: null })}` : ""));
    punchIn.className = `button${isIn ? "" : " primary"}`;
    punchOut.className = `button${isIn ? " primary" : ""}`;
    punchOut.disabled = !isIn;
    punchOut.title = isIn ? "" : "Punching out needs the status In.";
    if (!(keepTyped && typed)) {
      fillStatusForm(form, me);
      typed = false;
    }
    presets.replaceChildren(presetButtons(me.status,
      (preset) => saveWith(presetChange(preset, form), `Your status is ${preset.name}.`)));
    reread();
  }

  // A change made here answers with the person as saved: a first reading
  // still on its way is older than that.
  let changed = false;
  async function run(button, request, done) {
    changed = true;
    await runChange({ button, message, form, request, done, onData: (data) => { show(data); onMe(data); } });
    punchOut.disabled = me.status !== "In";
  }

  // One tap saves at once, keeping the other fields as they are.
  function saveWith(changes, done) {
    const body = { ...statusValues(form), ...changes };
    return run(save, () => api("PUT", "/api/my-status", body), done);
  }

  punchIn.addEventListener("click", () =>
    run(punchIn, () => api("POST", "/api/punch", { action: "in" }), "You are punched in."));
  punchOut.addEventListener("click", () =>
    run(punchOut, () => api("POST", "/api/punch", { action: "out" }), "You are punched out."));
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    run(save, () => api("PUT", "/api/my-status", statusValues(form)), "Your status is saved.");
  });

  container.replaceChildren(
    h("section", { class: "card narrow" },
      h("h1", { class: "view-title" }, "My status"),
      h("div", { class: "punch" }, current, h("div", { class: "punch-buttons" }, punchIn, punchOut)),
      message,
      h("h2", { class: "sub" }, "One tap"),
      presets,
      h("p", { class: "muted sub" }, "Back"),
      picks,
      form));
  const reread = readBack(form.elements.returning, readout);
  picks.replaceChildren(returningPicks((text) => saveWith({ returning: text }, `Returning ${text}.`)));
  show(me);
  // Freshly from the server: the board may have changed it meanwhile; what
  // the person began to type stays.
  api("GET", "/api/me").then(({ data }) => {
    if (changed) return;
    show(data, { keepTyped: true });
    onMe(data);
  }).catch(() => {});
}
