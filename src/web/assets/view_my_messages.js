// "My messages": the "While You Were Out" messages and memos waiting for the
// signed-in employee, newest last, as the Zelvora Client would deliver them;
// "Done" deletes one as the client's confirmation does.

import { api } from "./api.js";
import { h, notice, replaceChildren } from "./dom.js";
import { telHref } from "./format.js";

const MARKS = [
  ["urgent", "Urgent"], ["called", "Called"], ["returnedCall", "Returned your call"],
  ["wasHere", "Was here to see you"], ["wantsToSee", "Wants to see you"],
];

function itemElement(item, onDone) {
  const done = h("button", {
    type: "button", class: "button", "aria-label": `Done with the ${item.kind} ${item.caller ? `from ${item.caller}` : `of ${item.date} ${item.time}`}`,
  }, "Done");
  done.addEventListener("click", () => onDone(item, done));
  if (item.kind === "memo") {
    return h("li", { class: "inbox-item memo" },
      h("div", { class: "inbox-head" }, h("strong", {}, "Memo"), h("span", { class: "muted" }, `${item.date} ${item.time}`)),
      item.texts.filter(Boolean).map((text) => h("p", {}, text)),
      h("div", { class: "actions" }, done));
  }
  const marks = MARKS.filter(([key]) => item[key]).map(([, label]) => label);
  const tel = telHref(item.phone);
  return h("li", { class: `inbox-item${item.urgent ? " urgent" : ""}` },
    h("div", { class: "inbox-head" },
      h("strong", {}, item.caller || "Someone"),
      item.company ? h("span", {}, ` · ${item.company}`) : null,
      h("span", { class: "muted" }, ` ${item.date} ${item.time}`)),
    marks.length ? h("p", { class: "marks-line" }, marks.join(" · ")) : null,
    item.phone ? h("p", {}, "Phone: ", tel ? h("a", { href: tel, class: "tel" }, item.phone) : item.phone) : null,
    item.regarding ? h("p", {}, "Regarding: ", item.regarding) : null,
    item.comments ? h("p", {}, item.comments) : null,
    item.takenBy ? h("p", { class: "muted" }, `Taken by ${item.takenBy}`) : null,
    h("div", { class: "actions" }, done));
}

export function renderMyMessages(container, inbox) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const list = h("ul", { class: "inbox" });
  const empty = h("p", { class: "empty", hidden: true }, "No messages are waiting for you.");

  async function onDone(item, button) {
    button.disabled = true;
    try {
      await api("POST", "/api/my-messages/done", { kind: item.kind, id: item.id });
      notice(message, "ok", "Done: the message is deleted.");
    } catch (e) {
      notice(message, "error", e.message);
    }
    inbox.refresh();
  }

  function draw(items) {
    replaceChildren(list, items.map((item) => itemElement(item, onDone)));
    empty.hidden = items.length > 0;
  }

  container.replaceChildren(
    h("section", { class: "card narrow" },
      h("h1", { class: "view-title" }, "My messages"),
      message, list, empty));
  draw(inbox.items);
  return inbox.subscribe(draw);
}
