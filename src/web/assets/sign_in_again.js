// A session that ended while a page was open (the idle limit, a new
// password, a server that lost it): the sign-in opens over the page in a
// dialog, so that what the person was typing stays where it is, and the
// page goes on once they signed in again.

import { h } from "./dom.js";

let open = null;

// `render(container, onSignedIn)` puts a sign-in form into the dialog and
// calls onSignedIn(answer) once signed in; resolves with that answer.
export function signInAgain(render) {
  if (open) return open;
  const body = h("div", { class: "again-body" });
  const dialog = h("dialog", { class: "sign-in-again", "aria-label": "Sign in again" },
    h("p", { class: "again-note" }, "Your session has ended. Sign in again to go on; what you typed is kept."),
    body);
  // Escape does not close it: the page behind needs a session.
  dialog.addEventListener("cancel", (event) => event.preventDefault());
  document.body.append(dialog);
  open = new Promise((resolve) => {
    render(body, (answer) => {
      dialog.close();
      dialog.remove();
      open = null;
      resolve(answer);
    });
  });
  dialog.showModal();
  return open;
}
