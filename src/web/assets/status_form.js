// The status form that "My status" and the front desk's dialog share: the
// four fields (status, returning, reached at, comments), the status
// offering the administrator's one-tap statuses, and the running of one
// change (a punch, a save, a tap) with its outcome on a notice line.

import { field, h, markRefusedField, notice } from "./dom.js";
import { getPresets } from "./format.js";

export const STATUS_FIELDS = ["status", "returning", "reachedAt", "comments"];

// The fields, their ids "<prefix><name>"; `readout` (an element) follows
// the returning time; `hint` explains it.
export function statusFields({ prefix = "f-", hint, readout = null }) {
  const choices = `${prefix}status-choices`;
  return [
    h("datalist", { id: choices }, getPresets().map((preset) => h("option", { value: preset.name }))),
    field({ label: "Status", name: "status", id: `${prefix}status`, list: choices }),
    field({ label: "Returning", name: "returning", id: `${prefix}returning`, hint }),
    readout,
    field({ label: "Reached at", name: "reachedAt", id: `${prefix}reachedAt` }),
    field({ label: "Comments", name: "comments", id: `${prefix}comments` }),
  ];
}

export function fillStatusForm(form, entry) {
  for (const name of STATUS_FIELDS) {
    form.elements[name].value = entry[name] || "";
    form.elements[name].removeAttribute("aria-invalid");
  }
}

export function statusValues(form) {
  const body = {};
  for (const name of STATUS_FIELDS) body[name] = form.elements[name].value;
  return body;
}

// What a tap on a one-tap status changes: an away status keeps the
// returning time typed, any other clears it.
export function presetChange(preset, form) {
  return { status: preset.name, returning: preset.away ? form.elements.returning.value : "" };
}

// Runs one change: `request()` resolves with the server's {data}, given to
// `onData`, and `done` is said on `message`; a refusal is said there, and
// the field it names is marked and focused. `button` is disabled meanwhile.
export async function runChange({ button, message, form, request, done, onData }) {
  button.disabled = true;
  notice(message, "", "");
  try {
    const { data } = await request();
    onData(data);
    notice(message, "ok", done);
  } catch (e) {
    notice(message, "error", e.message);
    markRefusedField(form, e);
  } finally {
    button.disabled = false;
  }
}
