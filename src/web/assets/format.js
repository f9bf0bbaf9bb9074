// How board entries read: names, "since" times and the overdue mark.

import { serverNow } from "./api.js";

// A DateTimeFormat's format(), the format made when first used: each costs
// a slow phone milliseconds to make, and the board's first screen needs few.
export function formatWhenUsed(locale, options) {
  let format = null;
  return (date) => (format ||= new Intl.DateTimeFormat(locale, options)).format(date);
}

// "2:30 PM"
export const timeText = formatWhenUsed(undefined, { hour: "numeric", minute: "2-digit" });

export function displayName(row) {
  const name = [row.firstName, row.lastName].filter(Boolean).join(" ");
  return name || row.employee;
}

// The one-tap statuses the administrator keeps: [{name, colour, away}].
let presets = [];
let presetByName = new Map();  // looked up for every row, several times
export function setPresets(list) {
  presets = Array.isArray(list) ? list : [];
  presetByName = new Map([...presets].reverse().map((p) => [p.name, p]));
}
export function getPresets() { return presets; }
export function presetOf(status) { return presetByName.get(status); }

// Whether a status counts as away: as its preset says; any other status but
// "In" (typed by hand) counts as away.
export function isAway(status) {
  if (!status || status === "In") return false;
  const preset = presetOf(status);
  return preset ? preset.away : true;
}

// An away status with a returning time that has passed.
export function isOverdue(row, now = serverNow()) {
  return isAway(row.status) && typeof row.returnsAt === "number" && row.returnsAt * 1000 < now;
}

// "Tue 12/8 9:00 AM": how a returning moment reads back.
const weekdayText = formatWhenUsed("en-US", { weekday: "short" });
export function momentText(seconds) {
  const at = new Date(seconds * 1000);
  return `${weekdayText(at)} ${at.getMonth() + 1}/${at.getDate()} ${timeText(at)}`;
}

export function statusKind(row, now) {
  if (row.status === "In") return "in";
  if (isOverdue(row, now)) return "overdue";
  if (isAway(row.status)) return "out";
  return row.status ? "other" : "none";
}

const dayText = formatWhenUsed(undefined, { weekday: "short", hour: "numeric", minute: "2-digit" });
const dateText = formatWhenUsed(undefined, { month: "short", day: "numeric", year: "numeric" });

// Since when the status holds: the time today, the day and time this week,
// the date before that; the text as stored when it does not read as a time.
export function sinceText(row, now = serverNow()) {
  if (typeof row.sinceAt !== "number") return row.since || "";
  const at = new Date(row.sinceAt * 1000);
  const today = new Date(now);
  if (at.toDateString() === today.toDateString()) return timeText(at);
  if (now - at.getTime() < 6 * 24 * 3600 * 1000 && at.getTime() <= now) return dayText(at);
  return dateText(at);
}

// How a returning time reads, on the board and on the lobby displays alike:
// an away status's returning moment as short as it reads (the time today,
// the day and time this week, the date and time later); otherwise the text
// as stored.
export function returningText(row, now = serverNow()) {
  if (!isAway(row.status) || typeof row.returnsAt !== "number") return row.returning || "";
  const at = new Date(row.returnsAt * 1000);
  if (at.toDateString() === new Date(now).toDateString()) return timeText(at);
  if (Math.abs(at.getTime() - now) < 6 * 24 * 3600 * 1000) return dayText(at);
  return momentText(row.returnsAt);
}

// The fields the board shows, for telling that a row changed.
export function rowSignature(row) {
  return [row.status, row.returning, row.reachedAt, row.comments, row.department,
    row.workPhone, row.extension, row.since].join("\u0001");
}

// Last name first, for lists of people ("Baker, Tom").
export function sortName(row) {
  return [row.lastName, row.firstName].filter(Boolean).join(", ") || row.employee;
}

// A phone number as a tap-to-call address ("tel:+15551234"), or "" when it
// holds no digits.
export function telHref(number) {
  const digits = String(number || "").replace(/[^0-9+]/g, "");
  return /[0-9]/.test(digits) ? `tel:${digits}` : "";
}
