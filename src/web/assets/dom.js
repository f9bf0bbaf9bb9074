// Building the page's elements. Texts always become text nodes (or
// textContent): nothing the server sends is ever read as markup.

// h("div", {class: "row", onclick: fn}, "text", child, [more, children])
export function h(tag, attributes = {}, ...children) {
  const element = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name.startsWith("on") && typeof value === "function") {
      element.addEventListener(name.slice(2), value);
    } else if (name === "dataset") {
      Object.assign(element.dataset, value);
    } else if (value === true) {
      element.setAttribute(name, "");
    } else {
      element.setAttribute(name, String(value));
    }
  }
  append(element, children);
  return element;
}

function append(element, children) {
  for (const child of children) {
    if (child === undefined || child === null || child === false) continue;
    if (Array.isArray(child)) {
      append(element, child);
    } else if (child instanceof Node) {
      element.appendChild(child);
    } else {
      element.appendChild(document.createTextNode(String(child)));
    }
  }
}

// Replaces everything inside `element` with `children`.
export function replaceChildren(element, ...children) {
  element.replaceChildren();
  append(element, children);
}

// A labelled form field: {label, name, value, maxlength, ...input attributes};
// its id is "f-<name>" unless given.
export function field({ label, hint, ...input }) {
  const id = input.id || `f-${input.name}`;
  return h("div", { class: "field" },
    h("label", { for: id }, label),
    h("input", { id, type: "text", autocomplete: "off", ...input }),
    hint ? h("small", { class: "hint" }, hint) : null);
}

// A password field ({label, name, hint, ...input attributes}) with a
// toggle button that shows what is typed and hides it again (pressed while
// shown; its name stays, as a toggle's does).
export function passwordField({ label, hint, ...input }) {
  const id = input.id || `f-${input.name}`;
  const box = h("input", { id, type: "password", autocomplete: "new-password", spellcheck: "false",
    "aria-describedby": hint ? `${id}-hint` : null, ...input });
  const show = h("button", { type: "button", class: "button small quiet reveal", "aria-controls": id,
    "aria-pressed": "false", "aria-label": `Show the ${label.toLowerCase()}` }, "Show");
  show.addEventListener("click", () => {
    const shown = box.type === "password";
    box.type = shown ? "text" : "password";
    show.setAttribute("aria-pressed", String(shown));
  });
  return h("div", { class: "field" },
    h("label", { for: id }, label),
    h("span", { class: "password-box" }, box, show),
    hint ? h("small", { class: "hint", id: `${id}-hint` }, hint) : null);
}

// Limits the text inputs of `form` to the lengths the server gives for
// them ({name: characters}, from the stores' field tables).
export function setMaxLengths(form, widths) {
  for (const [name, width] of Object.entries(widths || {})) {
    const input = form.elements[name];
    if (input instanceof HTMLInputElement) input.maxLength = width;
  }
}

// A line for what happened: kind "ok" or "error".
// Marks the field a refusal names (the error's "field"), or `fallback`, as
// invalid and puts the cursor in it.
export function markRefusedField(form, error, fallback = null) {
  const input = (error.field && form.elements[error.field]) || fallback;
  if (!input) return;
  input.setAttribute("aria-invalid", "true");
  input.focus();
}

// Takes the marks of an earlier refusal off the form's fields.
export function clearRefusedFields(form) {
  for (const input of form.querySelectorAll("[aria-invalid]")) input.removeAttribute("aria-invalid");
}

export function notice(element, kind, text) {
  element.className = `notice ${kind}`;
  element.textContent = text;
  element.hidden = !text;
}

// Asks `question` with Yes and No inside `slot` (an element kept for it);
// resolves to true for Yes. The page's own question, never the browser's
// dialog box.
export function askInline(slot, question) {
  return new Promise((resolve) => {
    const answer = (yes) => {
      slot.replaceChildren();
      slot.hidden = true;
      resolve(yes);
    };
    const no = h("button", { type: "button", class: "button", onclick: () => answer(false) }, "No");
    slot.replaceChildren(h("div", { class: "question", role: "alertdialog", "aria-label": question },
      h("span", {}, question),
      h("span", { class: "question-buttons" },
        h("button", { type: "button", class: "button danger", onclick: () => answer(true) }, "Yes"),
        no)));
    slot.hidden = false;
    no.focus();
  });
}
