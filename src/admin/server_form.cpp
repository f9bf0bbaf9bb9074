#include "admin/server_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

#include "admin/app_icon.h"
#include "admin/dlg_about.h"
#include "admin/dlg_close.h"
#include "admin/option_actions.h"
#include "admin/qt_loop_bridge.h"
#include "admin/server_tray.h"
#include "admin/user_table_delegate.h"
#include "admin/user_table_header.h"
#include "admin/user_table_model.h"
#include "host/server_host.h"
#include "host/session_registry.h"
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

// True when some screen shows part of the rectangle, so that a window placed
// there can be found again.
bool onSomeScreen(const QRect& rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect)) return true;
    }
    return false;
}

}  // namespace

TServerForm::TServerForm(SettingsFiles settingsFiles, QWidget* parent) : QMainWindow(parent) {
    setObjectName("ServerForm");
    setWindowTitle(kCaption);
    setWindowIcon(mainIcon());
    prompt_ = messageBoxPrompt(this);

    host_ = std::make_unique<TServerHost>(*this, std::move(settingsFiles));
    bridge_ = new TQtLoopBridge(host_->mainLoop(), this);

    createTable();
    createStatusBar();
    createMenu();
    tray_ = new TServerTray([this] { restoreFromTray(); }, [this] { requestClose(); }, this);
    resize(820, 440);
}

TServerForm::~TServerForm() {
    if (tray_ != nullptr) tray_->remove();
    if (shutDown_) waitForStoppedSessions();
    // The host goes first: its shutdown may still call this window.
    host_.reset();
}

void TServerForm::waitForStoppedSessions() {
    // The sessions were told to stop at shutdown. Their end handlers run on
    // this thread and use the host, so the host stays until they have run (or
    // a few seconds have passed).
    QElapsedTimer waited;
    waited.start();
    while (!host_->registry().empty() && waited.elapsed() < 3000) {
        QEventLoop pause;
        QTimer::singleShot(20, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void TServerForm::setPrompt(MessagePrompt prompt) { prompt_ = std::move(prompt); }

void TServerForm::createTable() {
    tableUsers_ = new QTableView(this);
    tableUsers_->setObjectName("tableUsers");
    model_ = new TUserTableModel(host_->userTable(), this);
    tableUsers_->setHorizontalHeader(new TUserTableHeader(tableUsers_));
    tableUsers_->setModel(model_);
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
    for (int column = 0; column < TUserTable::kColumns; ++column) {
        tableUsers_->setColumnWidth(column, kColumnWidths[column]);
    }
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
    QMenu* options = bar->addMenu("&Options");
    addMenuItem(options, "&SMTP Mail Host", "actSMTPMailHost",
                [this] { openSmtpOptions(this, *host_); });
    addMenuItem(options, "&TCP/IP Port", "actTCPIPPort", [this] { openPortOptions(this, *host_); });
    addMenuItem(options, "&Data Block Size", "actDataBlockSize",
                [this] { openBlockSizeOptions(this, *host_); });
    addMenuItem(options, "&Memo Expiration", "actMemoExpiration",
                [this] { openExpDaysOptions(this, *host_); });
    addMenuItem(options, "Ma&ximum Status Change Log Size", "actMaxLogSize",
                [this] { openMaxLogSizeOptions(this, *host_); });

    QMenu* accounts = bar->addMenu("&Accounts");
    addMenuItem(accounts, "&Department/User Maintenance", "actDeptUserMaintenance",
                [this] { openDepartmentUserMaintenance(this, *host_); });
    QMenu* data = bar->addMenu("&Data");
    addMenuItem(data, "&Phonebook", "actPhonebook", [this] { openCallerMaintenance(this, *host_); });
    QMenu* logging = bar->addMenu("&Logging");
    addMenuItem(logging, "&Status Change Log", "actStatusChangeLog",
                [this] { openStatusChangeLog(this, *host_); });
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
        QTimer::singleShot(0, this, &TServerForm::startUp);
    }
}

void TServerForm::closeEvent(QCloseEvent* event) {
    if (shutDown_) {
        event->accept();
        return;
    }
    // The stores must outlive every open dialog: no shutdown while one is open.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        modal->raise();
        modal->activateWindow();
        event->ignore();
        return;
    }
    if (!host_->FormCloseQuery()) {
        event->ignore();
        return;
    }
    shutDown_ = true;
    host_->FormDestroy();
    tray_->remove();
    event->accept();
    emit serverClosed();
}

// --- AdminView --------------------------------------------------------------------

MessageAnswer TServerForm::showMessage(MessageKind kind, const std::string& text) {
    return prompt_(kind, text);
}

void TServerForm::setStatusPanel(int index, const std::string& text) {
    if (QLabel* panel = statusPanel(index)) panel->setText(toQt(text));
}

void TServerForm::userTableChanged() { model_->tableChanged(); }

WindowPlacement TServerForm::currentPlacement() const {
    WindowPlacement placement;
    const bool minimised = inTray_ || isMinimized();
    QRect normal(pos(), size());
    if ((minimised || isMaximized()) && normalGeometry().isValid()) normal = normalGeometry();
    placement.rect = {normal.x(), normal.y(), normal.width(), normal.height()};
    placement.state = minimised       ? WindowState::Minimized
                      : isMaximized() ? WindowState::Maximized
                                      : WindowState::Normal;
    return placement;
}

void TServerForm::applyPlacement(int status, const WindowRect& rect) {
    if (status == 1 && inTray_) restoreFromTray();
    if (status >= 1 && status <= 3) {
        setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    }
    const QRect wanted(rect.left, rect.top, rect.width, rect.height);
    if (wanted.width() > 0 && wanted.height() > 0) resize(wanted.size());
    // A placement that no screen shows any more would lose the window.
    if (onSomeScreen(wanted.isValid() ? wanted : QRect(wanted.topLeft(), size()))) {
        move(wanted.topLeft());
    }
    if (status == 2) {
        // As a posted minimise command: after the current work is done.
        QTimer::singleShot(0, this, [this] { minimiseToTray(); });
    } else if (status == 3) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

bool TServerForm::confirmShutdown() {
    TdlgClose warning(this);
    return warning.exec() == QDialog::Accepted;
}

void TServerForm::requestClose() {
    QTimer::singleShot(0, this, [this] { close(); });
}

void TServerForm::restoreWindow() { restoreFromTray(); }

}  // namespace zv::admin
