// The Options page's one-tap statuses: the statuses the board offers as
// buttons, each with its colour and whether it counts as away (an away status
// whose returning time has passed is marked overdue). Kept in zva.ini
// [Board] StatusPresets.

import { api } from "./api.js";
import { h, notice, replaceChildren } from "./dom.js";

export function statusPresetsCard() {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const list = h("div", { class: "preset-lines" });
  const add = h("button", { type: "button", class: "button small" }, "Add a status");
  const save = h("button", { type: "button", class: "button primary" }, "Save the statuses");

  function line(preset, index) {
    const name = h("input", { type: "text", value: preset.name, "aria-label": `Name of status ${index + 1}`, maxlength: 63 });
    const colour = h("input", { type: "color", value: preset.colour, "aria-label": `Colour of status ${index + 1}` });
    const away = h("input", { type: "checkbox", checked: preset.away, id: `preset-away-${index}` });
    const remove = h("button", {
      type: "button", class: "button small danger-quiet", "aria-label": `Remove status ${preset.name || index + 1}`,
      onclick: () => { row.remove(); },
    }, "Remove");
    const row = h("div", { class: "preset-line" }, name, colour,
      h("label", { for: `preset-away-${index}` }, away, " counts as away"), remove);
    row.read = () => ({ name: name.value.trim(), colour: colour.value, away: away.checked });
    return row;
  }

  function show(presets) {
    replaceChildren(list, presets.map(line));
  }

  add.addEventListener("click", () => {
    list.append(line({ name: "", colour: "#607d8b", away: true }, list.children.length));
    list.lastChild.querySelector("input").focus();
  });
  save.addEventListener("click", async () => {
    notice(message, "", "");
    try {
      const { data } = await api("PUT", "/api/admin/status-presets",
        { presets: [...list.children].map((row) => row.read()) });
      show(data.presets);
      notice(message, "ok", "The statuses are saved; pages opened from now on offer them.");
    } catch (e) {
      notice(message, "error", e.message);
    }
  });

  api("GET", "/api/admin/status-presets").then(({ data }) => show(data.presets))
    .catch((e) => notice(message, "error", e.message));
  return h("div", { class: "card" }, h("h3", {}, "One-tap statuses"),
    h("p", { class: "muted" }, "The statuses the board offers as buttons. A status that counts as away is marked "
      + "overdue once its returning time has passed."),
    message, list, h("div", { class: "actions" }, add, save));
}
