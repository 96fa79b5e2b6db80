// The batch editor and a batch run from the menu against termsim's USB
// handhelds: the search and progress dialogs, their texts, and "&Annulla"
// half way through a handheld.
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/command_ids.h"
#include "app/settings_files.h"
#include "app/ui/main_window.h"
#include "app/ui/tests/ui_support.h"
#include "automation/ui/batch_dialogs.h"
#include "link/hid_device.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

struct Program {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  std::unique_ptr<MainWindow> window;
  // What the file dialogs are asked and answer, in order.
  std::vector<QString> asked;
  std::vector<QString> answers;

  Program() {
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
    dir.write("password.txt", "13572468\r\n");
  }
  MainWindow& start() {
    test::ScopedCurrentDirectory cwd(dir.path());
    window = std::make_unique<MainWindow>(state, messages);
    window->setLockPath(dir / "orbita.lock");
    window->dispatch(cmd::StartUp);
    registerBatchCommands(*window, state, messages, [this](QWidget*, bool save, const QString& title, const QString&) {
      asked.push_back((save ? "save " : "open ") + title);
      if (answers.empty()) return QString();
      QString a = answers.front();
      answers.erase(answers.begin());
      return a;
    });
    return *window;
  }
};

}  // namespace

class BatchDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void editorReadsAFileAndSavesOneLineAfterTheEraseWarning() {
    Program p;
    MainWindow& w = p.start();
    p.dir.write("old.cmd", "0100 0003\r\n0100 00200003\r\n");  // an 11-byte first line: the second does not parse
    p.dir.write("usb.cmd", "0100 00200003\r\n");
    p.answers = {QString::fromStdString((p.dir / "old.cmd").string()),
                 QString::fromStdString((p.dir / "usb.cmd").string()),
                 QString::fromStdString((p.dir / "new.cmd").string())};
    bool checked = false;
    test::onNextModal(&w, [&](QWidget* modal) {
      auto* editor = qobject_cast<BatchEditorDialog*>(modal);
      QVERIFY(editor);
      QCOMPARE(editor->windowTitle(), QStringLiteral("Imposta per Tutti"));
      QVERIFY(editor->btSystemButton()->isChecked());  // no flags: "Bluetooth Microsoft"
      QVERIFY2(!editor->operationBox(1u << 31), "reset + default has no check box");
      QVERIFY(!editor->operationBox(1u << 12));

      editor->readButton()->click();  // old.cmd: 11-byte layout, mask 0003
      QVERIFY(editor->usbButton()->isChecked());
      QVERIFY(editor->operationBox(batchop::Acquire)->isChecked());
      QVERIFY(editor->operationBox(batchop::SetClock)->isChecked());
      QVERIFY(!editor->operationBox(batchop::EraseRecords)->isChecked());
      editor->readButton()->click();  // usb.cmd
      QVERIFY(editor->operationBox(batchop::EraseRecords)->isChecked());
      QVERIFY(!editor->backgroundBox()->isChecked());
      editor->backgroundBox()->setChecked(true);

      p.prompt.script({Answer::No});
      editor->saveButton()->click();
      QVERIFY2(editor->isVisible(), "No keeps the editor open");
      QCOMPARE(p.asked.size(), std::size_t{2});  // and no file is asked for
      p.prompt.script({Answer::Yes});
      editor->saveButton()->click();
      checked = true;
    });
    w.dispatch(cmd::BatchEditor);
    QVERIFY(checked);
    QCOMPARE(p.asked, (std::vector<QString>{"open Open Batch File", "open Open Batch File", "save Save Batch File"}));
    QCOMPARE(p.dir.read("new.cmd"), std::string("8100 00200003\r\n"));
    std::vector<PromptRequest> shown = p.prompt.shown();
    QCOMPARE(shown.size(), std::size_t{2});
    QCOMPARE(shown[0].text, std::string("ATTENZIONE !\nTutte le registrazioni presenti nella memoria dei terminali "
                                        "verranno eliminate.\nLe registrazioni cancellate non saranno pi\xF9 "
                                        "recuperabili !\n\nContinuare ?"));
    QCOMPARE(shown[0].title, std::string("Warning Message"));
    QVERIFY(shown[0].defaultButton == Answer::No);

    // An unreadable file says so.
    p.prompt.clear();
    p.dir.write("bad.cmd", "junk");
    p.answers = {QString::fromStdString((p.dir / "bad.cmd").string())};
    test::onNextModal(&w, [](QWidget* modal) {
      static_cast<BatchEditorDialog*>(modal)->readButton()->click();
      static_cast<BatchEditorDialog*>(modal)->closeButton()->click();
    });
    w.dispatch(cmd::BatchEditor);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Errore: lettura dati non riuscita."});
  }

  void aRunFromTheMenuShowsItsProgressAndStopsOnAnnulla() {
    sim::SimTerminal first("HND  ", 1);
    for (const auto& r : sim::generateAttendance(4, 60)) first.add(r);
    sim::SimHidServer usb;
    usb.addHandheld("H001", std::string("13572468"), sim::kHandheldProduct, first);
    usb.addHandheld("H002", std::string("13572468"));
    ::setenv(kHidSimVariable, usb.listen().c_str(), 1);
    usb.start();

    Program p;
    MainWindow& w = p.start();
    p.dir.write("run.cmd", "0100 00000003\r\n");  // USB, acquire and clock, with a window
    p.answers = {QString::fromStdString((p.dir / "run.cmd").string())};

    // Watches the modal dialogs: the search, then the progress dialog, on
    // which "&Annulla" is pressed once records are coming.
    QStringList titles;
    QString terminal, reference, status;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      if (titles.isEmpty() || titles.last() != modal->windowTitle()) titles << modal->windowTitle();
      auto* progress = qobject_cast<BatchProgressDialog*>(modal);
      if (!progress || !progress->statusField()->text().startsWith(QStringLiteral("Acquisizione registrazioni (")))
        return;
      terminal = progress->terminalField()->text();
      reference = progress->referenceField()->text();
      status = progress->statusField()->text();
      watch.stop();
      progress->cancelButton()->click();
    });
    watch.start();
    w.dispatch(cmd::ChooseBatch);
    QTRY_VERIFY_WITH_TIMEOUT(p.dir.read("file_log.txt").find("fine esecuzione") != std::string::npos, 30000);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    ::unsetenv(kHidSimVariable);

    QCOMPARE(titles, (QStringList{"Ricerca dispositivi USB", "Esecuzione Batch-File"}));
    QCOMPARE(terminal, QStringLiteral("H001"));
    QCOMPARE(reference, QStringLiteral("Palmare HND-ZZ"));
    QVERIFY2(status.contains(QRegularExpression("^Acquisizione registrazioni \\(\\d+\\)$")), qPrintable(status));
    std::string log = p.dir.read("file_log.txt");
    QVERIFY2(log.find("\r\nH001: acquisizione registrazioni (") != std::string::npos, log.c_str());
    QVERIFY2(log.find(" record) FALLITO\r\n----: interruzione richiesta dall'utente\r\n----: fine esecuzione batch ") !=
                 std::string::npos,
             log.c_str());
    QVERIFY2(log.find("H002") == std::string::npos, log.c_str());
    QVERIFY(log.ends_with("\r\n\r\n"));
    QVERIFY(p.prompt.texts().empty());
    QVERIFY(p.messages.flags.showLinkErrors.load());
    QVERIFY(p.messages.flags.askOnFailure.load());
    QVERIFY(p.state.handhelds.empty());
    QVERIFY(!p.state.link.isOpen());
    // Records archived before the stop were acknowledged; the rest wait for the next run.
    std::size_t left = usb.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
    QVERIFY(left > 0 && left < 60);
    const std::string reg = p.dir.read("file_reg.txt");
    QCOMPARE(static_cast<std::size_t>(std::count(reg.begin(), reg.end(), '\n')), 60 - left);
  }

  void aBackgroundRunShowsNoWindowAndTheWindowKeepsItsEvents() {
    sim::SimTerminal own("HND  ", 1);
    own.clockOffset = std::chrono::hours(-3);
    sim::SimHidServer usb;
    usb.addHandheld("H001", std::string("13572468"), sim::kHandheldProduct, own);
    ::setenv(kHidSimVariable, usb.listen().c_str(), 1);
    usb.start();
    Program p;
    MainWindow& w = p.start();
    w.show();
    p.dir.write("night.cmd", "8100 00000002\r\n");  // USB, set the clock, background
    p.answers = {QString::fromStdString((p.dir / "night.cmd").string())};
    int ticks = 0;
    QStringList titles;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (p.state.workers.batch.running()) ++ticks;  // while the executor works
      if (QWidget* modal = QApplication::activeModalWidget()) titles << modal->windowTitle();
    });
    watch.start();
    w.dispatch(cmd::ChooseBatch);
    QTRY_VERIFY_WITH_TIMEOUT(p.dir.read("file_log.txt").find("fine esecuzione") != std::string::npos, 30000);
    ::unsetenv(kHidSimVariable);
    QVERIFY2(titles.isEmpty(), qPrintable(titles.join(", ")));
    QVERIFY2(ticks > 0, "the window handled no event during the run");
    const std::string log = p.dir.read("file_log.txt");
    QVERIFY2(log.find("\r\nH001: invio data e ora OK\r\n----: fine esecuzione batch ") != std::string::npos, log.c_str());
    std::tm now = usb.with(0, [](sim::SimTerminal& t) { return t.clockTime(); });
    QVERIFY(std::labs(static_cast<long>(std::mktime(&now) - std::time(nullptr))) < 10);
    QVERIFY(w.isVisible());  // a run from the menu does not hide the window
  }
};

QTEST_MAIN(BatchDialogsTest)
#include "batch_dialogs_test.moc"
