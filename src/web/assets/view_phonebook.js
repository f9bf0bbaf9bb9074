// The shared phonebook, as the window's Caller Maintenance shows it: every
// caller in caller order; entries added and edited in a dialog, one entry
// deleted after a question, or all of them. Each change is made and saved at
// once on the server.

import { api } from "./api.js";
import { askInline, clearRefusedFields, field, h, markRefusedField, notice, replaceChildren, setMaxLengths }
  from "./dom.js";

// Opens the dialog of an entry (`entry` null: a new one). `save(texts)`
// sends it and throws the server's refusal; the dialog closes when it is
// sent, or on Cancel or Escape, and the focus goes back to `opener`.
function entryDialog(entry, widths, opener, save) {
  const message = h("p", { class: "notice", role: "alert", hidden: true });
  const form = h("form", { class: "phone-entry", novalidate: true },
    field({ label: "Caller", name: "caller", value: entry ? entry.caller : "", required: true }),
    field({ label: "Company", name: "company", value: entry ? entry.company : "" }),
    field({ label: "Phone Number", name: "phone", type: "tel", value: entry ? entry.phone : "" }),
    message,
    h("div", { class: "actions" },
      h("button", { type: "button", class: "button", value: "cancel", onclick: () => dialog.close() }, "Cancel"),
      h("button", { type: "submit", class: "button primary" }, entry ? "Save" : "Add")));
  setMaxLengths(form, widths);
  const title = entry ? "Edit a phonebook entry" : "Add a phonebook entry";
  const dialog = h("dialog", { class: "card entry-dialog", "aria-labelledby": "phone-entry-title" },
    h("h2", { id: "phone-entry-title" }, title), form);
  form.addEventListener("input", () => {
    clearRefusedFields(form);
  });
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const { caller, company, phone } = form.elements;
    try {
      await save({ caller: caller.value.trim(), company: company.value.trim(), phone: phone.value.trim() });
      dialog.close();
    } catch (e) {
      notice(message, "error", e.message);
      markRefusedField(form, e, caller);
    }
  });
  dialog.addEventListener("close", () => {
    dialog.remove();
    if (opener && opener.isConnected) opener.focus();
  });
  document.body.append(dialog);
  dialog.showModal();
  form.elements.caller.focus();
}

export function renderPhonebook(container) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const question = h("div", { class: "question-slot", hidden: true });
  const body = h("tbody");
  const summary = h("p", { class: "summary" });
  const add = h("button", { type: "button", class: "button primary" }, "Add an entry");
  const deleteAll = h("button", { type: "button", class: "button danger-quiet" }, "Delete all");
  const empty = h("p", { class: "empty", hidden: true }, "The phonebook is empty.");
  let widths = {};

  async function removeEntry(entry) {
    if (!await askInline(question, `Delete "${entry.caller}" from the phonebook?`)) return;
    try {
      await api("DELETE", `/api/admin/phonebook/${entry.id}`);
      notice(message, "ok", `"${entry.caller}" was deleted from the phonebook.`);
    } catch (e) {
      notice(message, "error", e.message);
    }
    load();
  }

  function edit(entry, opener) {
    entryDialog(entry, widths, opener, async (texts) => {
      if (entry) await api("PUT", `/api/admin/phonebook/${entry.id}`, texts);
      else await api("POST", "/api/admin/phonebook", texts);
      notice(message, "ok", entry ? `"${texts.caller}" was saved.` : `"${texts.caller}" was added to the phonebook.`);
      await load();
    });
  }

  function row(entry) {
    const editButton = h("button", { type: "button", class: "button small", "aria-label": `Edit ${entry.caller}` }, "Edit");
    editButton.addEventListener("click", () => edit(entry, editButton));
    return h("tr", { class: "row", dataset: { id: entry.id } },
      h("th", { scope: "row", class: "caller", "data-label": "Caller" }, entry.caller),
      h("td", { "data-label": "Company" }, entry.company),
      h("td", { "data-label": "Phone Number" }, entry.phone),
      h("td", { class: "row-actions" }, editButton,
        h("button", { type: "button", class: "button small danger-quiet", "aria-label": `Delete ${entry.caller}`,
          onclick: () => removeEntry(entry) }, "Delete")));
  }

  async function load() {
    try {
      const { data } = await api("GET", "/api/admin/phonebook");
      widths = data.inputWidths || {};
      summary.textContent = `${data.entries.length} ${data.entries.length === 1 ? "entry" : "entries"}`;
      replaceChildren(body, data.entries.map(row));
      empty.hidden = data.entries.length > 0;
      deleteAll.disabled = data.entries.length === 0;
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  add.addEventListener("click", () => edit(null, add));
  deleteAll.addEventListener("click", async () => {
    if (!await askInline(question, "Delete every entry of the phonebook?")) return;
    try {
      await api("DELETE", "/api/admin/phonebook");
      notice(message, "ok", "The phonebook is empty now.");
    } catch (e) {
      notice(message, "error", e.message);
    }
    load();
  });

  container.replaceChildren(
    h("section", { class: "admin-page" },
      h("div", { class: "page-head" }, h("h2", {}, "Phonebook"), h("span", { class: "head-actions" }, add, deleteAll)),
      h("p", { class: "muted" }, "The callers the Zelvora Clients send in, shared by everyone."),
      summary, message, question,
      h("div", { class: "table-wrap" },
        h("table", { class: "grid phonebook" },
          h("thead", {}, h("tr", {},
            h("th", { scope: "col" }, "Caller"), h("th", { scope: "col" }, "Company"),
            h("th", { scope: "col" }, "Phone Number"), h("th", { scope: "col" }, h("span", { class: "hidden-label" }, "Actions")))),
          body)),
      empty));
  load();
}
