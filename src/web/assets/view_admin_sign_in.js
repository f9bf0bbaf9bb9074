// The way into the administration pages: the first-run set-up of the
// administrator's password (offered on the server's own computer only),
// or the sign-in with it.

import { api } from "./api.js";
import { field, h, notice } from "./dom.js";

function card(title, text, ...body) {
  return h("div", { class: "center" },
    h("div", { class: "card sign-in" },
      h("div", { class: "sign-in-head" },
        h("img", { src: "/favicon.svg", alt: "", width: 48, height: 48 }),
        h("h1", {}, title),
        h("p", { class: "muted" }, text)),
      ...body));
}

async function submit(form, button, error, request) {
  button.disabled = true;
  notice(error, "", "");
  try {
    await request();
  } catch (e) {
    notice(error, "error", e.message);
    const input = form.querySelector("input[type=password]");
    if (input) input.select();
  } finally {
    button.disabled = false;
  }
}

function setUpForm(container, onSignedIn, message) {
  const error = h("p", { class: "notice", role: "alert", hidden: true });
  const button = h("button", { type: "submit", class: "button primary wide" }, "Set the password and sign in");
  const form = h("form", { class: "set-up", novalidate: true },
    field({ label: "New administrator's password (at least 10 characters)", name: "password", type: "password",
      autocomplete: "new-password" }),
    field({ label: "The same password again", name: "again", type: "password", autocomplete: "new-password" }),
    error, button);
  if (message) notice(error, "error", message);
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    const password = form.elements.password.value;
    if (!password) {
      notice(error, "error", "Please type a password.");
      form.elements.password.focus();
      return;
    }
    if (password !== form.elements.again.value) {
      notice(error, "error", "The two passwords differ. Please type the same password twice.");
      form.elements.again.select();
      return;
    }
    submit(form, button, error, async () => {
      const { data } = await api("POST", "/api/admin/set-up", { password });
      onSignedIn(data.antiForgeryToken);
    });
  });
  container.replaceChildren(card("Set up the administration",
    "No administrator's password is set yet. Choose one now: it opens these pages from any computer " +
    "of the office. Only its hash is kept by the server.", form));
  form.elements.password.focus();
}

// With a directory, an administrator of the directory signs in with their
// own name and password; without a name, the password is the administrator's.
function signInForm(container, onSignedIn, message, directory) {
  const error = h("p", { class: "notice", role: "alert", hidden: true });
  const button = h("button", { type: "submit", class: "button primary wide" }, "Sign in");
  const form = h("form", { class: "admin-sign-in", novalidate: true },
    directory ? field({ label: "Your name in the directory (empty: the administrator's password)", name: "name",
      autocomplete: "username" }) : null,
    field({ label: directory ? "Password" : "Administrator's password", name: "password", type: "password",
      autocomplete: "current-password" }),
    error, button);
  if (message) notice(error, "error", message);
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    submit(form, button, error, async () => {
      const body = { password: form.elements.password.value };
      if (directory && form.elements.name.value) body.name = form.elements.name.value;
      const { data } = await api("POST", "/api/admin/sign-in", body);
      onSignedIn(data.antiForgeryToken);
    });
  });
  container.replaceChildren(card("Zelvora Administration",
    directory ? "Sign in as one of the directory's administrators, or with the administrator's password."
      : "Sign in with the administrator's password.", form));
  (directory ? form.elements.name : form.elements.password).focus();
}

export function renderAdminSignIn(container, { state, message, onSignedIn }) {
  if (!state) {
    container.replaceChildren(card("Zelvora Administration", message || "The server cannot be reached.",
      h("button", { type: "button", class: "button wide", onclick: () => location.reload() }, "Try again")));
    return;
  }
  if (!state.passwordSet && state.setUpHere) {
    setUpForm(container, onSignedIn, message);
  } else if (state.passwordSet || state.directory) {
    signInForm(container, onSignedIn, message, state.directory);
  } else {
    container.replaceChildren(card("Zelvora Administration",
      "No administrator's password is set yet. For safety it can be set only on the server's own computer:",
      h("ul", { class: "steps" },
        h("li", {}, "open these pages in a browser there (", h("code", {}, "http://localhost:8480/admin"),
          " with the default web port), or"),
        h("li", {}, "run ", h("code", {}, "zelvorad --set-admin-password"),
          " there while the server is stopped, or"),
        h("li", {}, "use Options, Web Access in the window of Zelvora Admin/Server.")),
      h("button", { type: "button", class: "button wide", onclick: () => location.reload() }, "Check again")));
  }
}
