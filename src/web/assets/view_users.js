// The user table of the server's window: every account with "Updating"
// while a client exchange runs for it, or "Idle", and its last activity. It
// follows the server's user table live.

import { api } from "./api.js";
import { followChanges } from "./admin_live.js";
import { h, notice, replaceChildren } from "./dom.js";

const STATE_TEXT = { live: "Live", connecting: "Connecting…", offline: "Offline" };

export function renderUsers(container, { live }) {
  const summary = h("p", { class: "summary" });
  const liveMark = h("span", { class: "live-mark" });
  const error = h("p", { class: "notice", role: "alert", hidden: true });
  const body = h("tbody");
  const table = h("table", { class: "grid users" },
    h("thead", {}, h("tr", {},
      h("th", { scope: "col" }, "Employee"),
      h("th", { scope: "col" }, "Activity Status"),
      h("th", { scope: "col" }, "Last Activity"))),
    body);
  const empty = h("p", { class: "empty", hidden: true }, "There are no accounts yet. Create them under Accounts.");

  function drawState() {
    liveMark.textContent = STATE_TEXT[live.state] || "";
    liveMark.className = `live-mark ${live.state}`;
  }

  async function load() {
    try {
      const { data } = await api("GET", "/api/admin/users");
      notice(error, "", "");
      summary.textContent = data.users;
      replaceChildren(body, data.rows.map((row) =>
        h("tr", { class: `row ${row.activity === "Updating" ? "updating" : "idle"}`,
          dataset: { employee: row.employee } },
        h("td", { class: "employee", "data-label": "Employee" }, row.employee),
        h("td", { class: "activity", "data-label": "Activity" },
          h("span", { class: `pill ${row.activity === "Updating" ? "in" : "out"}` }, row.activity)),
        h("td", { class: "last-activity", "data-label": "Last activity" }, row.lastActivity))));
      empty.hidden = data.rows.length > 0;
    } catch (e) {
      notice(error, "error", e.message);
    }
  }

  container.replaceChildren(
    h("section", { class: "admin-page" },
      h("div", { class: "page-head" }, h("h2", {}, "Users"), liveMark),
      h("p", { class: "muted" }, "Who is connected now: \"Updating\" while a Zelvora Client exchanges its data."),
      summary, error,
      h("div", { class: "table-wrap" }, table),
      empty));
  drawState();
  const unfollow = followChanges(live, "users", load);
  const unstate = live.on("state", drawState);
  return () => { unfollow(); unstate(); };
}
