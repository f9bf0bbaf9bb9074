// The administration pages: the first-run set-up or the sign-in with the
// administrator's password, then the user table, the accounts, the
// absences, the phonebook, the status log and the options, by the address's
// #fragment.

import { api, onSignedOut, setAntiForgeryToken } from "./api.js";
import { AdminLive } from "./admin_live.js";
import { renderAbsences } from "./view_absences.js";
import { renderAccounts } from "./view_accounts.js";
import { renderAdminSignIn } from "./view_admin_sign_in.js";
import { renderLog, renderLogPrint } from "./view_log.js";
import { renderOptions } from "./view_options.js";
import { calendarFeedsCard } from "./view_calendar_feeds.js";
import { officeCards } from "./view_office.js";
import { statusPresetsCard } from "./view_status_presets.js";
import { renderPhonebook } from "./view_phonebook.js";
import { renderUsers } from "./view_users.js";
import { renderFrontDesk } from "./view_front_desk.js";
import { signInAgain } from "./sign_in_again.js";

const VIEWS = {
  users: ["Users", renderUsers],
  accounts: ["Accounts", renderAccounts],
  absences: ["Absences", renderAbsences],
  phonebook: ["Phonebook", renderPhonebook],
  "front-desk": ["Front desk", renderFrontDesk],
  log: ["Status log", renderLog],
  "log-print": ["Status log printout", renderLogPrint],
  options: ["Options", (container, context) => {
    const leave = renderOptions(container, context);
    container.querySelector(".admin-page").append(statusPresetsCard(), calendarFeedsCard(), ...officeCards());
    return leave;
  }],
};
const view = document.getElementById("view");
const topbar = document.getElementById("topbar");

let live = null;
let leaveView = null;

// "#log-print?employee=Doe,Jane" -> ["log-print", URLSearchParams]
function currentView() {
  const [name, query] = location.hash.replace(/^#/, "").split("?");
  return [VIEWS[name] ? name : "users", new URLSearchParams(query || "")];
}

function show() {
  if (!live) return;
  if (leaveView) leaveView();
  leaveView = null;
  const [name, query] = currentView();
  const tab = name === "log-print" ? "log" : name;
  for (const link of topbar.querySelectorAll("[data-view]")) {
    if (link.dataset.view === tab) {
      link.setAttribute("aria-current", "page");
      link.scrollIntoView({ block: "nearest", inline: "nearest" });  // the tabs scroll on a phone
    } else {
      link.removeAttribute("aria-current");
    }
  }
  document.body.classList.toggle("printout-page", name === "log-print");
  const [title, render] = VIEWS[name];
  leaveView = render(view, { live, query, onToken: setAntiForgeryToken }) || null;
  document.title = `${title} · Zelvora Administration`;
}

// "Loading…" stands apart from the page, fixed where it is, so that the bar
// appearing above the first page moves nothing the reader has seen.
function started() {
  const loading = document.getElementById("starting");
  if (loading) loading.remove();
}

function signedIn(token) {
  started();
  setAntiForgeryToken(token);
  topbar.hidden = false;
  live = new AdminLive();
  live.start();
  show();
}

function signedOut(state, message) {
  started();
  if (leaveView) leaveView();
  leaveView = null;
  if (live) live.stop();
  live = null;
  setAntiForgeryToken("");
  topbar.hidden = true;
  document.body.classList.remove("printout-page");
  document.title = "Sign in · Zelvora Administration";
  renderAdminSignIn(view, { state, message, onSignedIn: signedIn });
}

async function start(message = "") {
  try {
    const { data } = await api("GET", "/api/admin/state");
    if (data.signedIn) signedIn(data.antiForgeryToken);
    else signedOut(data, message);
  } catch (e) {
    signedOut(null, e.message);
  }
}

// A session that ended under an open page signs in again over it, so that
// what was typed stays; without a password to sign in with, the page starts over.
async function sessionEnded(message) {
  let state = null;
  try { ({ data: state } = await api("GET", "/api/admin/state")); } catch { /* as below */ }
  if (!state || !state.passwordSet) { start(message); return; }
  if (live) live.stop();
  const token = state.signedIn ? state.antiForgeryToken :
    await signInAgain((container, done) => renderAdminSignIn(container, { state, message, onSignedIn: done }));
  setAntiForgeryToken(token);
  if (live) live.start();
}

onSignedOut((message) => { if (live) sessionEnded(message); });
window.addEventListener("hashchange", show);
window.addEventListener("zelvora:check-session", async () => {
  try {
    await api("GET", "/api/admin/state").then(({ data }) => { if (!data.signedIn && live) sessionEnded(""); });
    if (live) setTimeout(() => live && live.start(), 3000);
  } catch { if (live) setTimeout(() => live && live.start(), 3000); }
});
document.getElementById("sign-out").addEventListener("click", async () => {
  try { await api("POST", "/api/admin/sign-out"); } catch { /* signed out either way */ }
  start();
});

start();
