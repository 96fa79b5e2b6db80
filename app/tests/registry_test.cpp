// config.dat: line layout, the four line lengths, damaged files, the Link.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/registry.h"
#include "link/hex.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::ScriptedPrompt;
using test::TempDir;

std::string blanks(std::size_t n) { return std::string(n, ' '); }

// A 208-byte line as an existing installation writes it.
std::string fullLine(std::string_view number, std::string_view model, std::string_view tail = "0") {
  return std::string(number) + " Ingresso principale" + blanks(11) + " " + std::string(model) +
         " 001 COM1  9600 V F F " + blanks(15) + " V 192.168.001.010 03001 F AT&F" + blanks(95) +
         " " + std::string(tail) + "\r\n";
}

class RegistryFile : public ::testing::Test {
 protected:
  FileContext ctx(bool diagnostic = false) { return FileContext{dir.path(), messages, diagnostic}; }
  Registry load(bool diagnostic = false) {
    Registry r;
    loadRegistry(ctx(diagnostic), r);
    return r;
  }

  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages{prompt};
};

TEST(RegistryLine, WritesEveryFieldAtItsColumn) {
  TerminalRecord r;
  r.number = 12;
  r.description = "Ingresso principale";
  r.model = "LX-K1";
  r.address = 1;
  r.port = "COM1";
  r.speed = " 9600";
  r.rs485 = true;
  r.tcp = true;
  r.ip = 192u << 24 | 168u << 16 | 1u << 8 | 10u;
  r.tcpPort = 3001;
  r.modemInit = "AT&F";
  std::string expected = fullLine("0012", "LX-K1");
  std::string got = registryLine(r) + "\r\n";
  EXPECT_EQ(got, expected) << hexDump(got);
  ASSERT_EQ(got.size(), 208u);
  EXPECT_EQ(got.substr(81, 15), "192.168.001.010");
  EXPECT_EQ(got.substr(51, 5), " 9600");

  // Overlong texts are cut to their columns: the line keeps its length.
  r.description = std::string(40, 'x');
  r.modemInit = std::string(120, 'y');
  r.number = 65535;
  r.address = 4000;
  EXPECT_EQ(registryLine(r).size(), 206u);
}

TEST_F(RegistryFile, ValidFileIsWrittenBackByteIdentical) {
  std::string line2 = fullLine("0007", "LX-P2", "1");
  line2[103] = 'V';  // continuous modem download
  line2[59] = 'V';   // echo
  std::string bytes = fullLine("0012", "LX-K1") + line2 + fullLine("0003", "LX-K5");
  dir.write("config.dat", bytes);
  Registry r = load();
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[0].speed, " 9600");
  EXPECT_EQ(r.rows[0].ip, 0xC0A8010Au);
  EXPECT_EQ(r.rows[0].description, "Ingresso principale");
  EXPECT_EQ(r.rows[0].modemInit, "AT&F");
  EXPECT_TRUE(r.rows[1].continuousModemDownload);
  EXPECT_TRUE(r.rows[1].echo);
  EXPECT_EQ(r.rows[1].modemType, 1);
  ASSERT_TRUE(saveRegistry(ctx(), r));
  EXPECT_EQ(dir.read("config.dat"), bytes) << hexDump(dir.read("config.dat"));
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(RegistryFile, OlderShortLinesMixWithFullOnesAndLackTheirLastFields) {
  std::string full = fullLine("0001", "LX-K1", "1");
  full[103] = 'V';
  std::string l104 = full.substr(0, 102) + "\r\n";
  std::string l106 = full.substr(0, 104) + "\r\n";
  std::string l206 = full.substr(0, 204) + "\r\n";
  dir.write("config.dat", l106 + full + l104 + l206);
  Registry r = load();
  ASSERT_EQ(r.rows.size(), 4u);
  EXPECT_TRUE(r.rows[0].continuousModemDownload);
  EXPECT_EQ(r.rows[0].modemInit, "");
  EXPECT_EQ(r.rows[1].modemType, 1);
  EXPECT_EQ(r.rows[1].modemInit, "AT&F");
  EXPECT_FALSE(r.rows[2].continuousModemDownload);
  EXPECT_EQ(r.rows[2].tcpPort, 3001);
  EXPECT_EQ(r.rows[3].modemInit, "AT&F");
  EXPECT_EQ(r.rows[3].modemType, 0);
  for (const auto& row : r.rows) EXPECT_EQ(row.ip, 0xC0A8010Au);

  // The next save writes every row in the full layout.
  ASSERT_TRUE(saveRegistry(ctx(), r));
  std::string saved = dir.read("config.dat");
  ASSERT_EQ(saved.size(), 4 * 208u);
  std::string expected = l104.substr(0, 102) + " F " + blanks(99) + " 0\r\n";
  EXPECT_EQ(saved.substr(2 * 208, 208), expected) << hexDump(saved.substr(416, 208));
}

TEST_F(RegistryFile, RowsOfUnknownModelsVanishAndTheNextLineTakesTheirPlace) {
  dir.write("config.dat", fullLine("0001", "LX-K1") + fullLine("0002", "HND  ") +
                              fullLine("0003", "     ") + fullLine("0004", "lx-k1") +
                              fullLine("0005", "LX-P1"));
  Registry r = load();
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0].number, 1);
  EXPECT_EQ(r.rows[1].number, 5);
  ASSERT_TRUE(saveRegistry(ctx(), r));
  EXPECT_EQ(dir.read("config.dat"), fullLine("0001", "LX-K1") + fullLine("0005", "LX-P1"));
}

TEST_F(RegistryFile, TheHundredAndFirstRowIsIgnored) {
  std::string bytes;
  for (int i = 1; i <= 101; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", i);
    bytes += fullLine(number, "LX-K2");
  }
  dir.write("config.dat", bytes);
  Registry r = load();
  ASSERT_EQ(r.rows.size(), kRegistryCapacity);
  EXPECT_EQ(r.rows.back().number, 100);
}

TEST_F(RegistryFile, DamagedLinesAreLeftOutReportedAndReadingGoesOn) {
  std::string good = fullLine("0001", "LX-K1");
  // A line whose final pair is not CR LF is one line of the wrong length:
  // the good line after it is read. A truncated line, or garbage without a
  // line end, runs into the next line and takes it along. Empty lines hold
  // nothing and are no damage.
  std::string noCrLf = fullLine("0002", "LX-K1");
  noCrLf[206] = 'X';
  struct Case {
    std::string tail;
    std::size_t rows;
    std::string badLine;
  };
  for (const Case& c : {Case{noCrLf, 2, "riga 2: lunghezza 209 byte con CR LF, attesi 104, 106, 206 o 208"},
                        Case{good.substr(0, 150), 1, "riga 2: lunghezza 358 byte con CR LF, attesi 104, 106, 206 o 208"},
                        Case{std::string(500, '\xFF'), 1, "riga 2: lunghezza 708 byte con CR LF, attesi 104, 106, 206 o 208"},
                        Case{std::string(3, '\0'), 1, "riga 2: lunghezza 211 byte con CR LF, attesi 104, 106, 206 o 208"},
                        Case{std::string("\r\n\r\n\n"), 2, ""}}) {
    dir.write("config.dat", good + c.tail + good);
    Registry r;
    FileReport report = loadRegistry(ctx(), r);
    EXPECT_TRUE(report.read());
    EXPECT_EQ(r.rows.size(), c.rows) << hexDump(c.tail.substr(0, 16));
    EXPECT_EQ(report.badLines, c.badLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.badLine});
  }
  // Diagnostic mode shows each line left out, with the file's path.
  dir.write("config.dat", fullLine("0001", "HND  ") + good);
  prompt.clear();
  Registry r;
  loadRegistry(ctx(true), r);
  ASSERT_EQ(r.rows.size(), 1u);
  std::string shown = shownPath(dir.path(), "config.dat") + ", riga 1: modello \"HND  \" sconosciuto: riga ignorata.";
  auto texts = prompt.texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), shown), texts.end()) << shown;

  // Non-numeric and out-of-range columns convert without harm and are
  // written back in their widths.
  std::string odd = good;
  odd.replace(0, 4, "ab12");
  odd.replace(42, 3, "-99");
  odd.replace(81, 3, "999");
  odd.replace(97, 5, "99999");
  dir.write("config.dat", odd);
  r = load();
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].number, 0);
  EXPECT_EQ(r.rows[0].address, 0);
  EXPECT_EQ(r.rows[0].ip >> 24, 255u);
  EXPECT_EQ(r.rows[0].tcpPort, 65535);
  EXPECT_EQ(registryLine(r.rows[0]).size(), 206u);
}

TEST_F(RegistryFile, LfOnlyLinesAndAMissingLastLineEndAreReadAndSavedWithCrLf) {
  std::string full = fullLine("0012", "LX-K1");
  std::string old = full.substr(0, 102);  // the 104-byte layout, without its CR LF
  old.replace(0, 4, "0007");
  dir.write("config.dat", full.substr(0, 206) + "\n" + old + "\n" + fullLine("0003", "LX-K4").substr(0, 206));
  Registry r;
  FileReport report = loadRegistry(ctx(), r);
  EXPECT_TRUE(report.read());
  EXPECT_TRUE(report.badLines.empty());
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(r.rows[1].number, 7);
  EXPECT_EQ(r.rows[1].tcpPort, 3001);
  EXPECT_EQ(r.rows[1].modemInit, "");
  ASSERT_TRUE(saveRegistry(ctx(), r));
  std::string expectedOld = old + " F" + blanks(100) + " 0\r\n";
  std::string saved = dir.read("config.dat");
  EXPECT_EQ(saved, full + expectedOld + fullLine("0003", "LX-K4")) << hexDump(saved.substr(208, 208));
}

TEST_F(RegistryFile, MissingFileIsAnEmptyRegistryShownOnlyInDiagnosticMode) {
  Registry r = load();
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(prompt.count(), 0u);

  load(true);
  auto shown = prompt.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, "Leggi File ...");
  EXPECT_EQ(shown[0].text, (dir.path() / "config.dat").string());
  EXPECT_EQ(shown[1].title, "Errore Message");
  EXPECT_EQ(shown[1].text, "Errore: opening file " + (dir.path() / "config.dat").string());

  prompt.clear();
  dir.write("config.dat", fullLine("0012", "LX-K1"));
  load(true);
  ASSERT_EQ(prompt.count(), 2u);
  EXPECT_EQ(prompt.shown()[1].title, "Info Message");
  EXPECT_EQ(prompt.shown()[1].text + "\r\n", fullLine("0012", "LX-K1"));
}

TEST_F(RegistryFile, SavingAnEmptyRegistryEmptiesTheFile) {
  dir.write("config.dat", fullLine("0012", "LX-K1"));
  ASSERT_TRUE(saveRegistry(ctx(), Registry{}));
  EXPECT_TRUE(std::filesystem::exists(dir / "config.dat"));
  EXPECT_EQ(dir.read("config.dat"), "");
}

TEST_F(RegistryFile, AFailedSaveIsReportedAndLeavesNoTemporaryBehind) {
  std::filesystem::create_directory(dir / "config.dat");  // cannot be replaced by a file
  Registry r;
  r.rows.emplace_back();
  r.rows.back().model = "LX-K1";
  EXPECT_FALSE(saveRegistry(ctx(), r));
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].title, "Error Message");
  EXPECT_EQ(prompt.shown()[0].text,
            "Errore: scrittura file " + (dir.path() / "config.dat").string() + " non riuscita.");
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(Registry, SortsByNumber) {
  Registry r;
  for (std::uint16_t n : {30, 4, 17, 4, 1}) r.rows.emplace_back().number = n;
  sortRegistryByNumber(r);
  std::vector<std::uint16_t> numbers;
  for (const auto& row : r.rows) numbers.push_back(row.number);
  EXPECT_EQ(numbers, (std::vector<std::uint16_t>{1, 4, 4, 17, 30}));
}

TEST(RegistryLink, RowFillsTheLinkAndClearsWhatAHandheldLeft) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Registry r;
  TerminalRecord row = parseRegistryLine(fullLine("0012", "LX-P2", "1"));
  row.address = 10;
  row.continuousModemDownload = true;
  row.modem = true;
  row.phoneNumber = "0301234567";
  r.rows.push_back(row);

  LinkConfig link;
  link.usb = true;  // a handheld connected before
  link.bluetooth = BluetoothKind::SystemStack;
  ASSERT_TRUE(fillLinkFromRow(r, 0, link, messages));
  EXPECT_EQ(link.number, 12);
  EXPECT_EQ(link.model, "LX-P2");
  EXPECT_EQ(link.address, "0A");
  EXPECT_EQ(link.portName, "COM1");
  EXPECT_EQ(link.speed, 9600u);
  EXPECT_TRUE(link.rs485);
  EXPECT_TRUE(link.tcp);
  EXPECT_TRUE(link.modem);
  EXPECT_TRUE(link.continuousModemDownload);
  EXPECT_EQ(link.modemType, 1);
  EXPECT_EQ(link.modemInit, "AT&F");
  EXPECT_EQ(link.phoneNumber, "0301234567");
  EXPECT_EQ(ipv4Octets(link.ipNetworkOrder), (std::array<std::uint8_t, 4>{192, 168, 1, 10}));
  EXPECT_EQ(link.tcpPort, 3001);
  EXPECT_FALSE(link.usb);
  EXPECT_EQ(link.bluetooth, BluetoothKind::None);
  EXPECT_EQ(linkKindOf(link), LinkKind::Tcp);

  r.rows[0].address = 255;
  r.rows[0].speed = "19200";
  ASSERT_TRUE(fillLinkFromRow(r, 0, link, messages));
  EXPECT_EQ(link.address, "FF");
  EXPECT_EQ(link.speed, 19200u);
  EXPECT_EQ(prompt.count(), 0u);

  EXPECT_FALSE(fillLinkFromRow(r, 1, link, messages));
}

TEST(RegistryLink, AnAddressAbove255CannotBeConnected) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  TerminalRecord row = parseRegistryLine(fullLine("0012", "LX-K1"));
  row.address = 256;
  LinkConfig link;
  link.address = "07";
  EXPECT_FALSE(fillLinkFromRecord(row, link, messages));
  EXPECT_EQ(link.address, "07");
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].text, "Errore: indirizzo non valido (0-255).");
  EXPECT_EQ(prompt.shown()[0].title, "Error Message");
}

TEST(RegistryLink, DeskReaderStartsOnCom1At9600) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  TerminalRecord desk = deskReaderDefaults();
  EXPECT_EQ(desk.number, 0);
  EXPECT_EQ(desk.ip, 0u);
  LinkConfig link;
  ASSERT_TRUE(fillLinkFromRecord(desk, link, messages));
  EXPECT_EQ(link.portName, "COM1");
  EXPECT_EQ(link.speed, 9600u);
  EXPECT_EQ(link.tcpPort, 3000);
  EXPECT_EQ(link.address, "00");
  EXPECT_FALSE(link.tcp || link.rs485 || link.echo || link.modem);
}

}  // namespace
}  // namespace cfg
