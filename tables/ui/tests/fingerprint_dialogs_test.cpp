// "Elenco Impronte Digitali" through the main window against termsim,
// offscreen: a record with a captured template, sorted, saved and sent with
// the table cleared first; closing removes the template files. "Impronta
// Digitale" capturing with termsim's desk reader and its fingerprint module,
// and a capture stopped with "&Annulla".
#include <QLabel>

#include "link/hex.h"
#include "link/ui/tests/ui_plant.h"
#include "sim/sim_cards.h"
#include "sim/sim_fingerprints.h"
#include "tables/fingerprints_capture.h"
#include "tables/ui/fingerprint_dialogs.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

std::string templ(int seed) {
  std::string bytes;
  for (int i = 0; i < 384; ++i) bytes += static_cast<char>((seed * 5 + i) & 0xFF);
  return bytesToHex(bytes);
}

int templateFiles(const std::filesystem::path& folder) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) n += e.path().extension() == ".tpl";
  return n;
}

}  // namespace

class FingerprintDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void addSortSaveSendAndClose() {
    Plant p("LX-K2");
    QVERIFY(p.state.connected);
    p.state.workingDirectory = p.dir.path();
    p.terminal([](sim::SimTerminal& t) { t.tables[sim::kSimFingerprintKey].push_back("0000000001" + templ(0)); });
    const std::string saved = (p.dir / "impronte.txt").string();
    bool ran = false;
    test::whenModal(&p.w(), QStringLiteral("Elenco Impronte Digitali"), [&](QWidget* modal) {
      auto* list = qobject_cast<FingerprintListDialog*>(modal);
      QVERIFY(list);
      int captures = 0;
      list->setCapture([&](QWidget*) -> std::optional<std::string> { return templ(++captures); });
      list->setFileChooser([&](QWidget*, const QString&, const QString&, bool) { return QString::fromStdString(saved); });
      // Two records; the first without a capture is refused.
      for (const char* personnel : {"500", "20"}) {
        test::whenModal(list, QStringLiteral("Impronta Digitale"), [&](QWidget* m) {
          auto* card = qobject_cast<FingerprintRecordDialog*>(m);
          QVERIFY(card);
          card->companyEdit()->setText(QStringLiteral("3"));
          card->personnelEdit()->setText(QString::fromLatin1(personnel));
          card->confirmButton()->click();
          QVERIFY(card->isVisible());
          card->captureButton()->click();
          QCOMPARE(card->captureButton()->text(), QStringLiteral("Impronta presente"));
          QVERIFY(!card->captureButton()->isEnabled());
          card->confirmButton()->click();
        });
        list->button("1055")->click();
      }
      QCOMPARE(list->listBox()->topLevelItemCount(), 2);
      QCOMPARE(templateFiles(p.dir.path()), 2);
      p.prompt.script({Answer::Yes});  // the sort-save-send warning
      list->button("1063")->click();
      QCOMPARE(list->listBox()->topLevelItem(0)->text(0), QStringLiteral("000000020"));
      QCOMPARE(list->listBox()->topLevelItem(0)->text(1), QStringLiteral("03"));
      ran = true;
      list->button("2")->click();
    });
    p.w().dispatch(cmd::Fingerprints);
    QVERIFY(ran);
    QCOMPARE(p.prompt.texts().front(), std::string(kNoCapturedTemplate));
    // Sorted, saved in the embedded form, sent after a clear with no question.
    const std::string expected = "00003 000000020 " + templ(2) + "\r\n" + "00003 000000500 " + templ(1) + "\r\n";
    const std::string file = p.dir.read("impronte.txt");
    QVERIFY2(file == expected, hexDump(file).c_str());
    auto stored = p.terminal([](sim::SimTerminal& t) { return t.tables[sim::kSimFingerprintKey]; });
    QCOMPARE(stored.size(), std::size_t{2});
    QCOMPARE(stored[0], "0300000014" + templ(2));
    QCOMPARE(stored[1], "03000001F4" + templ(1));
    for (const auto& t : p.prompt.texts()) QVERIFY(t != kClearQuestion);
    QCOMPARE(templateFiles(p.dir.path()), 0);
  }

  void captureWithTheDeskReaderAndCancelOne() {
    sim::SimServer server;
    server.add(sim::makeDeskReader(1));
    const std::uint16_t port = server.listenTcp();
    server.start();
    const std::string templ = sim::SimFingerprintModule::sampleTemplate(3);
    server.with(0, [&](sim::SimTerminal& t) { return t.cardReader.module.templateBytes = templ; });
    test::TempDir dir;
    ProcessState state;
    state.deskReader = test::tcpRow(0, "DESK ", port, 1);
    state.deskReaderReady = true;
    test::ScriptedPrompt prompt;
    Messages messages{prompt};
    FingerprintList list(dir.path());
    TemplateCapture capture = [&](QWidget* parent) { return captureWithDeskReader(state, messages, parent); };

    // The capture dialog runs the worker and closes by itself with the template.
    {
      FingerprintRecordDialog record(list, 0, messages, capture);
      record.show();
      record.captureButton()->click();
      QCOMPARE(record.captureButton()->text(), QStringLiteral("Impronta presente"));
      QVERIFY(!record.captureButton()->isEnabled());
      record.companyEdit()->setText(QStringLiteral("7"));
      record.personnelEdit()->setText(QStringLiteral("1234"));
      record.confirmButton()->click();
      QCOMPARE(record.result(), int(QDialog::Accepted));
    }
    QCOMPARE(list.size(), std::size_t{1});
    QCOMPARE(list.records()[0].badge, std::string("07000004D2"));
    const std::string file = dir.read(list.records()[0].templateFile);
    QVERIFY2(file == bytesToHex(templ), hexDump(file).c_str());
    QVERIFY(state.deskReaderReady);

    // The finger never comes: "&Annulla" shows that the capture is being
    // stopped until the worker has ended the module's session.
    server.with(0, [](sim::SimTerminal& t) {
      t.cardReader.module.noFinger = -1;
      return t.cardReader.module.scanMs = 300;
    });
    QString whileStopping;
    bool visibleWhileStopping = false;
    test::whenModal(this, QStringLiteral("Cattura Impronta"), [&](QWidget* m) {
      auto* text = m->findChild<QLabel*>();
      test::when<QLabel>(text, [](QLabel* l) { return l->text() == QString::fromLatin1(kCapturePlaceFinger); },
                         [&, m](QLabel* l) {
                           QTimer::singleShot(150, m, [&, m, l] {
                             whileStopping = l->text();
                             visibleWhileStopping = m->isVisible();
                           });
                           auto* cancel = m->findChild<QPushButton*>();
                           QCOMPARE(cancel->text(), QStringLiteral("&Annulla"));
                           cancel->click();
                         });
    });
    FingerprintRecordDialog second(list, 1, messages, capture);
    second.show();
    second.captureButton()->click();
    QTRY_VERIFY(!whileStopping.isEmpty());
    QCOMPARE(whileStopping, QString::fromLatin1(kCaptureCancelling));
    QVERIFY(visibleWhileStopping);
    QCOMPARE(second.captureButton()->text(), QStringLiteral("Cattura impronta"));
    QVERIFY(second.captureButton()->isEnabled());
    second.companyEdit()->setText(QStringLiteral("7"));
    second.personnelEdit()->setText(QStringLiteral("99"));
    second.confirmButton()->click();
    QCOMPARE(prompt.texts().back(), std::string(kNoCapturedTemplate));
    QCOMPARE(list.size(), std::size_t{1});
    // Stopped by the user is not a reader failure; the module got "+++" both times.
    QVERIFY(state.deskReaderReady);
    QCOMPARE(server.with(0, [](sim::SimTerminal& t) { return t.cardReader.module.endings; }), 2);
    QVERIFY(!state.workers.general.running());
  }
};

QTEST_MAIN(FingerprintDialogsTest)
#include "fingerprint_dialogs_test.moc"
