// The administration's "Front desk" page: the lobby displays (a read-only
// board at a secret address for a screen in the lobby: made, renamed,
// changed and revoked here) and the accounts at the front desk (which may
// change anyone's status from the board).

import { api } from "./api.js";
import { askInline, h, notice, replaceChildren } from "./dom.js";

function displaysCard() {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const question = h("div", { class: "question-slot", hidden: true });
  const list = h("div", { class: "display-list" });
  const empty = h("p", { class: "muted", hidden: true }, "No lobby display yet.");
  const form = h("form", { class: "display-form", novalidate: true });
  let departments = [];

  async function send(method, path, body, done) {
    notice(message, "", "");
    try {
      show((await api(method, path, body)).data);
      if (done) notice(message, "ok", done);
      return true;
    } catch (e) {
      notice(message, "error", e.message);
      return false;
    }
  }

  // The fields of a display: name, departments, phones and comments; ids
  // made unique by `prefix`.
  function settingsFields(prefix, display = { name: "", departments: [], phones: false, comments: false }) {
    const box = (name, label, checked) => h("label", { class: "mark", for: `${prefix}-${name}` },
      h("input", { type: "checkbox", id: `${prefix}-${name}`, name, checked }), label);
    return [
      h("div", { class: "field" }, h("label", { for: `${prefix}-name` }, "Name"),
        h("input", { type: "text", id: `${prefix}-name`, name: "name", value: display.name, maxlength: 255,
          placeholder: "Lobby, ground floor", autocomplete: "off" })),
      departments.length ? h("fieldset", { class: "display-departments" },
        h("legend", {}, "Departments shown (none ticked: every department)"),
        departments.map((department, i) => h("label", { class: "mark", for: `${prefix}-d${i}` },
          h("input", { type: "checkbox", id: `${prefix}-d${i}`, name: "department", value: department,
            checked: display.departments.includes(department) }), department))) :
        h("p", { class: "hint" }, "There are no departments yet: the display shows everybody."),
      h("div", { class: "display-marks" },
        box("phones", "Show phones and where people are reached", display.phones),
        box("comments", "Show comments", display.comments)),
    ];
  }

  function settingsOf(container) {
    const value = (name) => container.querySelector(`[name=${name}]`);
    return {
      name: value("name").value.trim(),
      departments: [...container.querySelectorAll("[name=department]:checked")].map((box) => box.value),
      phones: value("phones").checked,
      comments: value("comments").checked,
    };
  }

  function item(display) {
    const url = `${location.origin}${display.path}`;
    const editor = h("form", { class: "display-edit", hidden: true, novalidate: true },
      settingsFields(`e${display.id}`, display),
      h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary small" }, "Save")));
    editor.addEventListener("submit", (event) => {
      event.preventDefault();
      send("PUT", `/api/admin/displays/${display.id}`, settingsOf(editor), "The display is changed.");
    });
    const shown = display.departments.length ? display.departments.join(", ") : "every department";
    return h("div", { class: "display-item", dataset: { id: display.id } },
      h("div", { class: "display-line" },
        h("span", { class: "absence-who" }, display.name),
        h("span", { class: "muted" }, [shown, display.phones && "phones", display.comments && "comments"]
          .filter(Boolean).join(" · ")),
        h("span", { class: "row-actions" },
          h("a", { class: "button small quiet", href: url, target: "_blank", rel: "noopener" }, "Open"),
          h("button", { type: "button", class: "button small", "aria-label": `Change ${display.name}`,
            onclick: () => { editor.hidden = !editor.hidden; } }, "Change"),
          h("button", { type: "button", class: "button small danger-quiet", "aria-label": `Revoke ${display.name}`,
            onclick: async () => {
              if (!await askInline(question, `Revoke the display "${display.name}"? Its screens go dark at once.`)) return;
              send("DELETE", `/api/admin/displays/${display.id}`, undefined, `The display "${display.name}" is revoked.`);
            } }, "Revoke"))),
      h("input", { type: "text", readonly: true, value: url, class: "display-url",
        "aria-label": `Address of ${display.name}`, onfocus: (event) => event.target.select() }),
      editor);
  }

  function show(data) {
    departments = data.departments;
    replaceChildren(list, data.displays.map(item));
    empty.hidden = data.displays.length > 0;
    replaceChildren(form, settingsFields("new"),
      h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary" }, "Make a display")));
  }

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const settings = settingsOf(form);
    if (await send("POST", "/api/admin/displays", settings, `The display "${settings.name}" is made; open its address on the lobby's screen.`)) {
      form.reset();
    }
  });

  api("GET", "/api/admin/displays").then(({ data }) => show(data)).catch((e) => notice(message, "error", e.message));
  return h("section", { class: "card" }, h("h2", {}, "Lobby displays"),
    h("p", { class: "muted" }, "A board for a screen in the lobby: open its address in the screen's browser, "
      + "with no sign-in. It shows who is in, grouped by department, follows every change, and goes dark the "
      + "moment you revoke it. Anyone who has the address can see it."),
    message, question, list, empty, h("h3", {}, "New display"), form);
}

function frontDeskCard() {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const list = h("ul", { class: "front-desk-list" });
  const empty = h("p", { class: "muted", hidden: true }, "Nobody is at the front desk.");
  const choice = h("select", { id: "fd-add", name: "employee" });
  const add = h("form", { class: "front-desk-add", novalidate: true },
    h("div", { class: "field" }, h("label", { for: "fd-add" }, "Account"), choice),
    h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary" }, "Put at the front desk")));

  async function send(employee, frontDesk, done) {
    notice(message, "", "");
    try {
      show((await api("PUT", "/api/admin/front-desk", { employee, frontDesk })).data);
      notice(message, "ok", done);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  function show(data) {
    const listed = new Set(data.accounts.map((a) => a.employee));
    replaceChildren(list, data.accounts.map((account) => h("li", { class: "front-desk-item" },
      h("span", {}, account.employee),
      account.onBoard ? null : h("span", { class: "muted" }, "not on the board"),
      h("button", { type: "button", class: "button small danger-quiet",
        "aria-label": `Take off the front desk: ${account.employee}`,
        onclick: () => send(account.employee, false, `${account.employee} is off the front desk.`) }, "Take off"))));
    empty.hidden = data.accounts.length > 0;
    replaceChildren(choice, h("option", { value: "" }, "Choose an account"),
      data.employees.filter((e) => !listed.has(e)).map((e) => h("option", { value: e }, e)));
  }

  add.addEventListener("submit", (event) => {
    event.preventDefault();
    if (!choice.value) { notice(message, "error", "Please choose an account."); return; }
    send(choice.value, true, `${choice.value} is at the front desk.`);
  });

  api("GET", "/api/admin/front-desk").then(({ data }) => show(data)).catch((e) => notice(message, "error", e.message));
  return h("section", { class: "card" }, h("h2", {}, "Front desk"),
    h("p", { class: "muted" }, "Accounts at the front desk may change anyone's status from the board: punch in and "
      + "out, status, returning, comments and absences planned ahead. Each change is logged as the person's own, "
      + "and the server's record names the front desk that made it."),
    message, list, empty, add);
}

export function renderFrontDesk(container) {
  container.replaceChildren(h("div", { class: "admin-page" }, h("div", { class: "page-head" }, h("h2", {}, "Front desk and lobby")),
    displaysCard(), frontDeskCard()));
}
