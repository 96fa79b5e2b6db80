// The plant password and the handheld lists against termsim's simulated USB
// and Bluetooth handhelds, reached through the main window's dispatch: the
// search, the list's order and origin, connecting (and being refused), the
// reset to defaults, and a connected handheld's records archived byte for
// byte under its id.
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <memory>

#include "app/archive_settings.h"
#include "app/command_ids.h"
#include "app/settings_files.h"
#include "app/terminal_lock.h"
#include "app/ui/handheld_dialogs.h"
#include "app/ui/main_window.h"
#include "app/ui/tests/ui_support.h"
#include "link/ui/tests/ui_plant.h"
#include "link/bt_system.h"
#include "link/hex.h"
#include "link/hid_device.h"
#include "records/archive_lines.h"
#include "records/ui/archive_dialogs.h"
#include "sim/sim_bt.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

constexpr const char* kPlantPassword = "13572468";
const QString kUsbList = QStringLiteral("Elenco Terminali USB");
const QString kBtList = QStringLiteral("Elenco Terminali Bluetooth");
const std::array<std::uint8_t, 6> kBtAddress{0x00, 0x08, 0xE0, 0x00, 0x00, 0x01};

QList<QStringList> rowsOf(QTreeWidget* view) {
  QList<QStringList> rows;
  for (int i = 0; i < view->topLevelItemCount(); ++i) {
    QStringList row;
    for (int c = 0; c < view->columnCount(); ++c) row << view->topLevelItem(i)->text(c);
    rows << row;
  }
  return rows;
}

// A program in a temporary working directory with three USB handhelds (in
// the order the system lists them): H003 of this plant with records, H001
// never configured, and one of another plant; and one Bluetooth handheld of
// this plant.
struct HandheldPlant {
  sim::SimHidServer hid;
  sim::SimBtServer bt;
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  std::unique_ptr<MainWindow> window;
  std::vector<sim::AttendanceRecord> records = sim::generateAttendance(5, 7);

  explicit HandheldPlant(const char* password = kPlantPassword, bool resetMarker = false) {
    sim::SimTerminal own("HND  ", 1);
    for (auto& r : records) own.add(r);
    hid.addHandheld("H003", std::string(kPlantPassword), sim::kHandheldProduct, own);
    hid.addHandheld("H001", std::nullopt);
    hid.addHandheld("H002", std::string("11112222"));
    ::setenv(kHidSimVariable, hid.listen().c_str(), 1);
    hid.start();
    bt.addHandheld(kBtAddress, "B001", std::string(kPlantPassword), "SPP140", "SPP140");
    ::setenv(kBtSimVariable, bt.listen().c_str(), 1);
    bt.start();

    dir.write("password.txt", std::string(password) + "\r\n");
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
    if (resetMarker) dir.write("resdeflt.dat", "");
    test::ScopedCurrentDirectory cwd(dir.path());
    window = std::make_unique<MainWindow>(state, messages);
    window->setLockPath(dir / "orbita.lock");
    window->dispatch(cmd::StartUp);
  }
  ~HandheldPlant() {
    window.reset();
    ::unsetenv(kHidSimVariable);
    ::unsetenv(kBtSimVariable);
  }
  MainWindow& w() { return *window; }
  bool enabled(int id) const { return window->menuState().enabled(id); }
  // The lock of a handheld, tried from outside: Busy while the program holds it.
  TerminalLock::Result tryLock(const char* id) const {
    TerminalLock other;
    return other.acquire(handheldLockPath(dir.path(), id));
  }
};

// Opens a list, runs `steps` on it, and closes it if the steps left it open.
void withList(HandheldPlant& p, int command, const QString& title, std::function<void(HandheldListDialog*)> steps) {
  test::whenModal(&p.w(), title, [steps](QWidget* modal) {
    auto* list = qobject_cast<HandheldListDialog*>(modal);
    if (list) steps(list);
    if (modal->isVisible()) qobject_cast<QDialog*>(modal)->reject();
  });
  p.w().dispatch(command);
}

}  // namespace

class HandheldDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void plantPasswordIsEightDigitsAndTheListsNeedOne() {
    HandheldPlant p("58203716");
    // The factory password means none is set: both lists are refused.
    p.w().dispatch(cmd::UsbList);
    p.w().dispatch(cmd::BluetoothList);
    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{"Errore: impostare password !", "Errore: impostare password !"}));
    QCOMPARE(p.prompt.shown()[0].title, std::string("Error Message"));
    p.prompt.clear();

    QString shown;
    std::vector<std::string> errors;
    bool focusedAfterError = false, openAfterError = false;
    test::whenModal(&p.w(), QStringLiteral("Password HND"), [&](QWidget* modal) {
      auto* d = qobject_cast<PlantPasswordDialog*>(modal);
      shown = d->passwordEdit()->text();
      QCOMPARE(d->passwordEdit()->maxLength(), 8);
      d->passwordEdit()->setText(QStringLiteral("1234567"));
      d->confirmButton()->click();
      d->passwordEdit()->setText(QStringLiteral("1234567A"));
      d->confirmButton()->click();
      focusedAfterError = d->focusWidget() == d->passwordEdit();
      openAfterError = d->isVisible();
      errors = p.prompt.texts();
      d->passwordEdit()->setText(QStringLiteral("24681357"));
      d->confirmButton()->click();
      if (d->isVisible()) d->reject();
    });
    p.w().dispatch(cmd::PlantPassword);

    QCOMPARE(shown, QStringLiteral("58203716"));  // digits only: shown
    QCOMPARE(errors, (std::vector<std::string>{"Errore: password non valida (8 caratteri numerici).",
                                               "Errore: password non valida (8 caratteri numerici)."}));
    QVERIFY(focusedAfterError);
    QVERIFY(openAfterError);
    QCOMPARE(p.state.plantPassword, std::string("24681357"));
    std::string file = p.dir.read("password.txt");
    QVERIFY2(file == "24681357\r\n", hexDump(file).c_str());
  }

  void usbListSearchesSortsRefusesAndConnectsAnUnconfiguredHandheld() {
    HandheldPlant p;
    bool resetHidden = false, emptyAtFirst = false, openAfterRefusals = false, pagesOpenUnlocked = false;
    QStringList columns;
    QList<QStringList> rows;
    std::vector<std::string> refusals;
    withList(p, cmd::UsbList, kUsbList, [&](HandheldListDialog* d) {
      resetHidden = d->resetButton()->isHidden();
      emptyAtFirst = d->view()->topLevelItemCount() == 0;
      for (int c = 0; c < d->view()->columnCount(); ++c) columns << d->view()->headerItem()->text(c);
      d->searchButton()->click();  // runs "Ricerca dispositivi USB" to its end
      rows = rowsOf(d->view());
      d->selectPosition(0);  // another plant's handheld
      d->connectButton()->click();
      d->view()->clearSelection();
      d->connectButton()->click();
      refusals = p.prompt.texts();
      openAfterRefusals = d->isVisible() && !p.state.link.isOpen();
      p.prompt.clear();
      d->selectPosition(1);  // H001: only the factory password opens it
      p.prompt.script({Answer::Ok});
      test::whenModal(d, QStringLiteral("Parametri di Configurazione (1)"), [&](QWidget* pages) {
        pagesOpenUnlocked = p.state.link.isOpen() && p.state.connected;
        qobject_cast<QDialog*>(pages)->reject();
      });
      d->connectButton()->click();
    });

    QVERIFY(resetHidden);
    QVERIFY(emptyAtFirst);
    QCOMPARE(columns, (QStringList{"Cod.", "Nome", "Stato"}));
    // By id, byte by byte: the handheld without an id first.
    QCOMPARE(rows, (QList<QStringList>{{"", "Palmare HND-ZZ", "Password errata"},
                                       {"H001", "Palmare HND-ZZ", "Non configurato"},
                                       {"H003", "Palmare HND-ZZ", "Ok"}}));
    QCOMPARE(refusals, (std::vector<std::string>{"Il terminale selezionato non appartiene all'impianto !",
                                                 "Nessun terminale selezionato !"}));
    QVERIFY(openAfterRefusals);

    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Configurare la password del terminale ?"});
    QCOMPARE(p.prompt.shown()[0].title, std::string("Question Message"));
    QVERIFY(p.prompt.shown()[0].buttons == Buttons::OkCancel);
    QVERIFY(pagesOpenUnlocked);  // OK opened the handheld's parameter pages
    QVERIFY(p.state.connected);
    QVERIFY(p.state.link.isOpen());
    QCOMPARE(p.state.link.config.handheldId, std::string("H001"));
    QCOMPARE(p.w().windowTitle(), QStringLiteral("ORBITA (H001 - Palmare HND-ZZ)"));
    for (int id : {cmd::PlantPassword, cmd::BluetoothList, cmd::UsbList, cmd::StartScheduling, cmd::ChooseBatch})
      QVERIFY2(!p.enabled(id), std::to_string(id).c_str());
    for (int id : {cmd::Disconnect, cmd::Acquire, cmd::EraseRecords, cmd::SendDateTime, cmd::FirmwareVersion,
                   cmd::Reset, cmd::ResetDefaults, cmd::DownloadFirmware})
      QVERIFY2(p.enabled(id), std::to_string(id).c_str());
    QVERIFY(p.tryLock("H001") == TerminalLock::Result::Busy);

    // Disconnecting closes the USB Link and frees the handheld.
    p.w().dispatch(cmd::Disconnect);
    QVERIFY(!p.state.connected);
    QVERIFY(!p.state.link.isOpen());
    QCOMPARE(p.w().windowTitle(), QStringLiteral("ORBITA"));
    QVERIFY(p.enabled(cmd::UsbList));
    QVERIFY(p.tryLock("H001") == TerminalLock::Result::Held);
  }

  void connectedHandheldRecordsAreArchivedUnderItsId() {
    HandheldPlant p;
    withList(p, cmd::UsbList, kUsbList, [&](HandheldListDialog* d) {
      d->searchButton()->click();
      d->selectPosition(2);  // H003
      emit d->view()->itemDoubleClicked(d->view()->topLevelItem(2), 0);
    });
    QVERIFY(p.state.connected);
    QVERIFY(p.prompt.texts().empty());  // a configured handheld: no question

    test::whenModal(&p.w(), QStringLiteral("Salva Registrazioni in ..."), [](QWidget* modal) {
      test::buttonText(modal, QStringLiteral("&Esegui"))->click();
    });
    p.w().dispatch(cmd::Acquire);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Acquisite 7 registrazioni."});

    // Each line as a fixed terminal numbered 1 writes it, with the handheld's id as the code.
    LinkConfig fixed;
    fixed.number = 1;
    fixed.model = "LX-K3";
    std::string expected;
    for (const auto& r : p.records) {
      std::string line = attendanceLine(sim::attendanceFrame(1, r, 0), fixed);
      if (!line.empty()) expected += "H003" + line.substr(4);
    }
    std::string got = p.dir.read("file_reg.txt");
    QVERIFY(!expected.empty());
    QVERIFY2(got == expected, ("got:\n" + hexDump(got) + "expected:\n" + hexDump(expected)).c_str());
    QCOMPARE(p.hid.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(0));
  }

  void eachListShowsOnlyWhatItsOwnSearchFound() {
    HandheldPlant p;
    withList(p, cmd::UsbList, kUsbList, [](HandheldListDialog* d) { d->searchButton()->click(); });
    QCOMPARE(p.state.handhelds.size(), std::size_t(3));

    QList<QStringList> before, after;
    QStringList columns;
    bool systemChecked = false;
    withList(p, cmd::BluetoothList, kBtList, [&](HandheldListDialog* d) {
      before = rowsOf(d->view());
      systemChecked = d->systemStackButton()->isChecked() && !d->vendorStackButton()->isChecked();
      for (int c = 0; c < d->view()->columnCount(); ++c) columns << d->view()->headerItem()->text(c);
      d->searchButton()->click();  // "Microsoft": the system stack
      after = rowsOf(d->view());
      d->connectButton()->click();
    });
    QVERIFY(before.isEmpty());
    QVERIFY(systemChecked);
    QCOMPARE(columns, (QStringList{"Cod.", "Nome", "Indirizzo NAP", "Servizio", "Stato"}));
    QCOMPARE(after, (QList<QStringList>{{"B001", "Palmare HND", QString::fromStdString(btAddressText(kBtAddress)),
                                         "SPP140", "Ok"}}));
    // Connected over Bluetooth, unlocked with the plant password.
    QVERIFY(p.state.connected);
    QCOMPARE(p.w().windowTitle(), QStringLiteral("ORBITA (B001 - Palmare HND)"));
    p.w().dispatch(cmd::Disconnect);
    QVERIFY(!p.state.link.isOpen());

    // The Bluetooth search emptied what the USB one had found.
    QList<QStringList> usbRows{{"x"}};
    withList(p, cmd::UsbList, kUsbList, [&](HandheldListDialog* d) { usbRows = rowsOf(d->view()); });
    QVERIFY(usbRows.isEmpty());
  }

  void resetToDefaultsOnlyWithTheMarkerFile() {
    HandheldPlant p(kPlantPassword, true);
    bool shown = false, openAfter = false, linkClosed = false;
    withList(p, cmd::UsbList, kUsbList, [&](HandheldListDialog* d) {
      shown = !d->resetButton()->isHidden() && d->resetButton()->isEnabled();
      d->searchButton()->click();
      d->selectPosition(2);  // H003
      p.prompt.script({Answer::Yes});
      d->resetButton()->click();
      openAfter = d->isVisible();
      linkClosed = !p.state.link.isOpen();
    });
    QVERIFY(shown);
    QVERIFY(openAfter);
    QVERIFY(linkClosed);
    QVERIFY(!p.state.connected);
    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{"ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?",
                                                         "Operazione completata con successo."}));
    QCOMPARE(p.prompt.shown()[0].title, std::string("Reset Terminale"));
    QVERIFY(p.prompt.shown()[0].defaultButton == Answer::No);
    QCOMPARE(p.hid.with(0, [](sim::SimTerminal& t) { return t.defaultResets; }), 1);
    QVERIFY(p.tryLock("H003") == TerminalLock::Result::Held);
  }
};

QTEST_MAIN(HandheldDialogsTest)
#include "handheld_dialogs_test.moc"
