// zelvora-admin: the server with its administrator's window.
//
// A second start in the same data folder asks the running server to show its
// window and ends at once, touching no file. Otherwise the main window is
// created and shown; the server starts at its first showing and runs until a
// confirmed close.
#include <QApplication>
#include <QMessageBox>

#include <exception>
#include <iostream>
#include <string>

#include "admin/app_icon.h"
#include "admin/instance_restore.h"
#include "admin/qt_loop_bridge.h"
#include "admin/server_form.h"
#include "host/platform_info.h"
#include "host/server_host.h"
#include "host/single_instance.h"
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

}  // namespace

int main(int argc, char** argv) {
    // The data files lie in the current directory: one server per folder.
    zv::SingleInstanceGuard guard(".");
    const zv::SingleInstanceGuard::Result instance = guard.acquire();
    if (instance == zv::SingleInstanceGuard::Result::OtherRunning) return 0;
    if (instance == zv::SingleInstanceGuard::Result::Failed) {
        std::cerr << "zelvora-admin: cannot check for another running server: " << guard.error()
                  << "\n";
    }

    long descriptors = 0;
    if (const std::string error = zv::raiseDescriptorLimit(descriptors); !error.empty()) {
        std::cerr << "zelvora-admin: " << error << "\n";
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("zelvora-admin");
    QApplication::setWindowIcon(zv::admin::mainIcon());
    // The window may hide in the tray and dialogs may be the only windows
    // shown: only a confirmed close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    int status = 0;
    try {
        zv::admin::TServerForm form(zv::executableFolder());
        // The board in a browser: starts once the clients are served, stops
        // before the stores are cleared.
        zv::web::TWebServer web(form.host());
        QObject::connect(&form, &zv::admin::TServerForm::serverClosed, &app,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        if (instance == zv::SingleInstanceGuard::Result::Acquired) {
            zv::admin::restoreOnSecondStart(guard, form);
        }
        form.show();
        status = QApplication::exec();
        if (status == 0 && form.host().fatalStartup()) status = 1;
        if (std::exception_ptr escaped = form.loopBridge().takeEscapedError()) {
            std::rethrow_exception(escaped);
        }
    } catch (const std::exception& error) {
        showFatalError(error.what());
        status = 1;
    }
    return status;
}
