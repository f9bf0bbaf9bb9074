// The shared phonebook, as the window's Caller Maintenance shows it: every
// caller in caller order; one entry or all of them can be deleted. Each
// deletion is made and saved at once on the server.

import { api } from "./api.js";
import { askInline, h, notice, replaceChildren } from "./dom.js";

export function renderPhonebook(container) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const question = h("div", { class: "question-slot", hidden: true });
  const body = h("tbody");
  const summary = h("p", { class: "summary" });
  const deleteAll = h("button", { type: "button", class: "button danger-quiet" }, "Delete all");
  const empty = h("p", { class: "empty", hidden: true }, "The phonebook is empty.");

  async function load() {
    try {
      const { data } = await api("GET", "/api/admin/phonebook");
      summary.textContent = `${data.entries.length} ${data.entries.length === 1 ? "entry" : "entries"}`;
      replaceChildren(body, data.entries.map((entry) =>
        h("tr", { class: "row", dataset: { id: entry.id } },
          h("td", { "data-label": "Caller" }, entry.caller),
          h("td", { "data-label": "Company" }, entry.company),
          h("td", { "data-label": "Phone Number" }, entry.phone),
          h("td", { class: "row-actions" },
            h("button", { type: "button", class: "button small danger-quiet", onclick: async () => {
              try {
                await api("DELETE", `/api/admin/phonebook/${entry.id}`);
                notice(message, "ok", `"${entry.caller}" was deleted from the phonebook.`);
              } catch (e) {
                notice(message, "error", e.message);
              }
              load();
            } }, "Delete")))));
      empty.hidden = data.entries.length > 0;
      deleteAll.disabled = data.entries.length === 0;
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

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
      h("div", { class: "page-head" }, h("h2", {}, "Phonebook"), deleteAll),
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
