// The one way the page talks to the server: JSON in and out, the session's
// anti-forgery token on every change, and a signed-out session sending the
// page back to the sign-in.

let antiForgeryToken = "";
let signedOutHandler = () => {};
let clockOffset = 0;  // server time minus this computer's time, in ms

export class ApiError extends Error {
  constructor(status, message, field) {
    super(message);
    this.status = status;
    this.field = field || "";
  }
}

export function setAntiForgeryToken(token) { antiForgeryToken = token || ""; }
export function onSignedOut(handler) { signedOutHandler = handler; }

// The server's clock, as far as the last answer tells it.
export function serverNow() { return Date.now() + clockOffset; }

function noteServerTime(response) {
  const date = Date.parse(response.headers.get("Date") || "");
  if (!Number.isNaN(date)) clockOffset = date - Date.now();
}

// Sends a request; resolves to fetch's promise of the response.
export function send(method, path, body, extraHeaders = {}) {
  const headers = { Accept: "application/json", ...extraHeaders };
  const init = { method, headers, credentials: "same-origin", cache: "no-store" };
  if (method !== "GET" && method !== "HEAD") {
    headers["Content-Type"] = "application/json";
    headers["X-Zelvora-Token"] = antiForgeryToken;
    init.body = JSON.stringify(body ?? {});
  }
  return fetch(path, init);
}

// Reads the answer to a request already sent (`sent`: fetch's promise of the
// response); resolves to {status, data,
// response}. Throws ApiError for a refusal (the server's own message) or
// when the server cannot be reached.
export async function answer(path, sent) {
  let response;
  try {
    response = await sent;
  } catch {
    throw new ApiError(0, "The server cannot be reached. Please check the connection and try again.");
  }
  noteServerTime(response);
  if (response.status === 304) return { status: 304, data: null, response };
  let data = null;
  if (response.status !== 204) {
    try { data = await response.json(); } catch { data = null; }
  }
  if (response.ok) return { status: response.status, data, response };
  const message = (data && data.error) || `The server answered ${response.status}.`;
  // A refused sign-in is an answer, not the end of a session.
  if (response.status === 401 && !path.endsWith("/sign-in")) signedOutHandler(message);
  throw new ApiError(response.status, message, data && data.field);
}

// Sends a request and reads its answer, as answer() does.
export function api(method, path, body, extraHeaders = {}) {
  return answer(path, send(method, path, body, extraHeaders));
}
