// One-tap status: the administrator's statuses as buttons, and the
// returning-time picks, each written by the server in the office's
// date-time format; a returning time typed by hand is read back before it
// is saved.

import { api, serverNow } from "./api.js";
import { h } from "./dom.js";
import { getPresets, momentText } from "./format.js";

// Buttons for the statuses; onPick(preset) on a tap.
export function presetButtons(current, onPick, label = "Set your status") {
  return h("div", { class: "presets", role: "group", "aria-label": label },
    getPresets().map((preset) => {
      const button = h("button", {
        type: "button", class: `preset${preset.away ? " away" : ""}`,
        "aria-pressed": preset.name === current ? "true" : "false",
        onclick: () => onPick(preset),
      }, preset.name);
      button.style.setProperty("--preset", preset.colour);
      return button;
    }));
}

function at(date) { return Math.floor(date.getTime() / 1000); }

// The quick picks, as moments (seconds) from now.
function quickPicks() {
  const now = new Date(serverNow());
  const twoPm = new Date(now); twoPm.setHours(14, 0, 0, 0);
  if (twoPm <= now) twoPm.setDate(twoPm.getDate() + 1);
  const morning = new Date(now); morning.setDate(morning.getDate() + 1); morning.setHours(9, 0, 0, 0);
  const rounded = (minutes) => {
    const d = new Date(now.getTime() + minutes * 60000);
    d.setSeconds(0, 0);
    return d;
  };
  return [
    ["in 30 min", at(rounded(30))],
    ["in 1 h", at(rounded(60))],
    ["2 PM", at(twoPm)],
    ["tomorrow morning", at(morning)],
  ];
}

// The text the server writes for a moment.
export async function returningTextFor(seconds) {
  const { data } = await api("POST", "/api/returning", { at: seconds });
  return data.text;
}

// The quick-pick buttons and the date-time picker; onText(text) with the
// text to store.
export function returningPicks(onText) {
  const picker = h("input", { type: "datetime-local", class: "picker", "aria-label": "Returning at a date and time" });
  picker.addEventListener("change", async () => {
    if (!picker.value) return;
    onText(await returningTextFor(at(new Date(picker.value))));
  });
  return h("div", { class: "picks", role: "group", "aria-label": "Returning" },
    quickPicks().map(([label]) => h("button", {
      type: "button", class: "pick",
      // The moment is taken at the tap, not when the page was drawn.
      onclick: async () => {
        const found = quickPicks().find(([name]) => name === label);
        onText(await returningTextFor(found[1]));
      },
    }, label)),
    picker);
}

// Reads `input`'s text back into `out` as the user types.
export function readBack(input, out) {
  let timer = 0;
  let asked = 0;
  const update = async () => {
    const text = input.value.trim();
    const mine = ++asked;
    if (!text) { out.textContent = ""; return; }
    try {
      const { data } = await api("POST", "/api/returning", { text });
      if (mine !== asked) return;
      out.textContent = typeof data.at === "number"
        ? `read as ${momentText(data.at)}` : "not a time: never marked overdue";
      out.className = `readback ${typeof data.at === "number" ? "ok" : "warn"}`;
    } catch { /* the next keystroke asks again */ }
  };
  input.addEventListener("input", () => { clearTimeout(timer); timer = setTimeout(update, 250); });
  return update;
}
