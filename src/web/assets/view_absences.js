// The administration's Absences page: every absence planned ahead or read
// from a calendar, with Cancel, the form to plan one for any account, and
// the accounts' calendars.

import { api } from "./api.js";
import { followChanges } from "./admin_live.js";
import { h, notice, replaceChildren } from "./dom.js";
import { absenceForm, fillAbsenceList } from "./absence_form.js";
import { calendarsCard } from "./view_calendars.js";
import { displayName } from "./format.js";

export function renderAbsences(container, { live }) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const list = h("ul", { class: "absences" });
  const empty = h("p", { class: "empty", hidden: true }, "No absence is planned.");
  const formSlot = h("div");
  let names = new Map();  // employee key -> the name shown
  let setWidths = () => {};
  const calendars = calendarsCard();

  function show(data) {
    setWidths(data.inputWidths);
    fillAbsenceList(list, empty, data.absences,
      { cancel, withNames: true, nameOf: (a) => names.get(a.employee) || a.employee });
  }

  async function cancel(absence) {
    try {
      show((await api("DELETE", `/api/admin/absences/${absence.id}`)).data);
      notice(message, "ok", `The absence of ${names.get(absence.employee) || absence.employee} is cancelled.`);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  async function load() {
    try {
      const [{ data: accounts }, { data: absences }] =
        await Promise.all([api("GET", "/api/admin/accounts"), api("GET", "/api/admin/absences")]);
      const people = accounts.accounts.map((a) => ({ employee: a.employee, name: displayName(a) }))
        .sort((a, b) => a.name.localeCompare(b.name));
      names = new Map(people.map((p) => [p.employee, p.name]));
      if (!formSlot.firstChild) {
        const made = absenceForm({
          employees: people,
          submit: async (body) => {
            notice(message, "", "");
            try {
              show((await api("POST", "/api/admin/absences", body)).data);
              notice(message, "ok", `The absence of ${names.get(body.employee) || body.employee} is planned.`);
            } catch (e) {
              notice(message, "error", e.message);
              throw e;
            }
          },
        });
        setWidths = made.setWidths;
        replaceChildren(formSlot, made.form);
      }
      show(absences);
      await calendars.load(accounts.accounts);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  container.replaceChildren(
    h("section", { class: "admin-page narrow-page" },
      h("div", { class: "page-head" }, h("h2", {}, "Absences")),
      h("p", { class: "muted" }, "Absences planned ahead come onto the board at their start, as the employee's "
        + "own status, returning at their end; they go from this list once they have ended."),
      message,
      h("div", { class: "card" }, h("h3", {}, "Planned"), list, empty),
      h("div", { class: "card" }, h("h3", {}, "Plan an absence"), formSlot),
      calendars.card));
  // An absence that starts, or a change of the accounts, changes the board.
  return followChanges(live, "board", load);
}
