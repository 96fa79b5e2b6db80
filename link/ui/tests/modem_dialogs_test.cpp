// "Connetti Modem" and "Disconnetti Modem" in the program: a modem row of
// the registry connected from the menu through the simulated modem, hung up
// at disconnect and at shutdown; "&Annulla" while it rings.
#include <QDialog>
#include <QLabel>

#include "app/ui/operation_dialog.h"
#include "link/hex.h"
#include "link/port_map.h"
#include "link/ui/modem_dialogs.h"
#include "link/ui/tests/ui_plant.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

// The program with one LX-P2 behind a modem on COM5.
struct ModemPlant {
  sim::SimServer server;
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  std::unique_ptr<MainWindow> window;

  explicit ModemPlant(sim::ModemSettings modem = {}) {
    server.add(sim::SimTerminal("LX-P2", 3));
    server.setModem(modem);
    std::string pty = server.openPty();
    server.start();
    TerminalRecord row;
    row.number = 40;
    row.description = "Cantiere sud";
    row.model = "LX-P2";
    row.address = 3;
    row.port = "COM5";
    row.speed = " 9600";
    row.modem = true;
    row.modemType = 0;
    row.phoneNumber = "0398765";
    dir.write("config.dat", registryLine(row) + "\r\n");
    dir.write(kPortMapFile, "COM5 " + pty + "\n");
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
    test::ScopedCurrentDirectory cwd(dir.path());
    window = std::make_unique<MainWindow>(state, messages);
    window->setLockPath(dir / "orbita.lock");
    window->dispatch(cmd::StartUp);
  }
  // Connect (40022): the row is chosen; `onDial` acts on "Connetti Modem".
  void connect(std::function<void(OperationDialog*)> onDial) {
    test::onNextModal(window.get(), [](QWidget* modal) {
      auto* select = qobject_cast<SelectTerminalDialog*>(modal);
      select->view()->selectPosition(0);
      test::buttonText(select, QStringLiteral("&Conferma"))->click();
    });
    test::whenModal(window.get(), QStringLiteral("Connetti Modem"),
                    [onDial](QWidget* modal) { onDial(qobject_cast<OperationDialog*>(modal)); });
    window->dispatch(cmd::Connect);
  }
};

QString hex(const std::string& bytes) { return QString::fromStdString(hexDump(bytes)); }

}  // namespace

class ModemDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void modemRowIsDialledFromTheMenuAndHungUpAtDisconnectAndShutdown() {
    ModemPlant p;
    QString shown;
    p.connect([&shown](OperationDialog* d) { shown = d->progressText()->text(); });
    QCOMPARE(shown, QStringLiteral("Connessione via modem in corso ..."));
    QVERIFY(p.state.connected);
    QVERIFY(p.state.modemConnected);
    QVERIFY(p.server.modemOnline());
    QCOMPARE(p.window->windowTitle(), QStringLiteral("ORBITA (0040 - Cantiere sud)"));

    // Frames flow through the call from the menu's single-exchange commands.
    p.window->dispatch(cmd::SendDateTime);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Operazione completata con successo."});

    QString hangUpText;
    test::whenModal(p.window.get(), QStringLiteral("Disconnetti Modem"), [&hangUpText](QWidget* modal) {
      hangUpText = qobject_cast<OperationDialog*>(modal)->progressText()->text();
    });
    p.window->dispatch(cmd::Disconnect);
    QCOMPARE(hangUpText, QStringLiteral("Disconnessione modem in corso ..."));
    QVERIFY(!p.state.modemConnected);
    QVERIFY(!p.state.link.isOpen());
    std::string expected = "ATE0\rATD0398765\r+++ATH0\r";
    QVERIFY2(p.server.modemHeard() == expected, qPrintable(hex(p.server.modemHeard())));

    // Connected again and the program closed: the call ends before the Link closes.
    p.connect([](OperationDialog*) {});
    QVERIFY(p.server.modemOnline());
    p.window->close();
    expected += "ATE0\rATD0398765\r+++ATH0\r";
    QVERIFY2(p.server.modemHeard() == expected, qPrintable(hex(p.server.modemHeard())));
    QVERIFY(!p.server.modemOnline());
    QVERIFY(!p.state.link.isOpen());
  }

  void cancelWhileRingingHangsUpBeforeTheDialogCloses() {
    sim::ModemSettings silent;
    silent.dial = sim::DialResult::None;
    ModemPlant p(silent);
    std::string heardWhenClosed;
    p.connect([&](OperationDialog* d) {
      QObject::connect(d, &QDialog::finished, [&] { heardWhenClosed = p.server.modemHeard(); });
      // Once the number is dialled, the clerk gives up.
      test::when<OperationDialog>(
          d, [&](OperationDialog*) { return p.server.modemHeard().find("ATD") != std::string::npos; },
          [](OperationDialog* dialog) { test::buttonText(dialog, QStringLiteral("&Annulla"))->click(); });
    });
    std::string expected = "ATE0\rATD0398765\rATH0\rATH0\r";
    QVERIFY2(heardWhenClosed == expected, qPrintable(hex(heardWhenClosed)));
    QVERIFY(!p.state.connected);
    QVERIFY(!p.state.modemConnected);
    QVERIFY(!p.state.link.isOpen());
    QCOMPARE(p.prompt.count(), std::size_t(0));
  }

  void failedDialSaysWhyAndLeavesTheProgramDisconnected() {
    sim::ModemSettings busy;
    busy.dial = sim::DialResult::Busy;
    ModemPlant p(busy);
    p.connect([](OperationDialog*) {});
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Connessione fallita !"});
    QVERIFY(!p.state.connected);
    QVERIFY(!p.state.modemConnected);
    QVERIFY(!p.state.link.isOpen());
    QCOMPARE(p.window->windowTitle(), QStringLiteral("ORBITA"));
  }
};

QTEST_MAIN(ModemDialogsTest)
#include "modem_dialogs_test.moc"
