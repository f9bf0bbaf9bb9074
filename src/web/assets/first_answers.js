// The first answers the board's page needs, asked for all at once as the
// page starts, before its other modules are ready: who is signed in, the
// board, the one-tap statuses and whether the account is at the front desk.
// Without a session they are refused, and only the first is read (the page
// then signs in and asks again).

import { answer, api, send } from "./api.js";

const PATHS = ["/api/me", "/api/board", "/api/status-presets", "/api/front-desk"];
const sent = new Map(PATHS.map((path) => {
  const response = send("GET", path);
  response.catch(() => { /* read, and reported, by whoever takes it */ });
  return [path, response];
}));

// The answer to GET `path` as api() gives it: the first time, the one asked
// for when the page started; afterwards a new request.
export function askFirst(path) {
  const response = sent.get(path);
  sent.delete(path);
  return response ? answer(path, response) : api("GET", path);
}

// Drops the answers not taken (the page was not signed in).
export function dropFirstAnswers() { sent.clear(); }
