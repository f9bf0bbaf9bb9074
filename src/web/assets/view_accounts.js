// Departments and accounts, as the window's Department/User Maintenance
// tree holds them: each department with its employees (and "Other" for
// accounts of no listed department), creating and removing departments,
// creating accounts with the fields of "Account Maintenance", and every
// field of "Modify User". Each change is made and saved at once on the
// server, with the window's own checks and messages.

import { api } from "./api.js";
import { followChanges } from "./admin_live.js";
import { askInline, clearRefusedFields, field, h, markRefusedField, notice, passwordField, replaceChildren,
  setMaxLengths } from "./dom.js";
import { accountsTable, departmentList } from "./accounts_table.js";

const ACCOUNT_FIELDS = [
  ["lastName", "Last Name"], ["firstName", "First Name"], ["email", "E-Mail"],
  ["workPhone", "Work Phone"], ["extension", "Extension"], ["homePhone", "Home Phone"],
  ["cellPhone", "Cell Phone"], ["pager", "Pager"], ["other", "Other"]];
const STATUS_FIELDS = [["status", "Status"], ["returning", "Returning"], ["reachedAt", "Reached At"],
  ["comments", "Comments"]];
const EMERGENCY_FIELDS = [["emergName", "Name"], ["emergPhone", "Phone #"], ["emergRelation", "Relation"]];

function showRefusal(form, message, e) {
  notice(message, "error", e.message);
  clearRefusedFields(form);
  markRefusedField(form, e);
}

function departmentSelect(name, departments, chosen, placeholder) {
  return h("select", { id: `f-${name}`, name },
    placeholder ? h("option", { value: "" }, placeholder) : null,
    departments.map((d) => h("option", { value: d, selected: d === chosen }, d)));
}

export function renderAccounts(container, { live }) {
  // inputWidths: how long each field's text may be, from the server.
  let data = { departments: [], accounts: [], defaultPassword: "", inputWidths: {} };
  let editing = null;  // the key of the account being edited
  let loaded = false;
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const tree = h("div", { class: "account-lists" });
  const page = h("section", { class: "admin-page" });
  // Each action's own message only: the ones of earlier actions go.
  const notices = [];
  const fresh = () => { for (const n of notices) notice(n, "", ""); };

  // --- a new department -------------------------------------------------------
  const deptMessage = h("p", { class: "notice", role: "status", hidden: true });
  const deptForm = h("form", { class: "inline-form new-department", novalidate: true },
    field({ label: "New Department", name: "name" }),
    h("button", { type: "submit", class: "button primary" }, "Create department"));
  deptForm.addEventListener("input", () => clearRefusedFields(deptForm));
  deptForm.addEventListener("submit", async (event) => {
    event.preventDefault();
    fresh();
    try {
      await api("POST", "/api/admin/departments", { name: deptForm.elements.name.value });
      notice(deptMessage, "ok", `Department "${deptForm.elements.name.value}" was created.`);
      deptForm.reset();
      await load();
    } catch (e) {
      showRefusal(deptForm, deptMessage, e);
    }
  });

  // --- a new account -------------------------------------------------------------
  const accountMessage = h("p", { class: "notice", role: "status", hidden: true });
  const accountDepartment = h("select", { id: "f-department", name: "department" });
  const accountForm = h("form", { class: "new-account", novalidate: true },
    h("div", { class: "two" },
      field({ label: "Last Name", name: "lastName" }),
      field({ label: "First Name", name: "firstName" })),
    h("div", { class: "two" },
      passwordField({ label: "Starting password", name: "password",
        hint: "The default password is filled in: type another to give the account its own." }),
      h("div", { class: "field" }, h("label", { for: "f-department" }, "Department"), accountDepartment)),
    h("div", { class: "actions" }, h("button", { type: "submit", class: "button primary" }, "Create account")));
  // The department list follows the departments; what is chosen stays.
  function fillDepartmentChoices() {
    const chosen = accountDepartment.value;
    replaceChildren(accountDepartment, h("option", { value: "" }, "Choose a department…"),
      data.departments.map((d) => h("option", { value: d, selected: d === chosen }, d)));
  }
  // As "Account Maintenance" opens: empty names, the default password, no
  // department chosen.
  function resetAccountForm() {
    accountForm.reset();
    accountForm.elements.password.value = data.defaultPassword;
    fillDepartmentChoices();
    accountDepartment.value = "";
  }
  accountForm.addEventListener("input", () => clearRefusedFields(accountForm));
  accountForm.addEventListener("submit", async (event) => {
    event.preventDefault();
    fresh();
    const e = accountForm.elements;
    try {
      const { data: made } = await api("POST", "/api/admin/accounts", {
        lastName: e.lastName.value, firstName: e.firstName.value, password: e.password.value,
        department: e.department.value });
      await load();
      resetAccountForm();
      notice(accountMessage, "ok", made.message);
    } catch (err) {
      showRefusal(accountForm, accountMessage, err);
    }
  });

  notices.push(message, deptMessage, accountMessage);

  // --- the lists -------------------------------------------------------------------
  const listState = { search: "", department: "" };

  async function removeAccount(key, question) {
    fresh();
    if (!await askInline(question, `Remove User "${key}"?`)) return;
    try {
      await api("DELETE", "/api/admin/accounts", { employee: key });
      notice(message, "ok", `User "${key}" was removed.`);
    } catch (e) {
      notice(message, "error", e.message);
    }
    await load();
  }

  async function removeDepartment(name, question) {
    fresh();
    if (!await askInline(question, `Remove Department "${name}"?`)) return;
    try {
      await api("DELETE", "/api/admin/departments", { name });
      notice(message, "ok", `Department "${name}" was removed.`);
    } catch (e) {
      notice(message, "error", e.message);
    }
    await load();
  }

  function drawTree() {
    replaceChildren(tree,
      data.departments.length ? departmentList(data.departments, data.accounts, removeDepartment)
        : h("p", { class: "empty" }, "No departments yet: create the first one above."),
      h("h3", { class: "section-title" }, "Accounts"),
      data.accounts.length ? accountsTable(data, listState, { onModify: edit, onDelete: removeAccount })
        : h("p", { class: "empty" }, "No accounts yet."));
  }

  // --- "Modify User" ---------------------------------------------------------------
  function edit(key) {
    fresh();
    editing = key;
    draw();
  }

  function editForm(account) {
    const formMessage = h("p", { class: "notice", role: "status", hidden: true });
    const keyLabel = h("strong", { class: "employee-key" }, account.employee);
    const inputs = (fields) => fields.map(([name, label]) =>
      field({ label, name, value: account[name] }));
    const department = data.departments.includes(account.department) ? account.department : data.departments[0];
    const form = h("form", { class: "modify-user", novalidate: true },
      h("p", { class: "employee-line" }, "Employee: ", keyLabel),
      h("div", { class: "modify-columns" },
        h("div", {},
          passwordField({ label: "New password", name: "password", placeholder: "unchanged" }),
          inputs(ACCOUNT_FIELDS.slice(0, 2)),
          h("div", { class: "field" }, h("label", { for: "f-department" }, "Department"),
            departmentSelect("department", data.departments, department, null)),
          inputs(ACCOUNT_FIELDS.slice(2))),
        h("div", {},
          h("fieldset", { class: "group" }, inputs(STATUS_FIELDS)),
          h("fieldset", { class: "group" }, h("legend", {}, "In Case of Emergency:"), inputs(EMERGENCY_FIELDS)))),
      formMessage,
      h("div", { class: "actions" },
        h("button", { type: "button", class: "button", onclick: () => { editing = null; draw(); } }, "Cancel"),
        h("button", { type: "submit", class: "button primary" }, "Save")));
    setMaxLengths(form, data.inputWidths);
    const deptSelect = form.elements.department;
    const names = () => `${form.elements.lastName.value},${form.elements.firstName.value}`;
    form.elements.lastName.addEventListener("input", () => { keyLabel.textContent = names(); });
    form.elements.firstName.addEventListener("input", () => { keyLabel.textContent = names(); });
    form.addEventListener("submit", async (event) => {
      event.preventDefault();
      // Only what was changed here: a change made meanwhile by someone else
      // to another field stays.
      const body = { employee: account.employee };
      for (const [name] of [...ACCOUNT_FIELDS, ...STATUS_FIELDS, ...EMERGENCY_FIELDS]) {
        if (form.elements[name].value !== account[name]) body[name] = form.elements[name].value;
      }
      if (form.elements.password.value) body.password = form.elements.password.value;
      const chosen = data.departments.length ? deptSelect.value : "";
      if (chosen !== account.department) body.department = chosen;
      try {
        const { data: saved } = await api("PUT", "/api/admin/accounts", body);
        editing = null;
        notice(message, "ok", `User "${saved.employee}" was saved.`);
        await load();
      } catch (e) {
        showRefusal(form, formMessage, e);
        if (e.status === 404) { editing = null; notice(message, "error", e.message); await load(); }
      }
    });
    return h("section", { class: "card modify-card" }, h("h2", {}, "Modify User"), form);
  }

  function draw() {
    const account = editing && data.accounts.find((a) => a.employee === editing);
    if (editing && account) {
      replaceChildren(page, editForm(account));
      page.querySelector("input[name=password]").focus();
      return;
    }
    editing = null;
    replaceChildren(page,
      h("div", { class: "page-head" }, h("h2", {}, "Accounts")),
      message,
      h("div", { class: "admin-columns" },
        h("div", { class: "card" }, h("h3", {}, "Create a department"), deptMessage, deptForm),
        h("div", { class: "card" }, h("h3", {}, "Create an account"), accountMessage, accountForm)),
      h("h3", { class: "section-title" }, "Departments"),
      tree);
    drawTree();
  }

  async function load() {
    try {
      ({ data } = await api("GET", "/api/admin/accounts"));
    } catch (e) {
      notice(message, "error", e.message);
      return;
    }
    setMaxLengths(deptForm, data.inputWidths);
    setMaxLengths(accountForm, data.inputWidths);
    if (!loaded) resetAccountForm();
    loaded = true;
    fillDepartmentChoices();
    if (editing) return;  // the form stays as the administrator left it
    draw();
  }

  container.replaceChildren(page);
  draw();
  return followChanges(live, "board", load);
}
