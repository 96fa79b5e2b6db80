// "Elenco Impronte Digitali" through the main window against termsim,
// offscreen: a record with a captured template, sorted, saved and sent with
// the table cleared first; closing removes the template files.
#include "link/hex.h"
#include "link/ui/tests/ui_plant.h"
#include "sim/sim_fingerprints.h"
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
};

QTEST_MAIN(FingerprintDialogsTest)
#include "fingerprint_dialogs_test.moc"
