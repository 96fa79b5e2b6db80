// The main window against termsim: start-up, the single-instance lock,
// connect and disconnect for every model through "&Lettori fissi", the
// terminal's lock, the reconnect after an address change, the command-line
// batch and "-a", every menu item in both states, and the picture.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <set>

#include "tests/support/registry_rows.h"
#include "app/command_ids.h"
#include "app/registry.h"
#include "app/settings_files.h"
#include "app/terminal_lock.h"
#include "app/ui/frame_dialogs.h"
#include "app/ui/main_window.h"
#include "app/ui/registry_dialogs.h"
#include "app/ui/tests/ui_support.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

const char* const kModels[] = {"LX-K1", "LX-K2", "LX-K3", "LX-K4", "LX-K5", "LX-P1", "LX-P2"};

using test::tcpRow;

// A fresh program: working directory, process state, window.
struct Program {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  std::unique_ptr<MainWindow> window;

  // An installation with its archive choices saved, so start-up has nothing to report.
  Program() { dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{})); }

  void writeRegistry(const std::vector<TerminalRecord>& rows) {
    std::string bytes;
    for (const auto& r : rows) bytes += registryLine(r) + "\r\n";
    dir.write("config.dat", bytes);
  }
  MainWindow& start() {
    test::ScopedCurrentDirectory cwd(dir.path());
    window = std::make_unique<MainWindow>(state, messages);
    window->setLockPath(dir / "orbita.lock");
    window->dispatch(cmd::StartUp);
    return *window;
  }
};

// The item `text` of the menu-bar menu `menu`, as the user finds it.
QAction* menuItem(MainWindow& window, const QString& menu, const QString& text) {
  for (QAction* top : window.menuBar()->actions()) {
    if (top->text() != menu || !top->menu()) continue;
    for (QAction* item : top->menu()->actions())
      if (item->text() == text) return item;
  }
  return nullptr;
}

// Every item of the menu bar, sub-menus included, in menu order.
void collectItems(QMenu* menu, std::vector<QAction*>& out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu())
      collectItems(a->menu(), out);
    else
      out.push_back(a);
  }
}
std::vector<QAction*> allItems(MainWindow& window) {
  std::vector<QAction*> out;
  for (QAction* top : window.menuBar()->actions())
    if (top->menu()) collectItems(top->menu(), out);
  return out;
}

// Connects through "&Lettori fissi" -> "&Connessione terminale" -> "Seleziona
// Terminale", choosing the row with `number`.
void connectTo(MainWindow& window, unsigned number) {
  test::onNextModal(&window, [number](QWidget* modal) {
    auto* select = qobject_cast<SelectTerminalDialog*>(modal);
    QVERIFY(select);
    QCOMPARE(select->windowTitle(), QStringLiteral("Seleziona Terminale"));
    for (int i = 0; i < select->view()->topLevelItemCount(); ++i)
      if (select->view()->topLevelItem(i)->text(0).toUInt() == number) select->view()->selectPosition(i);
    test::buttonText(select, QStringLiteral("&Conferma"))->click();
  });
  QAction* item = menuItem(window, QStringLiteral("&Lettori fissi"), QStringLiteral("&Connessione terminale"));
  QVERIFY(item && item == window.action(cmd::Connect));
  QVERIFY(item->isEnabled());
  item->trigger();
}

bool actionEnabled(MainWindow& window, int id) {
  QAction* action = window.action(id);
  return action && action->isEnabled();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startUpLoadsTheWorkingDirectory() {
    Program p;
    p.writeRegistry({tcpRow(2, "LX-K3", 1), tcpRow(1, "LX-P2", 1)});
    MainWindow& w = p.start();
    QCOMPARE(p.state.registry.rows.size(), std::size_t(2));
    QCOMPARE(p.state.workingDirectory, p.dir.path());
    QVERIFY(w.holdsInstanceLock());
    QVERIFY(w.minuteTimerActive());
    QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
    QCOMPARE(w.size(), QSize(400, 250));
    // No enabdump.dat: the expert items are gone.
    QVERIFY(!w.action(cmd::MemoryView));
    QVERIFY(!w.action(cmd::DirectCommand));
    QVERIFY(w.action(cmd::Disconnect) && !w.action(cmd::Disconnect)->isEnabled());
    QVERIFY(actionEnabled(w, cmd::Justifications));
    QVERIFY(!actionEnabled(w, cmd::ProductionAcquire));
    QCOMPARE(p.prompt.count(), std::size_t(0));
    // The picture came from the resources and fits the window.
    auto* picture = w.findChild<PictureWidget*>();
    QVERIFY(picture && !picture->pictureRect().isEmpty());
  }

  void expertItemsStayWithEnabdump() {
    Program p;
    p.dir.write("enabdump.dat", "");
    MainWindow& w = p.start();
    QVERIFY(w.action(cmd::MemoryView));
    QVERIFY(w.action(cmd::DirectCommand));
  }

  void secondInstanceSaysSoAndCloses() {
    Program first;
    first.start();
    Program second;
    second.writeRegistry({tcpRow(1, "LX-K3", 1)});
    {
      test::ScopedCurrentDirectory cwd(second.dir.path());
      second.window = std::make_unique<MainWindow>(second.state, second.messages);
      second.window->setLockPath(first.dir / "orbita.lock");
      second.window->show();
      second.window->dispatch(cmd::StartUp);
    }
    QCOMPARE(second.prompt.texts(), std::vector<std::string>{"Program already running"});
    QCOMPARE(second.prompt.shown()[0].title, std::string("Error Message"));
    QTRY_VERIFY(!second.window->isVisible());
    QVERIFY(second.state.registry.rows.empty());  // it stopped before loading
    QVERIFY(second.window->exitStatus() != 0);
    QVERIFY(first.window->holdsInstanceLock());
  }

  void connectAndDisconnectEveryModel() {
    sim::SimServer server;
    server.add(sim::SimTerminal("LX-K3", 1));
    std::uint16_t port = server.listenTcp();
    server.start();

    Program p;
    std::vector<TerminalRecord> rows;
    for (unsigned i = 0; i < std::size(kModels); ++i) rows.push_back(tcpRow(i + 1, kModels[i], port));
    p.writeRegistry(rows);
    MainWindow& w = p.start();

    for (unsigned i = 0; i < std::size(kModels); ++i) {
      std::string model = kModels[i];
      connectTo(w, i + 1);
      QVERIFY2(p.state.connected, model.c_str());
      QVERIFY(p.state.link.isOpen());
      QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA (%1 - Varco %2)")
                                    .arg(i + 1, 4, 10, QLatin1Char('0'))
                                    .arg(QString::fromStdString(model)));
      // The menu shows exactly what the menu state says.
      for (auto [id, enabled] : w.menuState().items()) QCOMPARE(actionEnabled(w, id), enabled);
      QVERIFY(actionEnabled(w, cmd::Disconnect));
      QVERIFY(!actionEnabled(w, cmd::UsbList));
      QVERIFY(!actionEnabled(w, cmd::Connect));
      QVERIFY(actionEnabled(w, cmd::Status));
      QVERIFY(actionEnabled(w, cmd::AddressSpeed));
      QCOMPARE(actionEnabled(w, cmd::RecoverableCount), model == "LX-K3");
      QCOMPARE(actionEnabled(w, cmd::CanteenAcquire), model == "LX-P2");
      QCOMPARE(actionEnabled(w, cmd::Acquire), model != "LX-K1");
      QCOMPARE(actionEnabled(w, cmd::ProductionAcquire), model == "LX-P1" || model == "LX-P2");

      w.dispatch(cmd::Disconnect);
      QVERIFY(!p.state.connected);
      QVERIFY(!p.state.link.isOpen());
      QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
      QVERIFY(!actionEnabled(w, cmd::Disconnect));
      QVERIFY(!actionEnabled(w, cmd::Acquire));
      QVERIFY(!actionEnabled(w, cmd::Status));
      QVERIFY(actionEnabled(w, cmd::UsbList));
      QVERIFY(actionEnabled(w, cmd::Connect));
    }
    QCOMPARE(p.prompt.count(), std::size_t(0));
    QCOMPARE(server.connections(), int(std::size(kModels)));
  }

  void cancelledSelectionAndFailedOpenLeaveTheMenuAlone() {
    Program p;
    p.writeRegistry({tcpRow(1, "LX-K3", 1)});  // nobody listens on port 1
    MainWindow& w = p.start();
    test::onNextModal(&w, [](QWidget* modal) { test::buttonText(modal, QStringLiteral("&Annulla"))->click(); });
    w.dispatch(cmd::Connect);
    QVERIFY(!p.state.connected);

    connectTo(w, 1);
    QVERIFY(!p.state.connected);
    QCOMPARE(p.prompt.count(), std::size_t(1));  // the Link's own message
    QVERIFY(!actionEnabled(w, cmd::Disconnect));
    QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
  }

  void reconnectsByItselfAfterAnAddressChange() {
    sim::SimServer server;
    server.add(sim::SimTerminal("LX-P2", 1));
    std::uint16_t port = server.listenTcp();
    server.start();
    Program p;
    p.writeRegistry({tcpRow(4, "LX-P2", port, 1)});
    MainWindow& w = p.start();
    connectTo(w, 4);
    QVERIFY(p.state.connected);
    QCOMPARE(p.state.link.config.address, std::string("01"));

    // What the address/speed dialog does when the user wants to reconnect.
    w.hooks().changeAddressSpeed = [&p] {
      p.state.registry.rows[p.state.registry.current].address = 2;
      p.state.reconnect = true;
      return 1;
    };
    std::atomic<bool> dialogShown{false};
    test::onNextModal(&w, [&dialogShown](QWidget* modal) {
      dialogShown = true;
      modal->close();
    });
    w.dispatch(cmd::AddressSpeed);
    QTRY_COMPARE(p.state.link.config.address, std::string("02"));
    QVERIFY(p.state.connected);
    QVERIFY(!p.state.reconnect);
    QVERIFY(!dialogShown);
    QCOMPARE(server.connections(), 2);
    QVERIFY(actionEnabled(w, cmd::Disconnect));
  }

  void terminalCommandsNeedAConnection() {
    Program p;
    MainWindow& w = p.start();
    const std::set<int> frame = {cmd::Exit,        cmd::About,           cmd::StartUp,       cmd::TerminalList,
                                 cmd::Connect,     cmd::Disconnect,      cmd::ChooseBatch,   cmd::RunBatch,
                                 cmd::StartScheduling, cmd::StopScheduling, cmd::Activities,
                                 // The format list and archive configuration need no terminal: they open.
                                 cmd::Formats, cmd::ConfigureArchives, cmd::ProductionArchives,
                                 cmd::CanteenArchives,
                                 // So does the plant password.
                                 cmd::PlantPassword,
                                 // So do the table lists: they are edited and filed without a terminal.
                                 cmd::AccessPolicies, cmd::Sirens, cmd::ExitDirection, cmd::UserMessages,
                                 cmd::Justifications, cmd::ProductionProgram, cmd::ProductionTables, cmd::Holidays,
                                 cmd::Sites, cmd::JobActivities, cmd::BatchEditor, cmd::Users,
                                 // The fingerprint list, and the card dialogs on the desk reader's own Link.
                                 cmd::Fingerprints, cmd::CardsAt, cmd::CardsA, cmd::CardsB};
    // Built commands that talk to the terminal: nothing at all without a connection.
    const std::set<int> terminal = {
        cmd::Acquire,        cmd::Retrieve,          cmd::EraseRecords,     cmd::SendDateTime,    cmd::ReadDateTime,
        cmd::RecordCount,    cmd::FirmwareVersion,   cmd::Reset,            cmd::ResetDefaults,   cmd::Status,
        cmd::OutputCommand,  cmd::MemoryView,        cmd::DirectCommand,    cmd::Polling,         cmd::AddressSpeed,
        cmd::ProductionAcquire, cmd::ProductionRetrieve, cmd::ProductionCount, cmd::CanteenAcquire,
        cmd::CanteenRetrieve, cmd::CanteenCount,     cmd::RecoverableCount, cmd::DownloadFirmware,
        cmd::FirmwareReader1, cmd::FirmwareReader2,  cmd::Logo,           cmd::ReaderId};
    auto before = w.menuState().items();
    for (int id : cmd::kAll) {
      QVERIFY(w.hasHandler(id));
      if (frame.count(id)) continue;
      std::size_t shown = p.prompt.count();
      w.dispatch(id);
      // (Functions not built yet answer with their box: the menu walk checks those.)
      if (terminal.count(id)) QCOMPARE(p.prompt.count(), shown);
    }
    w.dispatch(40999);  // not a command: ignored
    QVERIFY(w.menuState().items() == before);
    QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void commandLineBatchRunsThenCloses() {
    for (bool diagnostic : {false, true}) {
      Program p;
      p.dir.write("daily-acq.cmd", "");
      p.state.batchPath = (p.dir / "daily-acq.cmd").string();
      p.state.diagnostic = diagnostic;
      int runs = 0;
      {
        test::ScopedCurrentDirectory cwd(p.dir.path());
        p.window = std::make_unique<MainWindow>(p.state, p.messages);
        p.window->setLockPath(p.dir / "orbita.lock");
        p.window->hooks().runBatch = [&runs] { ++runs; };
        p.window->show();
        p.window->dispatch(cmd::StartUp);
      }
      if (diagnostic) {
        QTest::qWait(50);
        QCOMPARE(runs, 0);
        QVERIFY(p.window->isVisible());
      } else {
        QTRY_VERIFY(!p.window->isVisible());
        QCOMPARE(runs, 1);
        QVERIFY(!p.window->holdsInstanceLock());
      }
    }
  }

  void aBusyTerminalIsNotConnected() {
    sim::SimServer server;
    server.add(sim::SimTerminal("LX-K3", 1));
    std::uint16_t port = server.listenTcp();
    server.start();
    Program p;
    p.writeRegistry({tcpRow(5, "LX-K3", port)});
    MainWindow& w = p.start();

    // cfgctl is collecting from terminal 5.
    TerminalLock cfgctl;
    QCOMPARE(cfgctl.acquire(terminalLockPath(p.dir.path(), 5)), TerminalLock::Result::Held);
    connectTo(w, 5);
    QVERIFY(!p.state.connected);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Errore: terminale occupato."});
    QCOMPARE(p.prompt.shown()[0].title, std::string("Error Message"));
    QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
    QVERIFY(!actionEnabled(w, cmd::Disconnect));
    QVERIFY(actionEnabled(w, cmd::Connect));
    QCOMPARE(server.connections(), 0);

    // Once cfgctl is done, the program connects and holds the lock itself.
    cfgctl.release();
    connectTo(w, 5);
    QVERIFY(p.state.connected);
    QCOMPARE(cfgctl.acquire(terminalLockPath(p.dir.path(), 5)), TerminalLock::Result::Busy);
    w.action(cmd::Disconnect)->trigger();
    QCOMPARE(cfgctl.acquire(terminalLockPath(p.dir.path(), 5)), TerminalLock::Result::Held);
  }

  void everyEnabledMenuItemDoesSomethingVisible() {
    sim::SimServer server;
    server.add(sim::SimTerminal("LX-P2", 1));  // the model with the most functions
    std::uint16_t port = server.listenTcp();
    server.start();
    Program p;
    p.dir.write("enabdump.dat", "");  // the expert items too
    p.writeRegistry({tcpRow(1, "LX-P2", port)});
    MainWindow& w = p.start();
    w.show();

    // Whatever opens is noted and closed at once.
    bool sawWindow = false;
    QTimer closer;
    closer.setInterval(5);
    connect(&closer, &QTimer::timeout, &w, [&sawWindow] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      sawWindow = true;
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
    });
    auto idOf = [&w](QAction* a) {
      for (int id : cmd::kAll)
        if (w.action(id) == a) return id;
      for (int id : cmd::kOwn)
        if (w.action(id) == a) return id;
      return 0;
    };

    int walked = 0;
    auto walk = [&](const QString& phase) {
      for (QAction* a : allItems(w)) {
        int id = idOf(a);
        QVERIFY2(id != 0, qPrintable(a->text()));
        if (!a->isEnabled() || id == cmd::Exit) continue;
        ++walked;
        auto menuBefore = w.menuState().items();
        QString captionBefore = w.windowTitle();
        bool connectedBefore = p.state.connected;
        std::size_t shownBefore = p.prompt.count();
        sawWindow = false;
        closer.start();
        a->trigger();
        QTest::qWait(30);  // commands it posted
        closer.stop();
        bool changed = menuBefore != w.menuState().items() || captionBefore != w.windowTitle() ||
                       connectedBefore != p.state.connected;
        QVERIFY2(sawWindow || p.prompt.count() > shownBefore || changed,
                 qPrintable(phase + QStringLiteral(": \"") + a->text() + QStringLiteral("\" did nothing")));
        if (connectedBefore && !p.state.connected) connectTo(w, 1);
      }
    };
    walk(QStringLiteral("disconnected"));
    QVERIFY(!p.state.connected);
    connectTo(w, 1);
    QVERIFY(p.state.connected);
    walk(QStringLiteral("connected"));
    QVERIFY(p.state.connected);
    QVERIFY(walked > 60);

    w.action(cmd::Exit)->trigger();
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(!p.state.link.isOpen());
  }

  void pictureIsReducedPixelForPixel() {
    // A checkerboard of single pixels: any smoothing would mix them into grey.
    QImage board(300, 180, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y)
      for (int x = 0; x < board.width(); ++x) board.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    PictureWidget picture(QPixmap::fromImage(board));
    picture.resize(170, 100);
    QRect drawn = picture.pictureRect();
    QCOMPARE(drawn.size(), QSize(166, 99));
    QImage shot = picture.grab().toImage();
    int greys = 0;
    for (int y = drawn.top(); y <= drawn.bottom(); ++y)
      for (int x = drawn.left(); x <= drawn.right(); ++x) {
        QRgb c = shot.pixel(x, y);
        if (c != qRgb(0, 0, 0) && c != qRgb(255, 255, 255)) ++greys;
      }
    QCOMPARE(greys, 0);
  }

  void autoScheduleStartsOnlyWithActivities() {
    for (std::size_t activities : {0u, 2u}) {
      Program p;
      p.state.autoSchedule = true;
      {
        test::ScopedCurrentDirectory cwd(p.dir.path());
        p.window = std::make_unique<MainWindow>(p.state, p.messages);
        p.window->setLockPath(p.dir / "orbita.lock");
        p.window->hooks().loadActivities = [&p, activities] { p.state.scheduledActivities = activities; };
        p.window->hooks().scheduler = [](Worker& worker) {
          while (!worker.pause(500)) {
          }
        };
        p.window->show();
        p.window->dispatch(cmd::StartUp);
      }
      MainWindow& w = *p.window;
      if (activities == 0) {
        QTest::qWait(50);
        QVERIFY(!p.state.workers.scheduler.running());
        continue;
      }
      QTRY_VERIFY(p.state.workers.scheduler.running());
      QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA (esecuzione attivita` programmate)"));
      QVERIFY(actionEnabled(w, cmd::StopScheduling));
      QVERIFY(!actionEnabled(w, cmd::StartScheduling));
      QVERIFY(!actionEnabled(w, cmd::ChooseBatch));
      // No tray here: the window is minimised instead.
      QTRY_VERIFY(w.isMinimized() || !w.isVisible());

      w.dispatch(cmd::StopScheduling);
      QVERIFY(!p.state.workers.scheduler.running());
      QCOMPARE(w.windowTitle(), QStringLiteral("ORBITA"));
      QVERIFY(actionEnabled(w, cmd::StartScheduling));
    }
  }

  void closingStopsARunningWorkerBeforeTheLinkCloses() {
    sim::SimServer server;
    server.add(sim::SimTerminal("LX-K4", 1));
    std::uint16_t port = server.listenTcp();
    server.start();
    Program p;
    p.writeRegistry({tcpRow(1, "LX-K4", port)});
    MainWindow& w = p.start();
    connectTo(w, 1);
    QVERIFY(p.state.connected);
    std::atomic<bool> running{false};
    std::atomic<bool> linkOpenAtEnd{false};
    test::ScriptedPrompt quiet;
    Messages workerMessages(quiet);
    QtProgress progress(&w, [](const ProgressUpdate&) {}, [] {});
    QVERIFY(p.state.workers.general.start(
        progress,
        [&](Worker& worker) {
          running = true;
          while (!worker.pause(20)) {
          }
          linkOpenAtEnd = p.state.link.isOpen();
        },
        workerMessages));
    QTRY_VERIFY(running);
    w.dispatch(cmd::Exit);
    QVERIFY(!p.state.workers.general.running());
    QVERIFY(linkOpenAtEnd);
    QVERIFY(!p.state.link.isOpen());
    QVERIFY(!w.holdsInstanceLock());
  }

  void aboutBox() {
    Program p;
    MainWindow& w = p.start();
    QString text;
    test::onNextModal(&w, [&text](QWidget* modal) {
      QCOMPARE(modal->windowTitle(), QStringLiteral("Informazioni"));
      for (QLabel* label : modal->findChildren<QLabel*>()) text += label->text();
      test::buttonText(modal, QStringLiteral("OK"))->click();
    });
    w.action(cmd::About)->trigger();
    QCOMPARE(text, QStringLiteral("ORBITAVersione 1.03"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
