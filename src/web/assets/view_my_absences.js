// "My status", second part: the absences the employee planned ahead (and
// those read from their calendar), each with Cancel, and the form to plan
// one. An absence comes onto the board by itself at its start.

import { api } from "./api.js";
import { h, notice } from "./dom.js";
import { absenceForm, fillAbsenceList } from "./absence_form.js";

// Appends the section to `container`; returns what ends it.
export function renderMyAbsences(container, live) {
  const message = h("p", { class: "notice", role: "status", hidden: true });
  const list = h("ul", { class: "absences" });
  const empty = h("p", { class: "empty", hidden: true }, "No absence is planned.");

  function show(data) {
    setWidths(data.inputWidths);
    fillAbsenceList(list, empty, data.absences, { cancel });
  }

  async function load() {
    try {
      show((await api("GET", "/api/my-absences")).data);
    } catch (e) {
      notice(message, "error", e.message);
    }
  }

  async function cancel(absence) {
    try {
      show((await api("DELETE", `/api/my-absences/${absence.id}`)).data);
      notice(message, "ok", "The absence is cancelled.");
    } catch (e) {
      notice(message, "error", e.message);
      load();
    }
  }

  const { form, setWidths } = absenceForm({
    submit: async (body) => {
      notice(message, "", "");
      try {
        show((await api("POST", "/api/my-absences", body)).data);
        notice(message, "ok", "The absence is planned: it comes onto the board at its start.");
      } catch (e) {
        notice(message, "error", e.message);
        throw e;
      }
    },
  });

  container.append(
    h("section", { class: "card narrow absences-card" },
      h("h2", {}, "Planned absences"),
      h("p", { class: "muted" }, "Away ahead of time? Plan it here: at its start the board shows it as your "
        + "status, returning at its end, until you punch in."),
      message, list, empty, form));
  load();
  // An absence that starts changes the board: the list follows.
  return live.subscribe((board) => { if (board) load(); });
}
