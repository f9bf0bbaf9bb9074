// TServerForm: the main window of the server. It serves the server host as
// its AdminView and runs it (not owned: the program's main() owns the host),
// and owns the Qt side of the main loop, the user table view, the status
// bar, the main menu and the tray icon. The host is started at the window's
// first showing and shut down when a close is confirmed.
#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "admin/maintenance_actions.h"
#include "host/admin_view.h"

class QAction;
class QLabel;
class QTableView;

namespace zv {
class TMaintenanceApi;
class TServerHost;
}

namespace zv::admin {

class TFramePlacement;
class TQtLoopBridge;
class TServerTray;
class TUserTableModel;

class TServerForm : public QMainWindow, public AdminView {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Zelvora Admin/Server";

    explicit TServerForm(QWidget* parent = nullptr);
    ~TServerForm() override;

    // The host this window runs (created with this window as its view),
    // before the window is first shown: the window takes its stored place
    // and the main loop runs under Qt's loop from now on.
    void serve(TServerHost& host);
    TServerHost& host() { return *host_; }
    TMaintenanceApi& maintenance();
    TQtLoopBridge& loopBridge() { return *bridge_; }

    // Every message box of the window and the host goes through this prompt;
    // the default shows a QMessageBox.
    void setPrompt(MessagePrompt prompt);

    // Start-up of the server (runs once; the first showing queues it).
    void startUp();
    bool startedUp() const { return startedUp_; }
    // True once a close was confirmed and the server shut down.
    bool shutDown() const { return shutDown_; }

    // --- parts of the window, for the program's entry and for tests --------
    QTableView* tableUsers() const { return tableUsers_; }
    TUserTableModel* userTableModel() const { return model_; }
    QLabel* statusPanel(int index) const;
    TServerTray* tray() const { return tray_; }
    bool inTray() const { return inTray_; }
    // The menu item with this object name ("actSMTPMailHost" ...), or null.
    QAction* menuAction(const QString& objectName) const;

    // --- menu items --------------------------------------------------------
    void WhereCanIGetHelpClick();
    void AboutClick();
    // Restores the window from the tray or the task bar (tray "&Open").
    void restoreFromTray();
    // A right click on the tray icon: a window on the screen comes forward.
    void bringForward();

    // SIGINT or SIGTERM: stops the server in order as a confirmed close does
    // (settings and placement written), without the question. Open dialogs
    // are cancelled first, and a session step under way is let finish.
    void stopOnSignal();

    // --- AdminView ----------------------------------------------------------
    MessageAnswer showMessage(MessageKind kind, const std::string& text) override;
    // A notice that needs no answer (a connection refused beyond MaxClients):
    // a balloon of the tray icon where the desktop shows one, otherwise a
    // message in the status bar; and the line on standard error.
    void showNotice(MessageKind kind, const std::string& text) override;
    void setStatusPanel(int index, const std::string& text) override;
    void userTableChanged() override;
    WindowPlacement currentPlacement() const override;
    void applyPlacement(std::optional<WindowState> state, const WindowRect& rect) override;
    bool confirmShutdown() override;
    void requestClose() override;
    void restoreWindow() override;

signals:
    // The close was confirmed and the server has shut down; the program ends.
    void serverClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createTable();
    void createStatusBar();
    void createMenu();
    QAction* addMenuItem(QMenu* menu, const QString& caption, const QString& objectName,
                         std::function<void()> run);
    void minimiseToTray();
    void restoreStoredPlacement();
    // The close goes ahead: no more tray icon, and the program ends.
    void finishClose();

    TServerHost* host_ = nullptr;
    TQtLoopBridge* bridge_ = nullptr;
    MessagePrompt prompt_;
    QTableView* tableUsers_ = nullptr;
    TUserTableModel* model_ = nullptr;
    std::array<QLabel*, 3> panels_{};
    TServerTray* tray_ = nullptr;
    TFramePlacement* placement_ = nullptr;
    bool firstShow_ = true;
    bool stopRequested_ = false;
    bool startedUp_ = false;
    bool shutDown_ = false;
    bool inTray_ = false;
};

}  // namespace zv::admin
