// "My status": punch in and out, and set status, returning, reached at and
// comments, as the Zelvora Client does.

import { api } from "./api.js";
import { field, h, notice, replaceChildren, setMaxLengths } from "./dom.js";
import { sinceText } from "./format.js";
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
    h("datalist", { id: "status-choices" },
      ["In", "Out", "In a meeting", "At lunch", "Working from home", "On vacation"]
        .map((value) => h("option", { value }))),
    field({ label: "Status", name: "status", list: "status-choices" }),
    field({ label: "Returning", name: "returning",
      hint: "A time such as 2:30 PM, or a date and time, marks you overdue once it has passed." }),
    readout,
    field({ label: "Reached at", name: "reachedAt" }),
    field({ label: "Comments", name: "comments" }),
    h("div", { class: "actions" }, save));

  function show(employee) {
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
    for (const name of ["status", "returning", "reachedAt", "comments"]) {
      form.elements[name].value = me[name] || "";
      form.elements[name].removeAttribute("aria-invalid");
    }
    presets.replaceChildren(presetButtons(me.status, (preset) => saveWith({
      status: preset.name, returning: preset.away ? form.elements.returning.value : "",
    }, `Your status is ${preset.name}.`)));
    reread();
  }

  function fields() {
    const body = {};
    for (const name of ["status", "returning", "reachedAt", "comments"]) body[name] = form.elements[name].value;
    return body;
  }

  // One tap saves at once, keeping the other fields as they are.
  function saveWith(changes, done) {
    const body = { ...fields(), ...changes };
    return run(save, () => api("PUT", "/api/my-status", body), done);
  }

  async function run(button, request, done) {
    button.disabled = true;
    notice(message, "", "");
    try {
      const { data } = await request();
      show(data);
      onMe(data);
      notice(message, "ok", done);
    } catch (e) {
      notice(message, "error", e.message);
      if (e.field && form.elements[e.field]) {
        form.elements[e.field].setAttribute("aria-invalid", "true");
        form.elements[e.field].focus();
      }
    } finally {
      button.disabled = false;
      if (button === punchOut) punchOut.disabled = me.status !== "In";
    }
  }

  punchIn.addEventListener("click", () =>
    run(punchIn, () => api("POST", "/api/punch", { action: "in" }), "You are punched in."));
  punchOut.addEventListener("click", () =>
    run(punchOut, () => api("POST", "/api/punch", { action: "out" }), "You are punched out."));
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    run(save, () => api("PUT", "/api/my-status", fields()), "Your status is saved.");
  });

  container.replaceChildren(
    h("section", { class: "card narrow" },
      h("h2", {}, "My status"),
      h("div", { class: "punch" }, current, h("div", { class: "punch-buttons" }, punchIn, punchOut)),
      message,
      h("h3", { class: "sub" }, "One tap"),
      presets,
      h("p", { class: "muted sub" }, "Back"),
      picks,
      form));
  const reread = readBack(form.elements.returning, readout);
  picks.replaceChildren(returningPicks((text) => saveWith({ returning: text }, `Returning ${text}.`)));
  show(me);
  // Freshly from the server: the board may have changed it meanwhile.
  api("GET", "/api/me").then(({ data }) => { show(data); onMe(data); }).catch(() => {});
}
