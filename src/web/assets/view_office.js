// The Options page's office systems: the directory (its settings, the
// "Test" of a name with what the board makes of each person found, a sync
// now with its report, and the accounts whose person left, to delete) and
// the team chat's webhooks (set, removed, "Send a test"); with what is wrong
// with their settings. Passwords, webhook addresses and secrets are never
// shown: an empty field keeps the one set.

import { api } from "./api.js";
import { askInline, field, h, notice, replaceChildren } from "./dom.js";

const DIRECTORY_KEYS = [
  ["URI", "URI (ldap://host or ldaps://host)"], ["StartTLS", "StartTLS (yes or no)"], ["CAFile", "CA file"],
  ["BindDN", "Search account (BindDN)"], ["Base", "Base"], ["Filter", "Filter (%s: the name typed)"],
  ["LoginAttribute", "Login attribute"], ["LastNameAttribute", "Last name attribute"],
  ["FirstNameAttribute", "First name attribute"], ["DepartmentAttribute", "Department attribute"],
  ["EMailAttribute", "E-mail attribute"], ["WorkPhoneAttribute", "Work phone attribute"],
  ["CellPhoneAttribute", "Cell phone attribute"], ["HomePhoneAttribute", "Home phone attribute"],
  ["PagerAttribute", "Pager attribute"], ["Group", "Group of the people with accounts"],
  ["AdminGroup", "Administrators' group"], ["FrontDeskGroup", "Front desk's group"],
  ["Timeout", "Timeout (seconds)"],
];

function syncText(sync) {
  if (!sync) return "No sync yet.";
  const when = new Date(sync.at * 1000).toLocaleString();
  return `Last sync ${when}: ${sync.summary}.`;
}

function problemList(problems) {
  return problems.length ? h("ul", { class: "problems" }, problems.map((p) => h("li", {}, p))) : null;
}

function personLine(p) {
  const roles = [p.inGroup ? "in the group" : "not in the group", p.administrator ? "administrator" : null,
    p.frontDesk ? "front desk" : null].filter(Boolean).join(", ");
  return h("li", { class: "person" },
    h("strong", {}, `${p.login}`), ` (${p.dn}): ${p.lastName}, ${p.firstName}; ${p.department || "no department"}; `,
    roles, "; ",
    p.employee ? h("span", {}, "the board's account ", h("code", {}, p.employee)) : "no board account can be made",
    problemList(p.problems));
}

// The two cards; they load what they show themselves.
export function officeCards() {
  const directoryMessage = h("p", { class: "notice", role: "status", hidden: true });
  const chatMessage = h("p", { class: "notice", role: "status", hidden: true });
  const question = h("div", { class: "question-slot", hidden: true });
  const problems = h("div", { class: "office-problems" });
  const directoryForm = h("form", { class: "directory-form", novalidate: true });
  const syncLine = h("p", { class: "sync-report" });
  const syncProblems = h("div");
  const found = h("div", { class: "directory-test" });
  const leavers = h("div", { class: "leavers" });
  const hooks = h("div", { class: "chat-hooks" });
  const hookForm = h("form", { class: "chat-hook-form", novalidate: true });
  let shown = null;

  function show(data) {
    shown = data;
    replaceChildren(problems, data.problems.length
      ? [h("p", {}, "What is wrong with the settings:"), problemList(data.problems)] : null);
    replaceChildren(directoryForm,
      h("div", { class: "two" }, DIRECTORY_KEYS.map(([key, label]) =>
        field({ label, name: key, id: `f-dir-${key}`, value: data.directory[key] ?? "" }))),
      field({ label: data.directory.BindPasswordSet ? "Search account's password (set; empty: kept)"
        : "Search account's password", name: "BindPassword", id: "f-dir-BindPassword", type: "password", autocomplete: "off" }),
      h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary" }, "Save the directory")));
    syncLine.textContent = syncText(data.lastSync);
    replaceChildren(syncProblems, data.lastSync ? problemList(data.lastSync.problems) : null);
    replaceChildren(leavers, data.leavers.length
      ? h("table", { class: "table" },
        h("thead", {}, h("tr", {}, h("th", {}, "Account"), h("th", {}, "Person"), h("th", {}, "Gone since"),
          h("th", {}, ""))),
        h("tbody", {}, data.leavers.map((l) => h("tr", {},
          h("td", {}, l.employee), h("td", {}, l.person), h("td", {}, l.since),
          h("td", {}, h("button", { type: "button", class: "button small danger-quiet", onclick: async () => {
            if (!await askInline(question, `Delete the account ${l.employee}? Its memos and messages stay.`)) return;
            try {
              await api("DELETE", "/api/admin/accounts", { employee: l.employee });
              notice(directoryMessage, "ok", `The account ${l.employee} is deleted.`);
              load();
            } catch (e) {
              notice(directoryMessage, "error", e.message);
            }
          } }, "Delete"))))))
      : h("p", { class: "muted" }, "Nobody has left the directory's group."));
    replaceChildren(hooks, data.chatHooks.length
      ? data.chatHooks.map((hook) => h("div", { class: "chat-hook", dataset: { name: hook.name } },
        h("span", { class: "absence-who" }, hook.name),
        h("span", {}, `${hook.kind}; ${hook.departments || "every department"}; ${hook.events || "every event"}`),
        h("span", { class: "row-actions" },
          h("button", { type: "button", class: "button small", onclick: () => sendTest(hook.name) }, "Send a test"),
          h("button", { type: "button", class: "button small quiet", onclick: () => editHook(hook) }, "Change"),
          h("button", { type: "button", class: "button small danger-quiet", onclick: async () => {
            if (!await askInline(question, `Remove the webhook ${hook.name}?`)) return;
            send(chatMessage, "DELETE", "/api/admin/chat-hooks", { name: hook.name }, `${hook.name} is removed.`);
          } }, "Remove"))))
      : h("p", { class: "muted" }, "No webhook is set."));
  }

  function editHook(hook) {
    replaceChildren(hookForm,
      h("div", { class: "two" },
        field({ label: "Name", name: "name", id: "f-hook-name", value: hook ? hook.name : "", readonly: Boolean(hook) }),
        h("div", { class: "field" }, h("label", { for: "f-hook-kind" }, "Kind"),
          h("select", { id: "f-hook-kind", name: "kind" }, ["slack", "teams", "json"].map((kind) =>
            h("option", { value: kind, selected: hook ? hook.kind === kind : kind === "slack" }, kind)))),
        field({ label: hook && hook.urlSet ? "Webhook address (set; empty: kept)" : "Webhook address", name: "url", id: "f-hook-url",
          type: "password", autocomplete: "off" }),
        field({ label: hook && hook.secretSet ? "Secret for json (set; empty: kept)" : "Secret for json",
          name: "secret", id: "f-hook-secret", type: "password", autocomplete: "off" }),
        field({ label: "Departments (empty: every one)", name: "departments", id: "f-hook-departments", value: hook ? hook.departments : "" }),
        field({ label: "Events: status, overdue, absence, message (empty: all)", name: "events", id: "f-hook-events",
          value: hook ? hook.events : "" })),
      h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary" },
        hook ? "Save the webhook" : "Add the webhook")));
  }

  async function send(message, method, path, body, done) {
    notice(message, "", "");
    try {
      const { status, data } = await api(method, path, body);
      if (data && data.directory) show(data);
      notice(message, "ok", (data && data.message) || done);
      return { status, data };
    } catch (e) {
      notice(message, "error", e.message);
      return null;
    }
  }

  async function sendTest(name) {
    notice(chatMessage, "", "Sending…");
    await send(chatMessage, "POST", "/api/admin/chat-hooks/test", { name }, "The chat took the test post.");
  }

  async function load() {
    try {
      show((await api("GET", "/api/admin/office")).data);
    } catch (e) {
      notice(directoryMessage, "error", e.message);
    }
  }

  directoryForm.addEventListener("submit", (event) => {
    event.preventDefault();
    const changes = {};
    for (const [key] of DIRECTORY_KEYS) {
      const value = directoryForm.elements[key].value;
      if (value !== (shown.directory[key] ?? "")) changes[key] = value;
    }
    if (directoryForm.elements.BindPassword.value) changes.BindPassword = directoryForm.elements.BindPassword.value;
    send(directoryMessage, "PUT", "/api/admin/directory", changes, "The directory's settings are saved.");
  });

  hookForm.addEventListener("submit", async (event) => {
    event.preventDefault();
    const body = {};
    for (const key of ["name", "kind", "url", "secret", "departments", "events"]) body[key] = hookForm.elements[key].value;
    if (await send(chatMessage, "PUT", "/api/admin/chat-hooks", body, `The webhook ${body.name} is saved.`)) {
      editHook(null);
    }
  });

  const testForm = h("form", { class: "directory-test-form", novalidate: true },
    field({ label: "A name to look up (empty: the connection only)", name: "name", id: "f-test-name" }),
    h("div", { class: "actions" },
      h("button", { type: "submit", class: "button" }, "Test"),
      h("button", { type: "button", class: "button", onclick: async () => {
        notice(directoryMessage, "", "The sync runs…");
        const answer = await send(directoryMessage, "POST", "/api/admin/directory/sync", {}, "The sync is done.");
        if (answer && answer.data.lastSync) {
          syncLine.textContent = syncText(answer.data.lastSync);
          replaceChildren(syncProblems, problemList(answer.data.lastSync.problems));
          load();
        }
      } }, "Sync now")));
  testForm.addEventListener("submit", async (event) => {
    event.preventDefault();
    replaceChildren(found, h("p", { class: "muted" }, "Asking the directory…"));
    const answer = await send(directoryMessage, "POST", "/api/admin/directory/test",
      { name: testForm.elements.name.value }, "");
    if (!answer) return replaceChildren(found);
    const { reached, why, people } = answer.data;
    replaceChildren(found, !reached ? h("p", { class: "notice error" }, `The directory cannot be asked: ${why}.`)
      : people.length ? h("ul", { class: "people" }, people.map(personLine))
        : h("p", {}, "The directory answers; that name finds nobody."));
  });

  editHook(null);
  load();
  return [
    h("div", { class: "card" }, h("h3", {}, "The office's directory"),
      h("p", { class: "muted" }, "Sign-in with the directory's password in the browser, and accounts for the "
        + "people of the directory's group, kept up to date every hour. The Windows clients keep their board "
        + "passwords."),
      problems, directoryForm, testForm, found, syncLine, syncProblems,
      h("h4", {}, "People who left the group"), leavers, directoryMessage, question),
    h("div", { class: "card" }, h("h3", {}, "Team chat"),
      h("p", { class: "muted" }, "The board's news posted to Slack, Mattermost, Rocket.Chat (slack), a Teams "
        + "workflow (teams) or anything else (json, signed with the secret). Only what the board shows is posted."),
      hooks, hookForm, chatMessage),
  ];
}
