// How a planned absence reads: "Thu 2:00 PM to 4:00 PM" within the coming
// week, "Dec 22 9:00 AM to Jan 2 5:00 PM" further off, "Mon to Fri" for
// whole days, "from Thu 2:00 PM" until further notice. Moments come as
// seconds since 1970.

import { serverNow } from "./api.js";
import { formatWhenUsed, timeText } from "./format.js";

const weekdayText = formatWhenUsed(undefined, { weekday: "short" });
const dateText = formatWhenUsed(undefined, { month: "short", day: "numeric" });
const WEEK = 6 * 24 * 3600 * 1000;

function dayText(at, now) {
  const ahead = at.getTime() - now;
  return ahead > -WEEK && ahead < WEEK ? weekdayText(at) : dateText(at);
}

function momentText(at, now) {
  return `${dayText(at, now)} ${timeText(at)}`;
}

const atMidnight = (date) => date.getHours() === 0 && date.getMinutes() === 0;

// The span of an absence ({from, until}): whole days as days ("Wed to
// Fri", its last day), other spans with their times.
export function absenceSpan({ from, until }, now = serverNow()) {
  const start = new Date(from * 1000);
  if (until === null || until === undefined) return `from ${momentText(start, now)}`;
  const end = new Date(until * 1000);
  if (atMidnight(start) && atMidnight(end) && end > start) {
    const lastDay = new Date(end.getTime() - 12 * 3600 * 1000);
    if (lastDay.toDateString() === start.toDateString()) return dayText(start, now);
    return `${dayText(start, now)} to ${dayText(lastDay, now)}`;
  }
  if (start.toDateString() === end.toDateString()) {
    return `${dayText(start, now)} ${timeText(start)} to ${timeText(end)}`;
  }
  return `${momentText(start, now)} to ${momentText(end, now)}`;
}

// What the board shows beside a name: "away Thu 2:00 PM to 4:00 PM".
export function awayText(away, now = serverNow()) {
  return `away ${absenceSpan(away, now)}`;
}
