#include "admin/option_actions.h"

#include "admin/dlg_max_log_size.h"
#include "admin/dlg_options_block_size.h"
#include "admin/dlg_options_exp_days.h"
#include "admin/dlg_options_port.h"
#include "admin/dlg_options_smtp.h"
#include "admin/maintenance_actions.h"
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

}  // namespace

bool openSmtpOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsSMTP dialog(parent);
    dialog.setSmtpHost(toQt(host.settings().SMTPHost));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) host.settings().SMTPHost = fromQt(dialog.smtpHost());
    return finish(host, accepted);
}

bool openPortOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsPort dialog(parent);
    dialog.setPort(toQt(host.settings().Port));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) host.settings().Port = fromQt(dialog.port());
    finish(host, accepted);
    if (accepted) host.view().setStatusPanel(kPortPanel, "Port: " + host.settings().Port);
    return accepted;
}

bool openBlockSizeOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsBlockSize dialog(parent);
    dialog.setBlockSize(toQt(host.settings().BlockSize));
    const bool accepted = dialog.exec() == QDialog::Accepted && dialog.hasSelection();
    // The block size in use changes only at the next settings load.
    if (accepted) host.settings().BlockSize = fromQt(dialog.blockSize());
    return finish(host, accepted);
}

bool openExpDaysOptions(QWidget* parent, TServerHost& host) {
    TdlgOptionsExpDays dialog(parent);
    dialog.setExpDays(toQt(host.settings().ExpDays));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        // Every login reads this text as a number: one that is not a number
        // would fail every login until the next start.
        const std::string text = fromQt(dialog.expDays());
        if (!wholeNumber(text)) {
            host.view().showMessage(MessageKind::Warning,
                                    "The memo expiration \"" + text +
                                        "\" is not a whole number of days.\rThe setting is left as it was.");
            return finish(host, false);
        }
        host.settings().ExpDays = text;
    }
    return finish(host, accepted);
}

bool openMaxLogSizeOptions(QWidget* parent, TServerHost& host) {
    TdlgMaxLogSize dialog(parent);
    dialog.setMaxLogSize(toQt(host.settings().MaxLogSize));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        host.settings().MaxLogSize = fromQt(dialog.maxLogSize());
        host.setLogSizeLimit(dialog.maxLogSizeValue());
    }
    return finish(host, accepted);
}

}  // namespace zv::admin
