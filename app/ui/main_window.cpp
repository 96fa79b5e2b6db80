#include "app/ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTime>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/connection.h"
#include "app/loading.h"
#include "app/ui/frame_dialogs.h"
#include "app/ui/handheld_dialogs.h"
#include "app/ui/registry_dialogs.h"
#include "app/ui/text.h"
#include "automation/ui/batch_dialogs.h"
#include "automation/ui/activity_dialogs.h"
#include "cards/ui/card_dialog.h"
#include "link/ui/basic_commands.h"
#include "link/ui/modem_dialogs.h"
#include "maintenance/ui/maintenance_dialogs.h"
#include "records/ui/record_commands.h"
#include "params/ui/parameter_pages.h"
#include "tables/ui/record_dialogs.h"
#include "tables/ui/user_dialogs.h"
#include "tables/ui/fingerprint_dialogs.h"

// The resources live in a static library: they must be pulled in by name.
static void initResources() { Q_INIT_RESOURCE(cfgtool); }

namespace cfg::ui {

namespace {

inline constexpr const char* kAlreadyRunning = "Program already running";

}  // namespace

MainWindow::MainWindow(ProcessState& state, Messages& messages, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      messages_(messages),
      lockPath_(defaultLockPath()),
      schedulerProgress_(
          this, [](const ProgressUpdate&) {}, [this] { stopScheduling(); }) {
  initResources();
  setWindowTitle(QString::fromLatin1(kProgramCaption));
  setWindowIcon(QIcon(QStringLiteral(":/cfgtool/icon.png")));
  resize(400, 250);
  picture_ = new PictureWidget(QPixmap(QStringLiteral(":/cfgtool/picture.png")), this);
  setCentralWidget(picture_);
  buildMenu();

  for (int id : cmd::kAll) handlers_[id] = [this] { notAvailable(); };
  handlers_[cmd::Exit] = [this] { close(); };
  handlers_[cmd::About] = [this] { about(); };
  handlers_[cmd::StartUp] = [this] { startUp(); };
  handlers_[cmd::TerminalList] = [this] { terminalList(); };
  handlers_[cmd::DeskReader] = [this] {
    DeskReaderDialog dialog(state_.deskReader, this);
    dialog.exec();
  };
  handlers_[cmd::Connect] = [this] { connectTerminal(); };
  handlers_[cmd::Disconnect] = [this] { disconnectTerminal(); };
  handlers_[cmd::AddressSpeed] = [this] { changeAddressSpeed(); };
  handlers_[cmd::ChooseBatch] = [this] { chooseBatch(); };
  handlers_[cmd::RunBatch] = [this] { runBatch(); };
  handlers_[cmd::StartScheduling] = [this] { startScheduling(); };
  handlers_[cmd::StopScheduling] = [this] { stopScheduling(); };
  registerBasicCommands(*this, state_, messages_);
  registerModemDialogs(*this, state_, messages_);
  registerRecordCommands(*this, state_, messages_);
  registerParameterCommands(*this, state_, messages_);
  registerMaintenanceCommands(*this, state_, messages_);
  registerHandheldCommands(*this, state_, messages_);
  registerTableCommands(*this, state_, messages_);
  registerBatchCommands(*this, state_, messages_);
  registerSchedulerCommands(*this, state_, messages_);
  registerUserCommands(*this, state_, messages_);
  registerCardCommands(*this, state_, messages_);
  registerFingerprintCommands(*this, state_, messages_);

  connect(&minuteTimer_, &QTimer::timeout, this, [this] {
    // The first tick comes 2 s after a full minute; from then on every minute.
    if (minuteTimer_.interval() != kMinuteTickMs) minuteTimer_.setInterval(kMinuteTickMs);
  });
}

MainWindow::~MainWindow() { shutdown(); }

// --- menu ---

void MainWindow::buildMenu() {
  for (const MenuNode& top : mainMenu()) {
    QMenu* menu = menuBar()->addMenu(QString::fromStdString(top.text));
    addMenuNodes(menu, top.children);
  }
  applyMenu({});
}

void MainWindow::addMenuNodes(QMenu* menu, const std::vector<MenuNode>& nodes) {
  for (const MenuNode& node : nodes) {
    switch (node.kind) {
      case MenuNode::Kind::Separator:
        menu->addSeparator();
        break;
      case MenuNode::Kind::Popup:
        addMenuNodes(menu->addMenu(QString::fromStdString(node.text)), node.children);
        break;
      case MenuNode::Kind::Item: {
        QAction* action = menu->addAction(QString::fromStdString(node.text));
        int id = node.id;
        connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
        actions_[id] = action;
        break;
      }
    }
  }
}

QAction* MainWindow::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::applyMenu(const MenuChanges& changes) {
  menu_.apply(changes);
  for (auto& [id, action] : actions_) action->setEnabled(menu_.enabled(id));
}

void MainWindow::removeMenuItem(int id) {
  menu_.remove(id);
  auto it = actions_.find(id);
  if (it == actions_.end()) return;
  delete it->second;
  actions_.erase(it);
}

void MainWindow::setCaption(const std::string& caption) { setWindowTitle(fromCp1252(caption)); }

void MainWindow::apply(const FrameUpdate& update) {
  if (!update.menu.empty()) applyMenu(update.menu);
  if (update.caption) setCaption(*update.caption);
  for (int id : update.post) postCommand(id);
}

void MainWindow::notAvailable() { messages_.info(kNotAvailableYet); }

// --- dispatch ---

void MainWindow::dispatch(int id) {
  auto it = handlers_.find(id);
  if (it == handlers_.end() || !it->second) return;
  // An exception must not cross Qt's event loop: the clerk is told, the
  // program goes on.
  try {
    it->second();
  } catch (const std::exception& e) {
    messages_.error("Errore: " + utf8ToCp1252(e.what()));  // e.g. a file system error naming a path
  } catch (...) {
    messages_.error("Errore inatteso.");
  }
}

void MainWindow::postCommand(int id) {
  QMetaObject::invokeMethod(this, [this, id] { dispatch(id); }, Qt::QueuedConnection);
}

void MainWindow::setHandler(int id, Handler handler) { handlers_[id] = std::move(handler); }

// --- start-up ---

void MainWindow::startUp() {
  minuteTimer_.start(firstMinuteTickMs(QTime::currentTime().second()));

  if (!lock_.acquire(lockPath_)) {
    messages_.error(kAlreadyRunning);
    exitStatus_ = kExitAlreadyRunning;
    postCommand(cmd::Exit);
    return;
  }

  // Known before the settings load, so that an unattended run never stops on
  // one of their boxes.
  state_.batchOnStart = runsBatchAtStart({state_.diagnostic, state_.autoSchedule, state_.batchPath});

  StartUpDialog loading(
      [this] {
        takeWorkingDirectory(state_, messages_);
        state_.ports = PortMap::load(state_.workingDirectory);
        runLoadingSequence(state_, messages_, hooks_.loadActivities);
      },
      this);
  loading.exec();

  for (int id : itemsDeletedAtStartUp(state_.expertFunctions)) removeMenuItem(id);

  StartUpEnd end = finishStartUp(state_, messages_);
  if (end.exitStatus != kExitOk) exitStatus_ = end.exitStatus;
  for (int id : end.post) postCommand(id);
}

void MainWindow::about() {
  AboutDialog box(this);
  box.exec();
}

void MainWindow::terminalList() {
  TerminalListDialog list(state_, messages_, this);
  list.exec();
}

// --- connection ---

ConnectionHooks MainWindow::connectionHooks() {
  ConnectionHooks hooks;
  hooks.selectTerminal = [this] {
    SelectTerminalDialog select(state_.registry, messages_, this);
    return select.exec() == 1;
  };
  hooks.dialModem = hooks_.dialModem;
  hooks.hangUpModem = hooks_.hangUpModem;
  hooks.selectParameterLayout = hooks_.selectParameterLayout;
  hooks.releaseUsbList = hooks_.releaseUsbList;
  return hooks;
}

void MainWindow::connectTerminal() { apply(connectFixedTerminal(state_, messages_, connectionHooks())); }

void MainWindow::disconnectTerminal() { apply(cfg::disconnectTerminal(state_, connectionHooks())); }

void MainWindow::changeAddressSpeed() {
  if (!hooks_.changeAddressSpeed) {
    notAvailable();
    return;
  }
  apply(afterAddressSpeed(state_, hooks_.changeAddressSpeed()));
}

// --- batches ---

void MainWindow::chooseBatch() {
  QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Batch File"),
                                              QString::fromStdString(state_.workingDirectory.string()),
                                              QStringLiteral("Batch File (*.cmd)"));
  if (path.isEmpty()) return;
  state_.batchPath = path.toStdString();
  postCommand(cmd::RunBatch);
}

void MainWindow::runBatch() {
  if (hooks_.runBatch) {
    hooks_.runBatch();
  } else {
    notAvailable();
    if (state_.batchOnStart) exitStatus_ = kExitBatchNotRun;
  }
  if (state_.batchOnStart) {
    state_.batchOnStart = false;
    postCommand(cmd::Exit);
  }
}

// --- scheduling and the tray ---

void MainWindow::startScheduling() {
  if (!hooks_.scheduler) {
    notAvailable();
    return;
  }
  if (state_.workers.scheduler.running()) return;
  if (!state_.workers.scheduler.start(schedulerProgress_, hooks_.scheduler, messages_)) return;
  applyMenu(schedulingStartedChanges());
  setCaption(schedulingCaption());
  toTray();
}

void MainWindow::stopScheduling() {
  stopWorker(state_.workers.scheduler);
  applyMenu(schedulingStoppedChanges());
  setCaption(kProgramCaption);
}

void MainWindow::toTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    showMinimized();
    return;
  }
  if (!tray_) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(QString::fromLatin1(kProgramCaption));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason != QSystemTrayIcon::DoubleClick) return;
      showNormal();
      activateWindow();
      tray_->hide();
    });
  }
  tray_->show();
  hide();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && state_.workers.scheduler.running() &&
      QSystemTrayIcon::isSystemTrayAvailable())
    QMetaObject::invokeMethod(this, [this] { toTray(); }, Qt::QueuedConnection);
}

// --- shutdown ---

void MainWindow::closeEvent(QCloseEvent* event) {
  shutdown();
  event->accept();
}

void MainWindow::shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // Every worker ends before the Link it may be using is closed (a close
  // request can come while an operation dialog still runs, e.g. SIGTERM).
  for (Worker* worker : {&state_.workers.scheduler, &state_.workers.general, &state_.workers.modem,
                         &state_.workers.handheldScan, &state_.workers.batch})
    stopWorker(*worker);
  lock_.release();
  closeAtShutdown(state_, connectionHooks());
  minuteTimer_.stop();
  if (tray_) tray_->hide();
}

}  // namespace cfg::ui
