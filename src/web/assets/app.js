// The page: signs in, then shows the board, "My status", "My messages" or
// "Take a message" by the address's #fragment, with the live board and the
// messages waiting shared by all of them.

import { api, onSignedOut, setAntiForgeryToken } from "./api.js";
import { LiveBoard } from "./live.js";
import { renderBoard } from "./view_board.js";
import { renderSignIn } from "./view_sign_in.js";
import { followFrontDesk } from "./front_desk.js";
import { signInAgain } from "./sign_in_again.js";
import { Inbox } from "./inbox.js";
import { displayName, setPresets } from "./format.js";
import { h } from "./dom.js";
import { askFirst, dropFirstAnswers } from "./first_answers.js";

const VIEWS = ["board", "status", "messages", "message"];
const TITLES = { board: "Board", status: "My status", messages: "My messages", message: "Take a message" };
const view = document.getElementById("view");
const topbar = document.getElementById("topbar");
const whoName = document.getElementById("who-name");

let me = null;
let live = null;
let inbox = null;
let leaveView = null;

function setMe(employee) {
  me = employee;
  setAntiForgeryToken(employee.antiForgeryToken);
  whoName.textContent = displayName(employee);
}

function currentView() {
  const name = location.hash.replace(/^#/, "");
  return VIEWS.includes(name) ? name : "board";
}

// The views other than the board, fetched when one is first shown, so that
// the board does not wait for their code.
let otherViews = null;
let loadedViews = null;  // the same, once they are in
function loadOtherViews() {
  otherViews = otherViews || Promise.all([import("./view_my_status.js"), import("./view_my_absences.js"),
    import("./view_my_messages.js"), import("./view_message.js")])
    .then(([status, absences, messages, message]) => {
      loadedViews = { ...status, ...absences, ...messages, ...message };
      return loadedViews;
    })
    .catch((e) => { otherViews = null; throw e; });
  return otherViews;
}

let showing = 0;
async function show() {
  if (!me) return;
  const run = ++showing;
  if (leaveView) leaveView();
  leaveView = null;
  const name = currentView();
  for (const link of topbar.querySelectorAll("[data-view]")) {
    if (link.dataset.view === name) link.setAttribute("aria-current", "page");
    else link.removeAttribute("aria-current");
  }
  document.title = `${TITLES[name]} · Zelvora Board`;
  if (name === "board") {
    leaveView = renderBoard(view, live, me);
    return;
  }
  let views = loadedViews;
  try {
    if (!views) {
      // The view left behind must not take taps meant for the next one.
      view.replaceChildren(h("p", { class: "muted", role: "status" }, "Loading…"));
      views = await loadOtherViews();
    }
  } catch {
    if (run === showing) {
      view.replaceChildren(h("p", { class: "notice error", role: "alert" },
        "This page could not be loaded. Please check the connection and try again."));
    }
    return;
  }
  if (run !== showing || !me) return;
  if (name === "status") {
    views.renderMyStatus(view, { me, onMe: setMe });
    leaveView = views.renderMyAbsences(view, live);
  }
  else if (name === "messages") leaveView = views.renderMyMessages(view, inbox);
  else leaveView = views.renderMessage(view, live, me);
}

async function signedIn(employee) {
  setMe(employee);
  // The statuses, the front desk and the board are asked for at once (when
  // the page starts signed in, they were asked for with the person).
  const presets = askFirst("/api/status-presets").then(({ data }) => setPresets(data.presets))
    .catch(() => { /* the buttons stay away; typing a status still works */ });
  topbar.hidden = false;
  live = new LiveBoard();
  inbox = new Inbox(document.getElementById("inbox-badge"));
  live.onInbox(() => inbox.refresh());
  live.start(askFirst("/api/board"));
  await Promise.all([presets, followFrontDesk(askFirst("/api/front-desk"))]);
  inbox.refresh();
  show();
  // The other views' code, once the page is idle: a later tap shows them at
  // once, and offline too.
  (window.requestIdleCallback || setTimeout)(() => loadOtherViews().catch(() => { /* fetched when shown */ }));
}

// The session ended under an open page: signed in again over it, the same
// person goes on where they were; another person gets their own page.
async function sessionEnded(message) {
  if (live) live.stop();
  const employee = await signInAgain((container, done) => renderSignIn(container, { onSignedIn: done, message }));
  if (!me || employee.employee !== me.employee) {
    if (live) live.stop();
    live = null;
    signedIn(employee);
    return;
  }
  setMe(employee);
  if (live) live.start();
  await followFrontDesk();
}

function signedOut(message) {
  me = null;
  if (leaveView) leaveView();
  leaveView = null;
  if (live) live.stop();
  live = null;
  inbox = null;
  document.getElementById("inbox-badge").hidden = true;
  setAntiForgeryToken("");
  topbar.hidden = true;
  document.title = "Sign in · Zelvora Board";
  renderSignIn(view, { onSignedIn: signedIn, message });
}

onSignedOut((message) => { if (me) sessionEnded(message); });
window.addEventListener("hashchange", show);
window.addEventListener("zelvora:check-session", async () => {
  try {
    await api("GET", "/api/me");
    if (live) setTimeout(() => live && live.start(), 3000);
  } catch (e) {
    if (e.status !== 401 && live) setTimeout(() => live && live.start(), 3000);
  }
});
document.getElementById("sign-out").addEventListener("click", async () => {
  try { await api("POST", "/api/sign-out"); } catch { /* signed out either way */ }
  signedOut("");
});

(async () => {
  try {
    const { data } = await askFirst("/api/me");
    signedIn(data);
  } catch (e) {
    dropFirstAnswers();
    signedOut(e.status === 401 || e.status === 0 ? (e.status === 0 ? e.message : "") : e.message);
  }
})();
