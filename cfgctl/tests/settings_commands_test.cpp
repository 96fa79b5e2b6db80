// cfgctl's settings commands: config.dat and acqreg.dat written from the
// command line, byte for byte as the program writes them, with the card's
// checks and messages, and never a line dropped without saying so.
#include <gtest/gtest.h>

#include <sstream>

#include "app/registry.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hex.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

std::string blanks(std::size_t n) { return std::string(n, ' '); }

class SettingsCommands : public ::testing::Test, public test::CliFolder {
 protected:
  std::string config() { return dir.read("config.dat"); }

};

#define EXPECT_BYTES(got, expected) EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "\nexpected:\n" << hexDump(expected)

TEST_F(SettingsCommands, TerminalAddSetListRemoveRoundTrip) {
  std::string first = registryLine(test::tcpRow(12, "LX-K3", 3001, 4)) + "\r\n";
  dir.write("config.dat", first);

  ASSERT_EQ(run({"terminal", "add", "7", "--description", "Ingresso nord", "--model", "LX-P2", "--address", "12",
                 "--port", "COM3", "--speed", "19200", "--rs485", "--modem", "0312345678", "--modem-type", "telit",
                 "--modem-init", "AT&F", "--continuous"}),
            0)
      << err.str();
  EXPECT_EQ(out.str(), "Terminale 7 aggiunto.\n");
  std::string added = "0007 Ingresso nord" + blanks(17) + " LX-P2 012 COM3 19200 V F V 0312345678" + blanks(5) +
                      " F 000.000.000.000 00000 V AT&F" + blanks(95) + " 1\r\n";
  ASSERT_EQ(added.size(), 208u);
  EXPECT_BYTES(config(), first + added);

  // set changes only what it is given; the speed keeps its leading blank.
  ASSERT_EQ(run({"terminal", "set", "7", "--tcp", "10.0.0.5:3002", "--no-modem", "--speed", "9600"}), 0) << err.str();
  std::string changed = "0007 Ingresso nord" + blanks(17) + " LX-P2 012 COM3  9600 V F F 0312345678" + blanks(5) +
                        " V 010.000.000.005 03002 V AT&F" + blanks(95) + " 1\r\n";
  EXPECT_BYTES(config(), first + changed);

  ASSERT_EQ(run({"terminals"}), 0) << err.str();
  EXPECT_EQ(out.str(), "0012  Varco LX-K3" + blanks(19) + "  LX-K3  TCP 127.0.0.1:3001, indirizzo 4\n" +
                           "0007  Ingresso nord" + blanks(17) + "  LX-P2  TCP 10.0.0.5:3002, indirizzo 12\n");

  // Removing asks the list's question: No without --yes.
  EXPECT_EQ(run({"terminal", "remove", "7"}), 1);
  EXPECT_EQ(err.str(), "Il record selezionato verra` eliminato. Continuare ? -> No (senza --yes)\n"
                       "cfgctl: terminale non eliminato.\n");
  EXPECT_BYTES(config(), first + changed);
  EXPECT_EQ(run({"--yes", "terminal", "remove", "7"}), 0) << err.str();
  EXPECT_BYTES(config(), first);

  // An LX-K5 is accepted, as rows with it exist.
  EXPECT_EQ(run({"terminal", "add", "9", "--model", "LX-K5", "--address", "0", "--tcp", "192.168.1.10:3001"}), 0)
      << err.str();
  EXPECT_EQ(config().substr(208, 80), "0009" + blanks(31) + " LX-K5 000 COM1  1200 F F F" + blanks(16) + " V");
}

TEST_F(SettingsCommands, TerminalInputIsCheckedLikeTheCardAndNothingIsWrittenOnError) {
  std::string first = registryLine(test::tcpRow(12, "LX-K3", 3001, 4)) + "\r\n";
  dir.write("config.dat", first);
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string err;
  };
  const std::vector<std::string> tcp = {"--model", "LX-K1", "--tcp", "10.0.0.1:3001"};
  auto add = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.begin(), {"terminal", "add"});
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  for (const Case& c : std::vector<Case>{
           {add({"0", "--address", "1"}, tcp), 2, "Errore: codice non valido (1-9999).\n"},
           {add({"10000", "--address", "1"}, tcp), 2, "Errore: codice non valido (1-9999).\n"},
           {add({"5", "--address", "256"}, tcp), 2, "Errore: indirizzo non valido (0-255).\n"},
           {add({"5"}, tcp), 2, "Errore: indirizzo non valido (0-255).\n"},
           {add({"5", "--address", "1", "--model", "LX-Z9", "--tcp", "10.0.0.1:3001"}, {}), 2,
            "Errore: modello non valido: \"LX-Z9\" (LX-K1, LX-K3, LX-K2, LX-K4, LX-P1, LX-P2, LX-K5).\n"},
           {add({"5", "--address", "1", "--model", "LX-K1", "--port", "COM9", "--speed", "9600"}, {}), 2,
            "Errore: porta non valida: \"COM9\" (COM1 ... COM8).\n"},
           {add({"5", "--address", "1", "--model", "LX-K1", "--port", "COM1", "--speed", "5000"}, {}), 2,
            "Errore: velocita` non valida: \"5000\" (1200, 2400, 4800, 9600, 19200, 38400).\n"},
           {add({"5", "--address", "1", "--model", "LX-K1", "--tcp", "10.0.0.256:3001"}, {}), 2,
            "Errore: indirizzo TCP non valido: \"10.0.0.256:3001\" (IP:PORTA, per esempio 192.168.1.10:3001).\n"},
           {add({"5", "--address", "1", "--continuous"}, tcp), 2,
            "Errore: lo scarico continuo via modem vale solo per LX-P2 e LX-K5.\n"},
           {add({"5", "--address", "1", "--description", std::string(31, 'x')}, tcp), 2,
            "Errore: riferimento troppo lungo (al massimo 30 caratteri).\n"},
           {add({"12", "--address", "1"}, tcp), 3,
            "cfgctl: il terminale 12 e` gia` in " + shownPath(dir.path(), "config.dat") +
                ": \"terminal set\" lo modifica.\n"},
           {{"terminal", "set", "13", "--address", "2"}, 3,
            "cfgctl: il terminale 13 non e` in " + shownPath(dir.path(), "config.dat") + ".\n"},
       }) {
    EXPECT_EQ(run(c.args), c.exit) << c.args[2];
    EXPECT_EQ(err.str(), c.err);
    EXPECT_BYTES(config(), first);
  }

  // The registry holds 100 terminals.
  std::string full;
  for (unsigned n = 1; n <= 100; ++n) full += registryLine(test::tcpRow(n, "LX-K1", 3001)) + "\r\n";
  dir.write("config.dat", full);
  EXPECT_EQ(run(add({"101", "--address", "1"}, tcp)), 3);
  EXPECT_EQ(err.str(), "Spazio esaurito!\n");
  EXPECT_EQ(config(), full);
}

TEST_F(SettingsCommands, BadLinesAreReportedAndOnlyDroppedWithYes) {
  // A hand-written file: a line of the wrong length, then LF-only line ends
  // and a last line without any.
  std::string row12 = registryLine(test::tcpRow(12, "LX-K3", 3001, 4));
  std::string row14 = registryLine(test::tcpRow(14, "LX-K4", 3002, 2));
  std::string bad = "0005 Portineria\r\n";
  dir.write("config.dat", bad + row12 + "\n" + row14);
  std::string path = shownPath(dir.path(), "config.dat");

  ASSERT_EQ(run({"terminals"}), 0);
  EXPECT_EQ(err.str(), "cfgctl: " + path + ", riga 1: lunghezza 17 byte con CR LF, attesi 104, 106, 206 o 208: riga ignorata.\n");
  EXPECT_EQ(out.str().substr(0, 5) + out.str().substr(out.str().find('\n') + 1, 5), "0012 0014 ");

  EXPECT_EQ(run({"terminal", "set", "14", "--address", "3"}), 3);
  EXPECT_NE(err.str().find("le 1 righe ignorate andrebbero perse: nulla e` stato scritto (--yes salva comunque)."),
            std::string::npos)
      << err.str();
  EXPECT_EQ(config(), bad + row12 + "\n" + row14);

  ASSERT_EQ(run({"--yes", "terminal", "set", "14", "--address", "3"}), 0) << err.str();
  row14.replace(42, 3, "003");
  EXPECT_BYTES(config(), row12 + "\r\n" + row14 + "\r\n");
}

TEST_F(SettingsCommands, ArchivesShowAndSetAcqreg) {
  std::string path = shownPath(dir.path(), "acqreg.dat");
  ASSERT_EQ(run({"archives"}), 0);
  EXPECT_EQ(err.str(), "cfgctl: " + path + ": No such file or directory: valgono le impostazioni predefinite.\n");
  EXPECT_EQ(out.str(),
            "reg on  file_reg.txt\nout off file_out.txt formato=\"\"\nou2 off file_ou2.txt formato=\"\"\n"
            "prd off file_prd.txt\ncnt off file_cnt.txt\nmns off file_mns.txt\n");

  std::string copy = (dir / "copie" / "prd2.txt").string();
  ASSERT_EQ(run({"archives", "set", "prd", "on", "--copy2", copy}), 0) << err.str();
  EXPECT_EQ(out.str(), "Impostazioni degli archivi salvate in " + path + ".\n");
  ArchiveSettings expected;
  expected.prdEnabled = 1;
  expected.prdCopy2 = copy;
  EXPECT_BYTES(dir.read("acqreg.dat"), archiveSettingsBytes(expected));

  // A format must exist in format.dat; a relative or overlong copy is refused.
  std::string before = dir.read("acqreg.dat");
  EXPECT_EQ(run({"archives", "set", "out", "on", "--format", "PAGHE"}), 2);
  EXPECT_EQ(err.str(), "Errore: il formato \"PAGHE\" non e` in format.dat.\n");
  EXPECT_EQ(run({"archives", "set", "out", "on"}), 2);
  EXPECT_EQ(err.str(), "Errore: il formato \"\" non e` in format.dat: indicarne uno con --format.\n");
  EXPECT_EQ(run({"archives", "set", "prd", "on", "--format", "PAGHE"}), 2);
  EXPECT_EQ(run({"archives", "set", "prd", "on", "--copy3", "copia.txt"}), 2);
#ifdef _WIN32
  const std::string root = "C:\\";
#else
  const std::string root = "/";
#endif
  EXPECT_EQ(run({"archives", "set", "prd", "on", "--copy3", root + std::string(256 - root.size(), 'p')}), 2);
  EXPECT_EQ(err.str(), "Percorso troppo lungo: 256 caratteri, al massimo 255.\n");
  EXPECT_EQ(run({"archives", "set", "prd", "on", "--copy3", root + "copia\xE2\x9C\x93.txt"}), 2);  // a check mark
  EXPECT_EQ(err.str(), "Percorso non valido: contiene un carattere (U+2713) che non puo` essere salvato.\n");
  EXPECT_BYTES(dir.read("acqreg.dat"), before);

  dir.write("format.dat", std::string("PAGHE      Paghe") + blanks(25) + " %t%n" + blanks(60) + " E   U  \r\n");
  ASSERT_EQ(run({"archives", "set", "out", "on", "--format", "PAGHE"}), 0) << err.str();
  expected.outEnabled = 1;
  expected.outFormat = "PAGHE";
  EXPECT_BYTES(dir.read("acqreg.dat"), archiveSettingsBytes(expected));

  // Leaving production with nothing asks the dialogs' question.
  EXPECT_EQ(run({"archives", "set", "prd", "off", "--copy2", ""}), 1);
  EXPECT_EQ(err.str(), "ATTENZIONE! Le registrazioni non verranno salvate. Continuare ? -> No (senza --yes)\n"
                       "cfgctl: impostazioni non salvate.\n");
  EXPECT_BYTES(dir.read("acqreg.dat"), archiveSettingsBytes(expected));
  ASSERT_EQ(run({"--yes", "archives", "set", "prd", "off", "--copy2", ""}), 0);
  expected.prdEnabled = 0;
  expected.prdCopy2.clear();
  EXPECT_BYTES(dir.read("acqreg.dat"), archiveSettingsBytes(expected));

  // A truncated file is named with what is wrong; it is rewritten only with --yes.
  dir.write("acqreg.dat", archiveSettingsBytes(expected).substr(0, 400));
  EXPECT_EQ(run({"archives"}), 3);
  EXPECT_EQ(err.str(), "cfgctl: " + path + ": il file finisce nella riga 4 (137 byte dei 257 attesi)\n");
  EXPECT_EQ(run({"archives", "set", "reg", "on"}), 3);
  EXPECT_EQ(dir.read("acqreg.dat").size(), 400u);
}

}  // namespace
}  // namespace cfg
