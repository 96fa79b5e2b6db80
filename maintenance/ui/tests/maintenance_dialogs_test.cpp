// The firmware and logo dialogs reached through the main window's dispatch,
// against termsim: what the terminal holds afterwards is compared byte for byte.
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <deque>
#include <fstream>

#include "link/hex.h"
#include "link/ui/tests/ui_plant.h"
#include "maintenance/logo.h"
#include "maintenance/ui/maintenance_dialogs.h"
#include "sim/sim_loader.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

// Stands in for the Open-file dialog: records each title and filter asked
// for and answers with the next queued path.
struct Chooser {
  std::vector<QString> asked;
  std::deque<std::filesystem::path> answers;
  void install(Plant& p) {
    registerMaintenanceCommands(p.w(), p.state, p.messages, [this](QWidget*, const QString& title, const QString& filter) {
      asked.push_back(title + QLatin1Char('|') + filter);
      if (answers.empty()) return QString();
      QString path = QString::fromStdString(answers.front().string());
      answers.pop_front();
      return path;
    });
  }
};

// Whole blocks whose 16-bit words XOR to 0xFFFF.
std::string firmwareBytes(std::size_t blocks) {
  std::string b(blocks * 128, '\0');
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>((i * 31 + i / 128) & 0xFF);
  std::uint16_t x = 0;
  for (std::size_t i = 0; i + 2 < b.size(); i += 2)
    x ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[i]) | static_cast<std::uint8_t>(b[i + 1]) << 8);
  x ^= 0xFFFF;
  b[b.size() - 2] = static_cast<char>(x & 0xFF);
  b[b.size() - 1] = static_cast<char>(x >> 8);
  return b;
}

// A one-bit bitmap (palette black, white) with only pixel (x, y) dark.
std::string bitmap(int width, int height, int darkX, int darkY) {
  std::size_t row = static_cast<std::size_t>(width / 8 + 3) / 4 * 4;
  std::string b(62 + row * static_cast<std::size_t>(height), '\0');
  auto put32 = [&](std::size_t at, unsigned v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<unsigned>(b.size()));
  put32(10, 62);
  put32(14, 40);
  put32(18, static_cast<unsigned>(width));
  put32(22, static_cast<unsigned>(height));
  b[26] = 1;
  b[28] = 1;
  b[58] = b[59] = b[60] = static_cast<char>(0xFF);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (x != darkX || y != darkY)
        b[62 + static_cast<std::size_t>(height - 1 - y) * row + static_cast<std::size_t>(x / 8)] |=
            static_cast<char>(0x80 >> (x % 8));
  return b;
}

}  // namespace

class MaintenanceDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void firmwareFromTheMenuReachesTheLoader() {
    Plant p("LX-K1", 12);
    std::string image = firmwareBytes(64);
    p.dir.write("fw.bin", image);
    Chooser files;
    files.install(p);
    files.answers = {p.dir / "fw.bin"};
    int maximum = -1, finalValue = -1;
    test::whenModal(&p.w(), QStringLiteral("Aggiornamento Terminale"), [&](QWidget* modal) {
      auto* d = qobject_cast<FirmwareDialog*>(modal);
      QVERIFY(d);
      maximum = d->progressBar()->maximum();
      QVERIFY(test::buttonText(d, QStringLiteral("&Annulla")));
      connect(d, &QDialog::finished, d, [d, &finalValue] { finalValue = d->progressBar()->value(); });
    });
    p.w().dispatch(cmd::DownloadFirmware);
    QCOMPARE(files.asked, std::vector<QString>{QStringLiteral("Open Download File|Download File (*.bin)")});
    QCOMPARE(maximum, 64);
    QCOMPARE(finalValue, 64);
    QCOMPARE(p.prompt.count(), std::size_t{0});
    std::string received = p.terminal([](sim::SimTerminal& t) {
      return std::string(t.loader.image().begin(), t.loader.image().end());
    });
    QCOMPARE(QString::fromStdString(hexDump(received)), QString::fromStdString(hexDump(image)));
  }

  void aBadFirmwareFileIsRefusedBeforeAnythingIsSent() {
    Plant p("LX-P1", 12);  // takes exactly 479 blocks
    p.dir.write("fw.bin", firmwareBytes(480));
    p.server.clearRequests();
    Chooser files;
    files.install(p);
    files.answers = {p.dir / "fw.bin", p.dir / "fw.bin"};
    p.w().dispatch(cmd::DownloadFirmware);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Errore: dati non corretti."});
    QCOMPARE(p.prompt.shown()[0].title, std::string("Error Message"));
    QVERIFY(p.server.requests().empty());
    // The same file is a reader module's firmware: "3302" goes out.
    p.terminal([](sim::SimTerminal& t) { t.readerVersion[1] = "R2"; });
    p.w().dispatch(cmd::FirmwareReader2);
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.loader.image().size(); }), std::size_t{480 * 128});
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.loader.target(); }), 2);
  }

  void logoDialogShowsReadsAndSendsToTheChosenSlot() {
    for (const char* model : {"LX-P2", "LX-K5"}) {
      Plant p(model, 12);
      LogoModel lm = *logoModelOf(model);
      const LogoGeometry& g = logoGeometry(lm);
      p.dir.write("wrong.bmp", bitmap(lm == LogoModel::P2 ? 128 : 240, lm == LogoModel::P2 ? 64 : 128, 0, 0));
      p.dir.write("logo.bmp", bitmap(g.width, g.height, 9, 1));
      Chooser files;
      files.install(p);
      files.answers = {p.dir / "wrong.bmp", p.dir / "logo.bmp"};
      int sendMaximum = -1;
      QString sendText;
      test::whenModalOf<LogoDialog>(&p.w(), [&](LogoDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Download logo"));
        QCOMPARE(d->picture()->width(), lm == LogoModel::K5 ? 256 : 240);
        QCOMPARE(d->picture()->height(), 128);
        QVERIFY(!d->sendButton()->isEnabled());
        d->readButton()->click();
        QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Errore: lettura bitmap fallita."});
        QVERIFY(!d->sendButton()->isEnabled());
        d->readButton()->click();
        QVERIFY(d->sendButton()->isEnabled());
        QVERIFY(!d->picture()->pixmap().isNull());
        d->slot2Button()->setChecked(true);
        test::whenModal(d, QStringLiteral("Aggiornamento Dati"), [&](QWidget* modal) {
          auto* op = qobject_cast<OperationDialog*>(modal);
          sendMaximum = op->progressBar()->maximum();
          for (QLabel* l : op->findChildren<QLabel*>()) sendText += l->text();
          QVERIFY(test::buttonText(op, QStringLiteral("&Interrompi")));
        });
        d->sendButton()->click();
        test::buttonText(d, QStringLiteral("&Chiudi"))->click();
      });
      p.w().dispatch(cmd::Logo);
      QCOMPARE(files.asked.size(), std::size_t{2});
      QCOMPARE(files.asked[0], QStringLiteral("Open Data File|") + QString::fromLatin1(g.fileFilter));
      QCOMPARE(sendMaximum, g.progressRange);
      QCOMPARE(sendText, QStringLiteral("Invio dati in corso ..."));
      auto slot2 = p.terminal([](sim::SimTerminal& t) { return sim::logoSlot(t, 2); });
      // Only pixel (9, 1) is dark.
      std::size_t dark = lm == LogoModel::P2 ? 30 + 1 : 3 + 9;
      std::uint8_t bit = lm == LogoModel::P2 ? 0x02 : 0x02;  // P2: bit 9 % 8; K5: row 1 of band 0
      for (std::size_t i = 0; i < slot2.size(); ++i) {
        std::uint8_t expected = i == dark ? bit : 0;
        if (lm == LogoModel::K5 && i == 1) expected = 0x80;
        if (lm == LogoModel::K5 && i == 2) expected = 0x40;
        QVERIFY2(slot2[i] == expected, qPrintable(QStringLiteral("%1: byte %2 is %3").arg(model).arg(i).arg(slot2[i])));
      }
    }
  }
};

QTEST_MAIN(MaintenanceDialogsTest)
#include "maintenance_dialogs_test.moc"
