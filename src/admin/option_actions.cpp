#include "admin/option_actions.h"

#include <QApplication>

#include <chrono>
#include <future>

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
#include "host/auto_punch_out.h"
#include "host/option_rules.h"
#include "host/server_host.h"
#include "host/settings.h"

namespace zv::admin {

namespace {

// OK: the change is in memory; write the settings file (and the placement).
// Anything else: every setting and the placement return to the file's.
bool finish(TServerHost& host, bool accepted) {
    if (accepted) {
        host.saveSettings();
    } else {
        host.loadSettings();
    }
    return accepted;
}

// OK: `setting` takes the typed text as the settings file keeps it, and a change is written to standard error.
void take(std::string& setting, const std::string& typed, const char* key) {
    std::string text = keptSettingText(typed);
    if (setting == text) return;
    auditAdminChange(kWindowAdministrator, std::string("set ") + key + " to " + auditQuoted(text));
    setting = std::move(text);
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

bool openSmtpOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsSMTP dialog(parent);
    dialog.setSmtpHost(toQt(host.settings().SMTPHost));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) take(host.settings().SMTPHost, fromQt(dialog.smtpHost()), "SMTPHost");
    return finish(host, accepted);
}

bool openPortOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsPort dialog(parent);
    dialog.setPort(toQt(host.settings().Port));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) take(host.settings().Port, fromQt(dialog.port()), "Port");
    finish(host, accepted);
    if (accepted) host.view().setStatusPanel(kPortPanel, "Port: " + host.settings().Port);
    return accepted;
}

bool openBlockSizeOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsBlockSize dialog(parent);
    dialog.setBlockSize(toQt(host.settings().BlockSize));
    const bool accepted = dialog.exec() == QDialog::Accepted && dialog.hasSelection();
    // The block size in use changes only at the next settings load.
    if (accepted) take(host.settings().BlockSize, fromQt(dialog.blockSize()), "BlockSize");
    return finish(host, accepted);
}

bool openExpDaysOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsExpDays dialog(parent);
    dialog.setExpDays(toQt(host.settings().ExpDays));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        const std::string text = fromQt(dialog.expDays());
        if (const std::string why = expDaysRefusal(text); !why.empty()) {
            host.view().showMessage(MessageKind::Warning, why);
            return finish(host, false);
        }
        take(host.settings().ExpDays, text, "ExpDays");
    }
    return finish(host, accepted);
}

bool openMaxLogSizeOptions(QWidget* parent, TServerHost& host) {
    TdlgMaxLogSize dialog(parent);
    dialog.setMaxLogSize(toQt(host.settings().MaxLogSize));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        take(host.settings().MaxLogSize, fromQt(dialog.maxLogSize()), "MaxLogSize");
        host.setLogSizeLimit(dialog.maxLogSizeValue());
    }
    return finish(host, accepted);
}

bool openWebAccessOptions(QWidget* parent, TServerHost& host) {
    TdlgWebAccess dialog(hostPrompt(host), parent);
    dialog.setWebPort(toQt(host.settings().WebPort));
    dialog.setPasswordIsSet(!host.settings().WebAdminPassword.empty());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        // Used from the next start, as the client port.
        take(host.settings().WebPort, fromQt(dialog.webPort()), "the web port");
        if (!dialog.newPassword().isEmpty()) {
            try {
                host.settings().WebAdminPassword = hashWhileServing(dialog.newPassword().toStdString());
            } catch (const std::exception& e) {
                host.view().showMessage(MessageKind::Warning,
                                        std::string("The administrator's password was not changed:\r") + e.what());
                return finish(host, false);
            }
            auditAdminChange(kWindowAdministrator, "changed the administrator's password");
        }
    }
    return finish(host, accepted);
}

bool openAutoOutOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsAutoOut dialog(parent);
    dialog.setAutoOutAt(toQt(host.settings().AutoOutAt));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        const std::string text = fromQt(dialog.autoOutAt());
        if (const std::string why = autoOutAtRefusal(text); !why.empty()) {
            host.view().showMessage(MessageKind::Warning, why + "\rThe setting is left as it was.");
            return finish(host, false);
        }
        TSettings& settings = host.settings();
        take(settings.AutoOutAt, text, "AutoOutAt");
        settings.autoOutSecond = autoOutSecondOf(settings.AutoOutAt);
        host.autoPunchOut().settingChanged();
    }
    return finish(host, accepted);
}

}  // namespace zv::admin
