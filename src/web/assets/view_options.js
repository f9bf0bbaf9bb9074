// The options of the window's Options menu, each with its dialog's own
// explanation, taking effect as the dialog makes it take effect; and the
// administrator's password for these pages.

import { api } from "./api.js";
import { field, h, markRefusedField, notice, replaceChildren } from "./dom.js";

const EXPLAIN = {
  smtpHost: ["If you specify the IP address of your SMTP Mail Host,", "then Zelvora can E-Mail memos to those employees",
    "who have requested Internet E-Mail Notification on", "their Zelvora \"Option:Preferences\" screen."],
  port: ["This option is for administrators who want to place the", "Zelvora Server on a specific Port.  If you change",
    "this value, be sure to use the Preferences dialog on", "each Zelvora Client such that the Port number",
    "matches this Port number."],
  blockSize: ["This setting allows you to optimize Zelvora's network", "usage.  A higher block number means more data  in",
    "each Send, so fewer Sends.  However, some networks", "have a maximum number of bytes that can be sent at one",
    "time.  If you experience network problems, try adjusting", "this setting such that the block size is lower.  But keep",
    "in mind that a lower Block Size means more data Sends,", "thus slightly slower performance.  We recommend the",
    "highest value your network supports (ie, 8192 is ideal)."],
  expDays: ["This option specifies how many days an unread memo", "is allowed to stay on the Admin Server before it is",
    "automatically deleted."],
  maxLogSize: ["This option specifies the Maximum number of Status", " Change entries the database will hold.  A smaller value",
    "will give better overall system performance."],
  autoOutAt: ["At this time of day every employee whose status is In", "is punched out, as if they had punched out themselves.",
    "Type a time such as 17:30 or 5:30 PM, or leave it empty", "so that nobody is punched out.  A server that was not",
    "running at that time does it when it starts, once."],
};

function explanation(name) {
  return h("p", { class: "explanation" }, EXPLAIN[name].join("\n"));
}

// What the form shows until the options arrive: the same fields, empty, so
// that nothing moves when they are filled in.
const PENDING = { smtpHost: "", port: "", blockSize: "", blockSizeInUse: "", blockSizes: [], expDays: "",
  maxLogSize: "", maxLogSizeRange: [], autoOutAt: "", autoOutDone: "", listeningPort: 0 };

export function renderOptions(container, { onToken }) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const form = h("form", { class: "options-form", novalidate: true });
  let shown = null;

  function draw(options, pending = false) {
    shown = pending ? null : options;
    form.setAttribute("aria-busy", String(pending));
    const inUse = (text) => h("small", { class: "hint in-use" }, text);
    replaceChildren(form,
      h("fieldset", { class: "option" }, h("legend", {}, "SMTP Mail Options"),
        field({ label: "SMTP Host", name: "smtpHost", maxlength: 255, value: options.smtpHost }),
        explanation("smtpHost")),
      h("fieldset", { class: "option" }, h("legend", {}, "TCP/IP Port"),
        field({ label: "Port", name: "port", maxlength: 255, value: options.port }),
        options.listeningPort && String(options.listeningPort) !== options.port
          ? inUse(`The clients are served on port ${options.listeningPort} until the next start.`) : null,
        explanation("port")),
      h("fieldset", { class: "option" }, h("legend", {}, "Socket Data Block Size"),
        h("div", { class: "field" }, h("label", { for: "f-blockSize" }, "Block Size (Bytes)"),
          h("select", { id: "f-blockSize", name: "blockSize" },
            options.blockSizes.includes(options.blockSize) ? null : h("option", { value: "" }, "—"),
            options.blockSizes.map((size) => h("option", { value: size, selected: size === options.blockSize }, size)))),
        String(options.blockSizeInUse) !== options.blockSize
          ? inUse(`Blocks of ${options.blockSizeInUse} bytes are sent until the next start.`) : null,
        explanation("blockSize")),
      h("fieldset", { class: "option" }, h("legend", {}, "Auto-Expiration"),
        field({ label: "Expiration Days", name: "expDays", maxlength: 255, value: options.expDays }),
        explanation("expDays")),
      h("fieldset", { class: "option" }, h("legend", {}, "Status Change Log Maximum Size"),
        field({ label: "Maximum Status Log Size", name: "maxLogSize", type: "number", min: options.maxLogSizeRange[0],
          max: options.maxLogSizeRange[1], step: 1, value: options.maxLogSize }),
        explanation("maxLogSize")),
      h("fieldset", { class: "option" }, h("legend", {}, "End-of-Day Punch-Out"),
        field({ label: "Punch Everyone Out At", name: "autoOutAt", maxlength: 255, placeholder: "none",
          value: options.autoOutAt }),
        options.autoOutDone ? h("small", { class: "hint" }, `Last done for the day ${options.autoOutDone}.`) : null,
        explanation("autoOutAt")),
      message,
      h("div", { class: "actions" },
        h("button", { type: "submit", class: "button primary", disabled: pending }, "Save options")));
  }

  async function load() {
    try {
      const { data } = await api("GET", "/api/admin/options");
      draw(data);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    if (!shown) return;
    const changes = {};
    for (const name of ["smtpHost", "port", "blockSize", "expDays", "maxLogSize", "autoOutAt"]) {
      const value = form.elements[name].value;
      if (value !== shown[name] && !(name === "blockSize" && value === "")) changes[name] = value;
    }
    try {
      await api("PUT", "/api/admin/options", changes);
      await load();
      notice(message, "ok", Object.keys(changes).length ? "The options are saved." : "Nothing was changed.");
    } catch (e) {
      notice(message, "error", e.message);
      markRefusedField(form, e);
    }
  });

  // The administrator's password.
  const passwordMessage = h("p", { class: "notice", role: "status", hidden: true });
  const passwordForm = h("form", { class: "password-form", novalidate: true },
    field({ label: "Current password", name: "currentPassword", type: "password", autocomplete: "current-password" }),
    h("div", { class: "two" },
      field({ label: "New password (at least 10 characters)", name: "password", type: "password",
        autocomplete: "new-password" }),
      field({ label: "The same password again", name: "again", type: "password", autocomplete: "new-password" })),
    passwordMessage,
    h("div", { class: "actions" }, h("button", { type: "submit", class: "button" }, "Change the password")));
  passwordForm.addEventListener("submit", async (event) => {
    event.preventDefault();
    const { currentPassword, password, again } = passwordForm.elements;
    if (password.value !== again.value) {
      notice(passwordMessage, "error", "The two passwords differ. Please type the same password twice.");
      again.select();
      return;
    }
    try {
      const { data } = await api("PUT", "/api/admin/password",
        { currentPassword: currentPassword.value, password: password.value });
      onToken(data.antiForgeryToken);
      passwordForm.reset();
      notice(passwordMessage, "ok", "The password is changed. Every other administrator's session has ended.");
    } catch (e) {
      notice(passwordMessage, "error", e.message);
      const input = e.field && passwordForm.elements[e.field];
      if (input) input.focus();
    }
  });

  container.replaceChildren(
    h("section", { class: "admin-page narrow-page" },
      h("div", { class: "page-head" }, h("h2", {}, "Options")),
      h("div", { class: "card" }, form),
      h("div", { class: "card" }, h("h3", {}, "Administrator's password"),
        h("p", { class: "muted" }, "The password of these pages. Only its hash is kept by the server."),
        passwordForm),
      h("div", { class: "card" }, h("h3", {}, "Backup"),
        h("p", { class: "muted" }, "The data files and the settings as they are now, taken between two clients' "
          + "exchanges, as one compressed file (it holds every password: keep it safe). zelvorad --restore "
          + "puts it back into a stopped server's folder."),
        h("div", { class: "actions" },
          h("a", { class: "button", href: "/api/admin/backup", download: "" }, "Download a backup")))));
  draw(PENDING, true);
  load();
}
