#include "admin/option_actions.h"

#include <QApplication>

#include <chrono>
#include <future>
#include <optional>
#include <string>

#include "admin/dlg_max_log_size.h"
#include "admin/dlg_options_auto_out.h"
#include "admin/dlg_web_access.h"
#include "admin/dlg_options_block_size.h"
#include "admin/dlg_options_exp_days.h"
#include "admin/dlg_options_port.h"
#include "admin/dlg_options_smtp.h"
#include "admin/maintenance_actions.h"
#include "host/admin_audit.h"
#include "host/admin_password.h"
#include "host/maintenance_api.h"

namespace zv::admin {

namespace {

QString shown(const std::string& setting) { return toQt(setting); }

// OK: the host takes the change and writes the settings file (and the
// placement); a refusal is shown with `refusalTail` after it, and the
// settings file read back as for Cancel. Anything else: every setting and
// the placement return to the file's.
bool finish(TMaintenanceApi& host, std::optional<TOptionChanges> changes, const std::string& refusalTail = {}) {
    if (!changes) {
        host.reloadSettings();
        return false;
    }
    TAdminResult result;
    try {
        result = host.changeOptions(kWindowAdministrator, *changes);
    } catch (const std::exception& e) {
        host.view().showMessage(MessageKind::Warning, e.what());
        return true;
    }
    if (result.kind == TAdminResult::Kind::Done) return true;
    host.view().showMessage(MessageKind::Warning, result.message() + refusalTail);
    host.reloadSettings();
    return false;
}

// The change of one option, or none when the dialog was not accepted.
std::optional<TOptionChanges> changeOf(bool accepted, std::optional<std::string> TOptionChanges::*option,
                                       const QString& text) {
    if (!accepted) return std::nullopt;
    TOptionChanges changes;
    changes.*option = fromQt(text);
    return changes;
}

// The hash of a new password, made on a thread of its own while the window
// keeps serving the clients (their steps run on this thread's loop).
std::string hashWhileServing(const std::string& password) {
    std::future<std::string> hash =
        std::async(std::launch::async, [password] { return hashAdminPassword(password); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    while (hash.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QApplication::restoreOverrideCursor();
    return hash.get();
}

}  // namespace

bool openSmtpOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgOptionsSMTP dialog(parent);
    dialog.setSmtpHost(shown(host.settings().SMTPHost));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return finish(host, changeOf(accepted, &TOptionChanges::smtpHost, dialog.smtpHost()));
}

bool openPortOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgOptionsPort dialog(parent);
    dialog.setPort(shown(host.settings().Port));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const bool taken = finish(host, changeOf(accepted, &TOptionChanges::port, dialog.port()));
    if (taken) host.view().setStatusPanel(kPortPanel, "Port: " + host.settings().Port);
    return taken;
}

bool openBlockSizeOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgOptionsBlockSize dialog(parent);
    dialog.setBlockSize(shown(host.settings().BlockSize));
    // OK with nothing chosen counts as Cancel. The block size in use changes
    // only at the next settings load.
    const bool accepted = dialog.exec() == QDialog::Accepted && dialog.hasSelection();
    return finish(host, changeOf(accepted, &TOptionChanges::blockSize, dialog.blockSize()));
}

bool openExpDaysOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgOptionsExpDays dialog(parent);
    dialog.setExpDays(shown(host.settings().ExpDays));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return finish(host, changeOf(accepted, &TOptionChanges::expDays, dialog.expDays()));
}

bool openMaxLogSizeOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgMaxLogSize dialog(parent);
    dialog.setMaxLogSize(shown(host.settings().MaxLogSize));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return finish(host, changeOf(accepted, &TOptionChanges::maxLogSize, dialog.maxLogSize()));
}

bool openWebAccessOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgWebAccess dialog(hostPrompt(host), parent);
    dialog.setWebPort(shown(host.settings().WebPort));
    dialog.setPasswordIsSet(!host.adminPasswordHash().empty());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const auto passwordNotChanged = [&host](const std::exception& e) {
        host.view().showMessage(MessageKind::Warning,
                                std::string("The administrator's password was not changed:\r") + e.what());
    };
    std::optional<std::string> hash;
    if (accepted && !dialog.newPassword().isEmpty()) {
        try {
            hash = hashWhileServing(dialog.newPassword().toStdString());
        } catch (const std::exception& e) {
            passwordNotChanged(e);
            return finish(host, std::nullopt);
        }
    }
    // The port is used from the next start, as the client port.
    const bool taken = finish(host, changeOf(accepted, &TOptionChanges::webPort, dialog.webPort()));
    if (taken && hash) {
        try {
            host.setAdminPasswordHash(kWindowAdministrator, *hash, false);
        } catch (const std::exception& e) {
            passwordNotChanged(e);
        }
    }
    return taken;
}

bool openAutoOutOptions(QWidget* parent, TMaintenanceApi& host) {
    TdlgOptionsAutoOut dialog(parent);
    dialog.setAutoOutAt(shown(host.settings().AutoOutAt));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return finish(host, changeOf(accepted, &TOptionChanges::autoOutAt, dialog.autoOutAt()),
                  "\rThe setting is left as it was.");
}

}  // namespace zv::admin
