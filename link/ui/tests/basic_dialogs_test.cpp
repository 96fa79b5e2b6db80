// The basic command dialogs and menu commands against termsim, each reached
// through the main window's dispatch.
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>

#include "link/ui/basic_dialogs.h"
#include "link/ui/tests/ui_plant.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;


class BasicDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void singleExchangeCommands() {
    Plant p("LX-K3");
    QVERIFY(p.state.connected);
    p.w().dispatch(cmd::SendDateTime);
    p.w().dispatch(cmd::Reset);
    p.w().dispatch(cmd::ResetDefaults);  // the question is answered No
    p.prompt.script({Answer::Yes});
    p.w().dispatch(cmd::ResetDefaults);
    p.w().dispatch(cmd::FirmwareVersion);
    auto shown = p.prompt.shown();
    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{
                                   "Operazione completata con successo.", "Operazione completata con successo.",
                                   "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?",
                                   "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?",
                                   "Operazione completata con successo.", "Versione firmware = 'FW 1.00 SIM     '"}));
    QCOMPARE(shown[2].title, std::string("Reset Terminale"));
    QCOMPARE(shown[0].title, std::string("Info Message"));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.resets; }), 1);
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.defaultResets; }), 1);

    // Without a connection nothing is sent and nothing opens.
    p.w().dispatch(cmd::Disconnect);
    p.prompt.clear();
    p.server.clearRequests();
    for (int id : {cmd::SendDateTime, cmd::Reset, cmd::FirmwareVersion, cmd::ReadDateTime, cmd::Status,
                   cmd::OutputCommand, cmd::Polling, cmd::MemoryView, cmd::DirectCommand, cmd::AddressSpeed})
      p.w().dispatch(id);
    QCOMPARE(p.prompt.count(), std::size_t(0));
    QVERIFY(p.server.requests().empty());
    QVERIFY(!QApplication::activeModalWidget());
  }

  void dateTimeDialogShowsTheTerminalClockUntilClosed() {
    Plant p("LX-P1");
    QString shown;
    test::whenModal(&p.w(), QStringLiteral("Lettura Data e Ora"), [&shown](QWidget* modal) {
      auto* dialog = qobject_cast<OperationDialog*>(modal);
      test::when<OperationDialog>(
          dialog, [](OperationDialog* d) { return !d->progressText()->text().isEmpty(); },
          [&shown](OperationDialog* d) {
            shown = d->progressText()->text();
            test::buttonText(d, QStringLiteral("&Chiudi"))->click();
          });
    });
    p.w().dispatch(cmd::ReadDateTime);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$")).match(shown).hasMatch());
    QVERIFY(!p.state.workers.general.running());
    QCOMPARE(p.prompt.count(), std::size_t(0));
  }

  void statusDialogShowsTheModelsSixteenBits() {
    Plant p("LX-P2");
    p.terminal([](sim::SimTerminal& t) {
      t.status1 = 0x80;
      t.status2 = 0x01;
    });
    QStringList labels;
    bool topLeft = false, bottomRight = false, others = true;
    test::whenModal(&p.w(), QStringLiteral("Lettura Stato Terminale"), [&](QWidget* modal) {
      auto* dialog = qobject_cast<StatusDialog*>(modal);
      QVERIFY(dialog);
      test::when<StatusDialog>(
          dialog, [](StatusDialog* d) { return d->box(0, 0)->isChecked(); },
          [&](StatusDialog* d) {
            for (int c = 0; c < 2; ++c)
              for (int r = 0; r < 8; ++r) {
                labels << d->box(c, r)->text();
                if ((c == 0 && r == 0) || (c == 1 && r == 7)) continue;
                others = others && !d->box(c, r)->isChecked();
              }
            topLeft = d->box(0, 0)->isChecked();
            bottomRight = d->box(1, 7)->isChecked();
            test::buttonText(d, QStringLiteral("&Chiudi"))->click();
          });
    });
    p.w().dispatch(cmd::Status);
    QVERIFY(topLeft && bottomRight && others);
    QCOMPARE(labels.size(), 16);
    QCOMPARE(labels[0], QStringLiteral("Alimentazione 230V"));
    QCOMPARE(labels[3], QStringLiteral("Fuori servizio"));
    QCOMPARE(labels[4], QStringLiteral("n.u."));
    QCOMPARE(labels[8], QStringLiteral("Stato output 4"));
    QCOMPARE(labels[15], QStringLiteral("Stato input 1"));
  }

  void outputCommandValidatesAndSendsTheAction() {
    Plant p("LX-K2");
    test::whenModal(&p.w(), QStringLiteral("Invio Comando Output"), [&p](QWidget* modal) {
      auto* d = qobject_cast<OutputCommandDialog*>(modal);
      QVERIFY(d);
      d->activateWindow();
      d->channelEdit()->setText(QStringLiteral("5"));
      d->onButton()->setChecked(true);
      d->sendButton()->click();
      QCOMPARE(p.prompt.texts().back(), std::string("Errore: canale non valido (1-4)."));
      QCOMPARE(p.prompt.shown().back().title, std::string("Error Message"));
      QCOMPARE(QApplication::focusWidget(), d->channelEdit());

      d->channelEdit()->setText(QStringLiteral("2"));
      d->sendButton()->click();  // ON
      // Typing a duration clears ON/OFF; choosing OFF clears the duration.
      QTest::keyClicks(d->durationEdit(), QStringLiteral("10"));
      QVERIFY(!d->onButton()->isChecked() && !d->offButton()->isChecked());
      d->sendButton()->click();  // 10
      d->offButton()->click();
      QVERIFY(d->durationEdit()->text().isEmpty());
      d->sendButton()->click();  // OFF
      d->onButton()->setChecked(false);
      d->offButton()->setChecked(false);
      test::buttonText(d, QStringLiteral("&Chiudi"))->click();
    });
    p.w().dispatch(cmd::OutputCommand);
    auto outputs = p.terminal([](sim::SimTerminal& t) { return t.outputs; });
    QCOMPARE(outputs, (std::vector<std::pair<int, int>>{{2, 0x81}, {2, 0x0A}, {2, 0x80}}));
    QCOMPARE(p.prompt.texts().back(), std::string("Operazione completata con successo."));
  }

  void addressAndSpeedChangeSavesTheRowAndReconnects() {
    Plant p("LX-P2", 3, 1);
    test::whenModal(&p.w(), QStringLiteral("Cambia Indirizzo/Velocita`"), [&p](QWidget* modal) {
      auto* d = qobject_cast<AddressSpeedDialog*>(modal);
      QVERIFY(d);
      d->activateWindow();
      QCOMPARE(d->addressEdit()->text(), QStringLiteral("001"));
      QCOMPARE(d->speedBox()->currentText(), QStringLiteral(" 9600"));
      d->addressEdit()->setText(QStringLiteral("256"));
      d->confirmButton()->click();
      QCOMPARE(p.prompt.texts().back(), std::string("Errore: indirizzo non valido (0-255)."));
      QCOMPARE(QApplication::focusWidget(), d->addressEdit());
      QVERIFY(d->isVisible());
      d->addressEdit()->setText(QStringLiteral("5"));
      d->speedBox()->setCurrentIndex(4);
      p.prompt.script({Answer::Ok, Answer::Yes});
      d->confirmButton()->click();
    });
    p.w().dispatch(cmd::AddressSpeed);
    auto texts = p.prompt.texts();
    QCOMPARE(texts.size(), std::size_t(3));
    QCOMPARE(texts[1], std::string("Operazione completata con successo."));
    QCOMPARE(texts[2], std::string("Riconnettere il terminale con i nuovi valori impostati ?"));
    const TerminalRecord& row = p.state.registry.rows[0];
    QCOMPARE(row.address, std::uint16_t(5));
    QCOMPARE(row.speed, std::string("19200"));
    QVERIFY(p.dir.read("config.dat").starts_with(registryLine(row)));
    // The main window disconnects and connects again with the new values.
    QTRY_COMPARE(p.state.link.config.address, std::string("05"));
    QTRY_VERIFY(p.state.connected);
    QCOMPARE(p.server.connections(), 2);
  }

  void addressAndSpeedWithAnUnlistedStoredSpeedWaitsForAChoice() {
    Plant p("LX-K3", 3, 1);
    p.state.registry.rows[0].speed = " 7200";  // written by hand into config.dat
    std::size_t requestsBefore = p.server.requests().size();
    test::whenModal(&p.w(), QStringLiteral("Cambia Indirizzo/Velocita`"), [&p, requestsBefore](QWidget* modal) {
      auto* d = qobject_cast<AddressSpeedDialog*>(modal);
      QVERIFY(d);
      QCOMPARE(d->speedBox()->currentIndex(), -1);
      d->confirmButton()->click();
      QCOMPARE(p.prompt.texts().back(), std::string("Errore: scegliere la velocita`."));
      QCOMPARE(p.server.requests().size(), requestsBefore);  // nothing reached the terminal
      QVERIFY(d->isVisible());
      d->speedBox()->setCurrentIndex(1);
      p.prompt.script({Answer::Ok, Answer::No});
      d->confirmButton()->click();
    });
    p.w().dispatch(cmd::AddressSpeed);
    QCOMPARE(p.state.registry.rows[0].speed, std::string(" 2400"));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.speedIndex(); }), 1u);
    QVERIFY(p.state.connected);  // the user did not ask to reconnect
  }

  void pollingShowsEventsAndSendsCommands() {
    Plant p("LX-P1");
    QString received;
    test::whenModal(&p.w(), QStringLiteral("Polling Terminale"), [&](QWidget* modal) {
      auto* d = qobject_cast<PollingDialog*>(modal);
      QVERIFY(d);
      QCOMPARE(d->bitBox(7)->text(), QStringLiteral("Ready"));
      QCOMPARE(d->bitBox(0)->text(), QStringLiteral("Titolo letto"));
      QCOMPARE(d->replyList()->count(), 5);
      d->replyList()->setCurrentRow(1);  // "1: Titolo regolare"
      p.terminal([](sim::SimTerminal& t) { t.pollEvents.push_back({0x81, 'T', "BADGE42"}); });
      test::when<PollingDialog>(
          d, [](PollingDialog* d) { return !d->receivedText()->text().isEmpty(); },
          [&](PollingDialog* d) {
            received = d->receivedText()->text();
            d->commandButton(PollButton::Exit)->click();
            test::when<PollingDialog>(
                d, [](PollingDialog* d) { return d->control().pendingCommand.load() == 0; },
                [](PollingDialog* d) { test::buttonText(d, QStringLiteral("&Chiudi"))->click(); });
          });
    });
    p.w().dispatch(cmd::Polling);
    QCOMPARE(received, QStringLiteral("T - BADGE42"));
    std::string sent = p.terminal([](sim::SimTerminal& t) { return t.pollCharacters; });
    QCOMPARE(sent, std::string("1B"));  // the automatic reply, then the EXIT command
  }

  void memoryViewReadsGoesToAndWrites() {
    Plant p("LX-P2");
    p.terminal([](sim::SimTerminal& t) {
      t.poke(0x000010, 0xAB);
      t.poke(0x2000FF, 0x5C);
    });
    QString cell, lastCell;
    test::whenModalOf<MemoryViewDialog>(&p.w(), [&](MemoryViewDialog* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Lettura/scrittura memoria"));
      test::when<MemoryViewDialog>(
          d, [](MemoryViewDialog* d) { return d->page().groupsRead == 64 && QApplication::activeModalWidget() == d; },
          [&](MemoryViewDialog* d) {
            d->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(d));
            cell = d->grid()->item(1, 0)->text();
            QCOMPARE(d->grid()->columnCount(), 16);
            d->pageEdit()->setText(QStringLiteral("20g"));
            d->goButton()->click();
            QCOMPARE(p.prompt.texts().back(), std::string("Errore: indirizzo non valido."));
            QCOMPARE(QApplication::focusWidget(), d->pageEdit());
            d->pageEdit()->setText(QStringLiteral("2000"));
            d->goButton()->click();  // runs its own reading dialog to the end
            lastCell = d->grid()->item(15, 15)->text();
            d->activateWindow();  // back from the reading dialog
            QVERIFY(QTest::qWaitForWindowActive(d));

            d->offsetEdit()->setText(QStringLiteral("6"));
            d->dataEdit()->setText(QStringLiteral("01020304"));
            d->writeButton()->click();
            QCOMPARE(p.prompt.texts().back(), std::string("Errore: indirizzo non valido."));
            QCOMPARE(QApplication::focusWidget(), d->offsetEdit());
            d->offsetEdit()->setText(QStringLiteral("8"));
            d->dataEdit()->setText(QStringLiteral("0102030"));
            d->writeButton()->click();
            QCOMPARE(p.prompt.texts().back(), std::string("Errore: dato non valido."));
            QCOMPARE(QApplication::focusWidget(), d->dataEdit());
            d->dataEdit()->setText(QStringLiteral("DEADBEEF"));
            d->writeButton()->click();
            QCOMPARE(d->grid()->item(0, 8)->text(), QStringLiteral("DE"));
            QCOMPARE(d->grid()->item(0, 11)->text(), QStringLiteral("EF"));
            test::buttonText(d, QStringLiteral("&Chiudi"))->click();
          });
    });
    p.w().dispatch(cmd::MemoryView);
    QCOMPARE(cell, QStringLiteral("AB"));
    QCOMPARE(lastCell, QStringLiteral("5C"));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.peek(0x200008); }), std::uint8_t(0xDE));
    QCOMPARE(p.prompt.count(), std::size_t(3));
  }

  void directCommandShowsTheReply() {
    Plant p("LX-K4");
    p.terminal([](sim::SimTerminal& t) {
      t.status1 = 0x12;
      t.status2 = 0x34;
    });
    test::whenModal(&p.w(), QStringLiteral("Comando diretto"), [&p](QWidget* modal) {
      auto* d = qobject_cast<DirectCommandDialog*>(modal);
      QVERIFY(d);
      QCOMPARE(d->commandEdit()->maxLength(), 32);
      d->commandEdit()->setText(QStringLiteral("36"));
      d->sendButton()->click();
      test::buttonText(d, QStringLiteral("&Chiudi"))->click();
    });
    p.w().dispatch(cmd::DirectCommand);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"361234"});
    QCOMPARE(p.prompt.shown()[0].title, std::string("Info Message"));
  }
};

QTEST_MAIN(BasicDialogsTest)
#include "basic_dialogs_test.moc"
