// The sign-in: the employee's name on the board and the password of their
// Zelvora Client.

import { api } from "./api.js";
import { field, h, notice } from "./dom.js";

export function renderSignIn(container, { onSignedIn, message }) {
  const error = h("p", { class: "notice", role: "alert", hidden: true });
  const button = h("button", { type: "submit", class: "button primary wide" }, "Sign in");
  const form = h("form", { class: "card sign-in", novalidate: true },
    h("div", { class: "sign-in-head" },
      h("img", { src: "/favicon.svg", alt: "", width: 48, height: 48 }),
      h("h1", {}, "Zelvora Board"),
      h("p", { class: "muted" }, "Sign in with the name and password of your Zelvora Client.")),
    field({ label: "Name on the board", name: "employee", placeholder: "Last,First",
      autocomplete: "username", autocapitalize: "none", spellcheck: "false", required: true }),
    field({ label: "Password", name: "password", type: "password", autocomplete: "current-password" }),
    error,
    button);
  if (message) notice(error, "error", message);

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const employee = form.elements.employee.value.trim();
    const password = form.elements.password.value;
    if (!employee) {
      notice(error, "error", "Please enter your name as it is on the board, for example Doe,Jane.");
      form.elements.employee.focus();
      return;
    }
    button.disabled = true;
    notice(error, "", "");
    try {
      const { data } = await api("POST", "/api/sign-in", { employee, password });
      onSignedIn(data);
    } catch (e) {
      notice(error, "error", e.message);
      form.elements.password.select();
    } finally {
      button.disabled = false;
    }
  });

  container.replaceChildren(h("div", { class: "center" }, form));
  form.elements.employee.focus();
}
