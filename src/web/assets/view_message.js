// "Take a message": the While You Were Out form. The message reaches its
// recipient's Zelvora Client at the next login, and by mail when they asked
// for it. The caller can be picked from the phonebook, which fills in the
// company and phone; recipients are listed by last name.

import { api } from "./api.js";
import { field, h, notice, replaceChildren, setMaxLengths } from "./dom.js";
import { displayName, sortName } from "./format.js";
const MARKS = [
  ["called", "Called"],
  ["returnedCall", "Returned your call"],
  ["wasHere", "Was here to see you"],
  ["wantsToSee", "Wants to see you"],
  ["urgent", "Urgent"],
];

// `me`: the signed-in employee, with the lengths the form's texts may have.
export function renderMessage(container, live, me) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const recipient = h("select", { id: "f-recipient", name: "recipient", required: true });
  const send = h("button", { type: "submit", class: "button primary" }, "Take message");
  const form = h("form", { class: "message-form", novalidate: true },
    h("div", { class: "field" }, h("label", { for: "f-recipient" }, "For"), recipient),
    h("div", { class: "two" },
      field({ label: "Caller", name: "caller", list: "phonebook-callers",
        hint: "Pick someone from the phonebook to fill in the company and phone." }),
      field({ label: "Company", name: "company" })),
    field({ label: "Phone", name: "phone", type: "tel" }),
    h("fieldset", { class: "marks" },
      h("legend", {}, "While you were out"),
      MARKS.map(([name, label]) => h("label", { class: `mark${name === "urgent" ? " urgent" : ""}` },
        h("input", { type: "checkbox", name }), label))),
    field({ label: "Regarding", name: "regarding" }),
    field({ label: "Comments", name: "comments" }),
    h("datalist", { id: "phonebook-callers" }),
    h("div", { class: "actions" }, send));
  let phonebook = [];
  // The caller's company and phone from the phonebook, where still empty.
  function fillFromPhonebook() {
    const entry = phonebook.find((e) => e.caller === form.elements.caller.value);
    if (!entry) return;
    if (!form.elements.company.value) form.elements.company.value = entry.company;
    if (!form.elements.phone.value) form.elements.phone.value = entry.phone;
  }
  api("GET", "/api/phonebook").then(({ data }) => {
    phonebook = data.entries;
    replaceChildren(form.querySelector("#phonebook-callers"),
      phonebook.map((entry) => h("option", { value: entry.caller }, entry.company)));
    // A caller picked before the phonebook came is filled in now.
    fillFromPhonebook();
  }).catch(() => {});
  form.elements.caller.addEventListener("change", fillFromPhonebook);
  setMaxLengths(form, me.inputWidths && me.inputWidths.message);

  function fillRecipients(board) {
    if (!board) return;
    const chosen = recipient.value;
    const people = [...board.rows].sort((a, b) => sortName(a).localeCompare(sortName(b)));
    replaceChildren(recipient,
      h("option", { value: "" }, "Choose who the message is for"),
      people.map((row) => h("option", { value: row.employee, selected: row.employee === chosen },
        row.department ? `${sortName(row)} (${row.department})` : sortName(row))));
  }

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    if (!recipient.value) {
      notice(message, "error", "Please choose who the message is for.");
      recipient.focus();
      return;
    }
    const body = { recipient: recipient.value };
    for (const name of ["caller", "company", "phone", "regarding", "comments"]) body[name] = form.elements[name].value;
    for (const [name] of MARKS) body[name] = form.elements[name].checked;
    send.disabled = true;
    notice(message, "", "");
    try {
      await api("POST", "/api/messages", body);
      const person = live.board && live.board.rows.find((row) => row.employee === body.recipient);
      const name = person ? displayName(person) : body.recipient;
      form.reset();
      recipient.value = "";
      notice(message, "ok", `Message for ${name} taken. It reaches them at their next login.`);
    } catch (e) {
      notice(message, "error", e.message);
      const target = e.field && form.elements[e.field];
      if (target) target.focus();
    } finally {
      send.disabled = false;
    }
  });

  container.replaceChildren(
    h("section", { class: "card narrow" },
      h("h1", { class: "view-title" }, "Take a message"),
      message,
      form));
  fillRecipients(live.board);
  const unsubscribe = live.subscribe((board) => { if (board) fillRecipients(board); });
  return unsubscribe;
}
