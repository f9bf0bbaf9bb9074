// Maintenance actions the main window runs from its menus: each opens its
// dialog modally and, after it closes, saves or reloads what it changed (the
// dialogs' changes are the host's operations, made in memory:
// Saving::WithTheDialog). Also the few things the maintenance dialogs share:
// the message prompt they ask questions through, and the text conversion
// between records and widgets.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "host/admin_view.h"
#include "stores/code_page.h"

class QLineEdit;
class QWidget;

namespace zv {
class TMaintenanceApi;
}  // namespace zv

namespace zv::admin {

// Shows one modal message box and returns the button pressed. The window
// passes the host's AdminView; tests pass a recorder that answers.
using MessagePrompt = std::function<MessageAnswer(MessageKind kind, const std::string& text)>;

// A prompt that shows a QMessageBox (Question: Yes and No) over the modal
// dialog that is open, or over `parent` when none is.
MessagePrompt messageBoxPrompt(QWidget* parent);

// The host's message boxes (its AdminView) as a prompt.
MessagePrompt hostPrompt(TMaintenanceApi& host);

// Record texts are bytes in the clients' code page; widgets show them through
// the one code page conversion, which is lossless, so any text a client stored
// comes back unchanged when a dialog writes it. fromQt makes "?" of a
// character the code page cannot hold: only for texts that came from records
// (list entries, labels); what the administrator types goes through
// recordTextOf.
inline QString toQt(const std::string& text) {
    return QString::fromStdString(codepage::toUtf8(text));
}
inline std::string fromQt(const QString& text) {
    return codepage::fromUtf8Substituting(text.toStdString());
}

// The text typed into `edit` as record bytes. A character the code page
// cannot hold is refused: a warning naming `field`, the focus on the edit,
// and nothing returned.
std::optional<std::string> recordTextOf(QLineEdit* edit, std::string_view field, const MessagePrompt& prompt);

// Department/User Maintenance. Afterwards: when accounts were removed, the
// user table rows of the old count are cleared; on OK the departments and then
// the board are saved (a failure is shown); the user table is refreshed.
void openDepartmentUserMaintenance(QWidget* parent, TMaintenanceApi& host);

// Caller Maintenance: OK saves the phonebook, anything else reloads it from
// its file (which drops the deletions made in the dialog).
void openCallerMaintenance(QWidget* parent, TMaintenanceApi& host);

// Status Change Log: OK saves the log, anything else reloads it from its file.
void openStatusChangeLog(QWidget* parent, TMaintenanceApi& host);

}  // namespace zv::admin
