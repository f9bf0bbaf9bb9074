// zelvora-admin: the server with its administrator's window. Takes the
// options of zelvorad (--config, --data, --version, --help) and passes Qt's
// own options (-platform, -style, -display ...) on to QApplication.
//
// A second start in the same data folder asks the running server to show its
// window and ends at once, touching no file. Otherwise the main window is
// created and shown; the server starts at its first showing and runs until a
// confirmed close, or SIGINT or SIGTERM (the same stop, without the question).
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <exception>
#include <string>

#include "admin/app_icon.h"
#include "admin/instance_restore.h"
#include "admin/qt_loop_bridge.h"
#include "admin/server_form.h"
#include "admin/stop_signals.h"
#include "app/program_start.h"
#include "app/service_notify.h"
#include "app/toolkit_arguments.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "net/single_instance.h"
#include "web/web_server.h"

namespace {

void showFatalError(const std::string& what) {
    QMessageBox::warning(nullptr, zv::admin::TServerForm::kCaption,
                         QString::fromStdString(
                             "Please restart Zelvora Admin/Server.\n"
                             "If this keeps happening, please contact Zelvora technical support "
                             "(support@zelvora.example)\n"
                             "and provide the following error message:\n" +
                             what));
}

const zv::app::ProgramSyntax& adminSyntax() {
    static const zv::app::ProgramSyntax syntax{
        "zelvora-admin",
        "Zelvora Admin/Server with the administrator's window.\n"
        "Qt's own options (-platform, -style, -display ...) are passed on to Qt.",
        zv::app::commonOptions(), zv::app::qtOptionLength};
    return syntax;
}

// When systemd started the program: READY=1 once the start-up that the
// first showing queued (and that a message box may hold up) serves clients,
// STOPPING=1 once a close has gone ahead.
void tellSystemd(zv::admin::TServerForm& form) {
    auto* readiness = new QTimer(&form);
    QObject::connect(readiness, &QTimer::timeout, &form, [&form, readiness] {
        if (form.host().serving()) {
            zv::app::notifyReady("Serving clients on port " +
                                 std::to_string(form.host().listeningPort()));
            readiness->stop();
        } else if (form.host().fatalStartup() || form.shutDown()) {
            readiness->stop();
        }
    });
    readiness->start(100);
    QObject::connect(&form, &zv::admin::TServerForm::serverClosed, &form,
                     [] { zv::app::notifyStopping(); });
}

}  // namespace

int main(int argc, char** argv) {
    const zv::app::ProgramStart start = zv::app::startProgram(adminSyntax(), argc, argv);
    if (start.exitStatus) return *start.exitStatus;
    zv::app::ToolkitArguments qtArguments(argc > 0 ? argv[0] : nullptr, start.passedOn);

    // Before any thread starts (threads inherit the blocked signals).
    zv::admin::TStopSignals stopSignals;
    if (!stopSignals.error().empty()) {
        zv::standardErrorLine(zv::LinePriority::Warning, "zelvora-admin: " + stopSignals.error());
    }

    // The data files lie in the current directory: one server per folder.
    zv::SingleInstanceGuard guard(".");
    const zv::SingleInstanceGuard::Result instance = guard.acquire();
    if (instance == zv::SingleInstanceGuard::Result::OtherRunning) return 0;
    if (instance == zv::SingleInstanceGuard::Result::Failed) {
        zv::standardErrorLine(zv::LinePriority::Warning,
                              "zelvora-admin: cannot check for another running server: " +
                                  guard.error());
    }

    long descriptors = 0;
    if (const std::string error = zv::raiseDescriptorLimit(descriptors); !error.empty()) {
        zv::standardErrorLine(zv::LinePriority::Warning, "zelvora-admin: " + error);
    }

    QApplication app(qtArguments.argc(), qtArguments.argv());
    QApplication::setApplicationName("zelvora-admin");
    QApplication::setWindowIcon(zv::admin::mainIcon());
    // The window may hide in the tray and dialogs may be the only windows
    // shown: only a confirmed close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // One server per settings file ("zelvorad --set-admin-password" looks
    // for it).
    zv::SettingsFileClaim claim(start.settingsFiles.settingsPath);
    const zv::SettingsFileClaim::Result claimed = claim.claim();
    if (claimed != zv::SettingsFileClaim::Result::Claimed) {
        const std::string why = claimed == zv::SettingsFileClaim::Result::InUse
                                    ? "Another Zelvora Admin/Server runs with the settings file \"" +
                                          claim.settingsPath() + "\"."
                                    : claim.error();
        zv::standardErrorLine(zv::LinePriority::Error, "zelvora-admin: " + why);
        QMessageBox::warning(nullptr, zv::admin::TServerForm::kCaption, QString::fromStdString(why));
        return 1;
    }

    int status = 0;
    try {
        zv::admin::TServerForm form;
        // The server, with the window as its view; the window runs it.
        zv::TServerHost host(form, start.settingsFiles);
        form.serve(host);
        // The board in a browser: starts once the clients are served, stops
        // before the stores are cleared.
        zv::web::TWebServer web(host.maintenance());
        QObject::connect(&form, &zv::admin::TServerForm::serverClosed, &app,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        // SIGINT and SIGTERM stop the server as a confirmed close does;
        // SIGHUP reads the settings file again.
        stopSignals.watch(&form, [&form] { form.stopOnSignal(); }, [&host] { host.reloadSettingsFile(); });
        if (instance == zv::SingleInstanceGuard::Result::Acquired) {
            zv::admin::restoreOnSecondStart(guard, form);
        }
        form.show();
        tellSystemd(form);
        status = QApplication::exec();
        if (status == 0 && host.fatalStartup()) status = 1;
        if (std::exception_ptr escaped = form.loopBridge().takeEscapedError()) {
            std::rethrow_exception(escaped);
        }
    } catch (const std::exception& error) {
        showFatalError(error.what());
        status = 1;
    }
    return status;
}
