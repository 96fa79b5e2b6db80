// The main window "ORBITA": menu, command dispatch, connection state,
// start-up, the scheduler's tray icon and the orderly shutdown.
//
// Every command id reaches dispatch(), which looks it up in one table from
// id to handler. The frame fills the entries it owns (start-up, connect,
// disconnect, registry, about, scheduling, exit, ...); every other command
// says "Funzione non ancora disponibile." until its feature sets a handler
// with setHandler(), so that no enabled menu item is ever inert. What the
// frame needs from features that come later (dialling a modem, the
// address/speed dialog, running a batch, the scheduler) are FrameHooks: an
// empty hook means the feature is not there yet, and its command says so.
//
// The rules of connecting and disconnecting are the core's (connection.h):
// the frame only applies the menu changes, caption and posts they return.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <string_view>

#include "app/connection.h"
#include "app/instance_lock.h"
#include "app/menu_state.h"
#include "app/process_state.h"
#include "app/ui/worker_bridge.h"

class QAction;
class QSystemTrayIcon;

namespace cfg::ui {

struct FrameHooks {
  // "Cambia Indirizzo/Velocita`" (40045): the dialog's result (1 done). It
  // sets state.reconnect when the terminal must be connected again.
  std::function<int()> changeAddressSpeed;
  // "Connetti Modem": true when the line is dialled. Without it a modem row
  // cannot be connected.
  std::function<bool()> dialModem;
  // "Disconnetti Modem".
  std::function<void()> hangUpModem;
  // Selects the parameter layout of the connected model.
  std::function<void(std::string_view model)> selectParameterLayout;
  // Loads attivita.dat during start-up (sets state.scheduledActivities).
  std::function<void()> loadActivities;
  // Runs the batch file in state.batchPath (40034); returns when it has run.
  std::function<void()> runBatch;
  // The scheduler's worker routine (40072).
  Worker::Routine scheduler;
  // Releases the USB device list at shutdown when the Link is a USB one.
  std::function<void()> releaseUsbList;
};

class PictureWidget;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  using Handler = std::function<void()>;

  MainWindow(ProcessState& state, Messages& messages, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs the handler of a command now (on the GUI thread).
  void dispatch(int id);
  // Posts a command to this window; callable from any thread.
  void postCommand(int id);

  void setHandler(int id, Handler handler);
  bool hasHandler(int id) const { return handlers_.count(id) != 0; }
  FrameHooks& hooks() { return hooks_; }
  // Applies what a connection step returned: menu, caption, posted commands.
  void apply(const FrameUpdate& update);

  const MenuState& menuState() const { return menu_; }
  QAction* action(int id) const;
  void setLockPath(std::filesystem::path path) { lockPath_ = std::move(path); }
  bool holdsInstanceLock() const { return lock_.held(); }
  bool minuteTimerActive() const { return minuteTimer_.isActive(); }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  // The process's exit status: non-zero when start-up refused to run (a
  // second copy, an unreadable command-line batch) or the command-line batch
  // could not run (command_line.h).
  int exitStatus() const { return exitStatus_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildMenu();
  void addMenuNodes(class QMenu* menu, const std::vector<MenuNode>& nodes);
  void applyMenu(const MenuChanges& changes);
  void notAvailable();
  ConnectionHooks connectionHooks();
  void removeMenuItem(int id);
  void setCaption(const std::string& caption);

  void startUp();
  void about();
  void terminalList();
  void connectTerminal();
  void disconnectTerminal();
  void changeAddressSpeed();
  void chooseBatch();
  void runBatch();
  void startScheduling();
  void stopScheduling();
  void toTray();
  void shutdown();

  ProcessState& state_;
  Messages& messages_;
  FrameHooks hooks_;
  std::map<int, Handler> handlers_;
  std::map<int, QAction*> actions_;
  MenuState menu_;
  PictureWidget* picture_ = nullptr;
  QTimer minuteTimer_;
  InstanceLock lock_;
  std::filesystem::path lockPath_;
  QSystemTrayIcon* tray_ = nullptr;
  QtProgress schedulerProgress_;
  bool shutDown_ = false;
  int exitStatus_ = 0;
};

}  // namespace cfg::ui
