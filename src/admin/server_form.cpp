#include "admin/server_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>

#include "admin/app_icon.h"
#include "admin/dlg_about.h"
#include "admin/dlg_close.h"
#include "admin/frame_placement.h"
#include "admin/option_actions.h"
#include "admin/qt_loop_bridge.h"
#include "admin/server_tray.h"
#include "admin/user_table_delegate.h"
#include "admin/user_table_header.h"
#include "admin/user_table_model.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "host/settings.h"
#include "host/user_table.h"

namespace zv::admin {

namespace {

constexpr int kColumnWidths[TUserTable::kColumns] = {165, 98, 530};
constexpr int kPanelWidths[3] = {75, 200, 50};
const char* const kPanelTexts[3] = {"Users:", "IP Address:", "Port:"};

const char* const kHelpText =
    "If you need help getting Zelvora Admin/Server running, or if you have\r"
    "a question about one of its features, please contact Zelvora Technical\r"
    "Support by e-mail at support@zelvora.example.";

// A close that must wait (for a dialog to go, or a session step to end)
// tries again after this long.
constexpr int kCloseRetryMs = 20;

}  // namespace

TServerForm::TServerForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName("ServerForm");
    setWindowTitle(kCaption);
    setWindowIcon(mainIcon());
    prompt_ = messageBoxPrompt(this);

    createTable();
    createStatusBar();
    createMenu();
    tray_ = new TServerTray([this] { restoreFromTray(); }, [this] { bringForward(); },
                            [this] { requestClose(); }, this);
    resize(820, 440);
    placement_ = new TFramePlacement(*this);
}

void TServerForm::serve(TServerHost& host) {
    host_ = &host;
    bridge_ = new TQtLoopBridge(maintenance().mainLoop(), this);
    model_ = new TUserTableModel(maintenance().userTable(), this);
    tableUsers_->setModel(model_);
    // The widths belong to the model's columns.
    for (int column = 0; column < TUserTable::kColumns; ++column) {
        tableUsers_->setColumnWidth(column, kColumnWidths[column]);
    }
    restoreStoredPlacement();
}

TMaintenanceApi& TServerForm::maintenance() { return host_->maintenance(); }

void TServerForm::restoreStoredPlacement() {
    // Before the window is shown, so that the window manager puts the frame
    // there at once (see TFramePlacement); start-up's settings load applies
    // the same placement again, which then changes nothing.
    const ScreenPlacement stored =
        readScreenPlacement(maintenance().settingsFiles(), currentPlacement().rect);
    if (stored.status == 0) return;
    const WindowRect& r = stored.rect;
    placement_->place(QRect(r.left, r.top, r.width, r.height));
    if (windowStateOfStatus(stored.status) == WindowState::Maximized) setWindowState(Qt::WindowMaximized);
}

TServerForm::~TServerForm() {
    if (tray_ != nullptr) tray_->remove();
}

void TServerForm::setPrompt(MessagePrompt prompt) { prompt_ = std::move(prompt); }

void TServerForm::createTable() {
    tableUsers_ = new QTableView(this);
    tableUsers_->setObjectName("tableUsers");
    tableUsers_->setHorizontalHeader(new TUserTableHeader(tableUsers_));
    tableUsers_->setItemDelegate(new TUserTableDelegate(tableUsers_));
    QHeaderView* rows = tableUsers_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(TUserTableHeader::kRowHeight);
    rows->setDefaultSectionSize(TUserTableHeader::kRowHeight);
    tableUsers_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableUsers_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableUsers_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableUsers_->setWordWrap(false);
    tableUsers_->setTabKeyNavigation(false);
    setCentralWidget(tableUsers_);
}

void TServerForm::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(kPanelTexts[i], bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // At least the panel's width, wider when its text needs it.
        panel->setMinimumWidth(kPanelWidths[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
        bar->addWidget(panel);
        panels_[static_cast<std::size_t>(i)] = panel;
    }
}

QAction* TServerForm::addMenuItem(QMenu* menu, const QString& caption, const QString& objectName,
                                  std::function<void()> run) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    return action;
}

void TServerForm::createMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    // Every item works on the running server: usable once start-up is done.
    bar->setEnabled(false);
    QMenu* options = bar->addMenu("&Options");
    addMenuItem(options, "&SMTP Mail Host", "actSMTPMailHost",
                [this] { openSmtpOptions(this, maintenance()); });
    addMenuItem(options, "&TCP/IP Port", "actTCPIPPort", [this] { openPortOptions(this, maintenance()); });
    addMenuItem(options, "&Data Block Size", "actDataBlockSize",
                [this] { openBlockSizeOptions(this, maintenance()); });
    addMenuItem(options, "&Memo Expiration", "actMemoExpiration",
                [this] { openExpDaysOptions(this, maintenance()); });
    addMenuItem(options, "Ma&ximum Status Change Log Size", "actMaxLogSize",
                [this] { openMaxLogSizeOptions(this, maintenance()); });
    addMenuItem(options, "&End-of-Day Punch-Out", "actEndOfDayPunchOut",
                [this] { openAutoOutOptions(this, maintenance()); });
    addMenuItem(options, "&Web Access", "actWebAccess", [this] { openWebAccessOptions(this, maintenance()); });

    QMenu* accounts = bar->addMenu("&Accounts");
    addMenuItem(accounts, "&Department/User Maintenance", "actDeptUserMaintenance",
                [this] { openDepartmentUserMaintenance(this, maintenance()); });
    QMenu* data = bar->addMenu("&Data");
    addMenuItem(data, "&Phonebook", "actPhonebook", [this] { openCallerMaintenance(this, maintenance()); });
    QMenu* logging = bar->addMenu("&Logging");
    addMenuItem(logging, "&Status Change Log", "actStatusChangeLog",
                [this] { openStatusChangeLog(this, maintenance()); });
    QMenu* help = bar->addMenu("&Help");
    addMenuItem(help, "Where Can I Get &Help?", "actWhereHelp", [this] { WhereCanIGetHelpClick(); });
    addMenuItem(help, "&About Zelvora", "actAbout", [this] { AboutClick(); });
}

QLabel* TServerForm::statusPanel(int index) const {
    if (index < 0 || index >= static_cast<int>(panels_.size())) return nullptr;
    return panels_[static_cast<std::size_t>(index)];
}

QAction* TServerForm::menuAction(const QString& objectName) const {
    return menuBar()->findChild<QAction*>(objectName);
}

void TServerForm::startUp() {
    if (startedUp_) return;
    startedUp_ = true;
    host_->FormShow();
    menuBar()->setEnabled(!host_->fatalStartup());
}

void TServerForm::WhereCanIGetHelpClick() { showMessage(MessageKind::Information, kHelpText); }

void TServerForm::AboutClick() {
    TdlgAbout about(this);
    about.exec();
}

// --- tray and minimise --------------------------------------------------------

void TServerForm::minimiseToTray() {
    if (!TServerTray::available()) {
        showMinimized();
        return;
    }
    inTray_ = true;
    setWindowState(windowState() | Qt::WindowMinimized);
    hide();
}

void TServerForm::restoreFromTray() {
    inTray_ = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TServerForm::bringForward() {
    // A window in the tray stays there: only the menu opens.
    if (isVisible() && !isMinimized()) raise();
}

void TServerForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !inTray_ &&
        TServerTray::available()) {
        // Hide after the minimise has been handled, leaving only the tray icon.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && !inTray_) minimiseToTray();
        });
    }
}

// --- showing and closing --------------------------------------------------------

void TServerForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShow_) {
        firstShow_ = false;
        // Start-up records the window's place in a new settings file: it runs
        // once the window manager has put the window where it stays.
        placement_->watchFirstShow([this] { startUp(); });
    }
}

void TServerForm::closeEvent(QCloseEvent* event) {
    if (shutDown_) {
        event->accept();
        return;
    }
    if (!startedUp_) {
        // Nothing has been read yet, so there is nothing to write: the
        // program just ends.
        finishClose();
        event->accept();
        return;
    }
    // The stores must outlive every open dialog: no shutdown while one is open.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        event->ignore();
        if (stopRequested_) {
            QTimer::singleShot(0, this, &TServerForm::stopOnSignal);
            return;
        }
        modal->raise();
        modal->activateWindow();
        return;
    }
    // A session step that waits for the mail host keeps Qt's events flowing;
    // the stores it works on must outlive it: close once it has ended.
    if (bridge_->busy()) {
        event->ignore();
        QTimer::singleShot(kCloseRetryMs, this, [this] { close(); });
        return;
    }
    if (!host_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    host_->FormDestroy();
    finishClose();
    event->accept();
}

void TServerForm::finishClose() {
    shutDown_ = true;
    tray_->remove();
    emit serverClosed();
}

void TServerForm::stopOnSignal() {
    stopRequested_ = true;
    if (shutDown_) return;
    // Open dialogs go first, as if cancelled; whatever they open in turn
    // goes the same way at the next try.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QTimer::singleShot(kCloseRetryMs, this, &TServerForm::stopOnSignal);
        return;
    }
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    close();
}

// --- AdminView --------------------------------------------------------------------

MessageAnswer TServerForm::showMessage(MessageKind kind, const std::string& text) {
    return prompt_(kind, text);
}

void TServerForm::showNotice(MessageKind kind, const std::string& text) {
    AdminView::showNotice(kind, text);
    QString line = toQt(text);
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    constexpr int kNoticeMs = 15000;
    QSystemTrayIcon* icon = tray_ != nullptr ? tray_->icon() : nullptr;
    if (icon != nullptr && icon->isVisible() && QSystemTrayIcon::supportsMessages()) {
        icon->showMessage(kCaption, line,
                          kind == MessageKind::Information ? QSystemTrayIcon::Information
                                                           : QSystemTrayIcon::Warning,
                          kNoticeMs);
    } else {
        statusBar()->showMessage(line, kNoticeMs);
    }
}

void TServerForm::setStatusPanel(int index, const std::string& text) {
    if (QLabel* panel = statusPanel(index)) panel->setText(toQt(text));
}

void TServerForm::userTableChanged() {
    if (model_) model_->tableChanged();
}

WindowPlacement TServerForm::currentPlacement() const {
    WindowPlacement placement;
    const bool minimised = inTray_ || isMinimized();
    // The outer frame, as a person sees the window.
    const QRect frame = placement_ != nullptr ? placement_->frame() : frameGeometry();
    placement.rect = {frame.x(), frame.y(), frame.width(), frame.height()};
    placement.state = minimised       ? WindowState::Minimized
                      : isMaximized() ? WindowState::Maximized
                                      : WindowState::Normal;
    return placement;
}

void TServerForm::applyPlacement(std::optional<WindowState> state, const WindowRect& rect) {
    // Maximised already (the place was taken before showing): leaving and
    // taking the state again would only make the window jump.
    if (state == WindowState::Maximized && isMaximized() && !inTray_) return;
    if (state == WindowState::Normal && inTray_) restoreFromTray();
    if (state) setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    placement_->place(QRect(rect.left, rect.top, rect.width, rect.height));
    if (state == WindowState::Minimized) {
        // As a posted minimise command: after the current work is done.
        QTimer::singleShot(0, this, [this] { minimiseToTray(); });
    } else if (state == WindowState::Maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

bool TServerForm::confirmShutdown() {
    // A stop signal is the confirmation (a desktop logging out, a service
    // manager): nobody is there to answer.
    if (stopRequested_) return true;
    TdlgClose warning(this);
    return warning.exec() == QDialog::Accepted;
}

void TServerForm::requestClose() {
    QTimer::singleShot(0, this, [this] { close(); });
}

void TServerForm::restoreWindow() { restoreFromTray(); }

}  // namespace zv::admin
