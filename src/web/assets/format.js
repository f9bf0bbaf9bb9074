// How board entries read: names, "since" times and the overdue mark.

import { serverNow } from "./api.js";

export function displayName(row) {
  const name = [row.firstName, row.lastName].filter(Boolean).join(" ");
  return name || row.employee;
}

// "Out" with a returning time that has passed.
export function isOverdue(row, now = serverNow()) {
  return row.status === "Out" && typeof row.returnsAt === "number" && row.returnsAt * 1000 < now;
}

export function statusKind(row, now) {
  if (row.status === "In") return "in";
  if (isOverdue(row, now)) return "overdue";
  if (row.status === "Out") return "out";
  return row.status ? "other" : "none";
}

const timeFormat = new Intl.DateTimeFormat(undefined, { hour: "numeric", minute: "2-digit" });
const dayFormat = new Intl.DateTimeFormat(undefined, { weekday: "short", hour: "numeric", minute: "2-digit" });
const dateFormat = new Intl.DateTimeFormat(undefined, { month: "short", day: "numeric", year: "numeric" });

// Since when the status holds: the time today, the day and time this week,
// the date before that; the text as stored when it does not read as a time.
export function sinceText(row, now = serverNow()) {
  if (typeof row.sinceAt !== "number") return row.since || "";
  const at = new Date(row.sinceAt * 1000);
  const today = new Date(now);
  if (at.toDateString() === today.toDateString()) return timeFormat.format(at);
  if (now - at.getTime() < 6 * 24 * 3600 * 1000 && at.getTime() <= now) return dayFormat.format(at);
  return dateFormat.format(at);
}

// The fields the board shows, for telling that a row changed.
export function rowSignature(row) {
  return [row.status, row.returning, row.reachedAt, row.comments, row.department,
    row.workPhone, row.extension, row.since].join("\u0001");
}
