// Archive lines and writers, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings_files.h"
#include "link/hex.h"
#include "records/append_line.h"
#include "records/archive_lines.h"
#include "records/archive_writer.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using sim::AttendanceRecord;
using sim::CanteenRecord;
using sim::ProductionRecord;
using test::ScriptedPrompt;
using test::TempDir;

LinkConfig terminal12() {
  LinkConfig l;
  l.number = 12;
  l.model = "LX-P2";
  l.address = "01";
  return l;
}

AttendanceRecord user12345(char transit = '0') {
  AttendanceRecord r;
  r.transit = transit;
  r.company = 5;
  r.user = 12345;
  r.when = {8, 3, 5, 8, 12, 0};
  r.justification = "ABC123";
  return r;
}

std::string attendance(char transit = '0') { return sim::attendanceFrame(1, user12345(transit), 0x0102); }

#define EXPECT_BYTES(actual, expected) EXPECT_EQ(actual, expected) << hexDump(actual) << "\n" << hexDump(expected)

TEST(ArchiveLines, AttendanceLineLayout) {
  std::string line = attendanceLine(attendance(), terminal12());
  EXPECT_BYTES(line, "0012 0 05 000012345 05/03/2008 08:12 ABC123\r\n");
  EXPECT_EQ(line.size(), 45u);

  LinkConfig handheld = terminal12();
  handheld.model = "HND  ";
  handheld.description = "7";
  EXPECT_EQ(attendanceLine(attendance('1'), handheld).substr(0, 7), "   7 1 ");

  // 32-bit user numbers print as files of existing installations hold them.
  AttendanceRecord big = user12345();
  big.user = 0xFFFFFFFF;
  EXPECT_EQ(attendanceLine(sim::attendanceFrame(1, big, 1), terminal12()).substr(10, 9), "-00000001");

  // A NUL among the justification bytes keeps the line whole.
  std::string withNul = attendance();
  withNul[34] = '\0';
  EXPECT_BYTES(attendanceLine(withNul, terminal12()), "0012 0 05 000012345 05/03/2008 08:12 AB 123\r\n");

  EXPECT_EQ(attendanceLine(attendance().substr(0, 42), terminal12()), "") << "short replies are not records";
}

TEST(ArchiveLines, TemplateFieldsWidthsAndEnds) {
  const std::string r = attendance();
  const LinkConfig t = terminal12();
  EXPECT_BYTES(expandTemplate("%t;%n;%g/%m/%a;%H%M;%v", r, t, "E", "U"), "0012;000012345;05/03/08;0812;E\r\n");
  EXPECT_BYTES(expandTemplate("%v", attendance('1'), t, "E", "U"), "U\r\n");
  EXPECT_BYTES(expandTemplate("%v", attendance('C'), t, "E", "U"), "C\r\n");
  EXPECT_BYTES(expandTemplate("%-4n|%4n|%20n|%0n|%6n", r, t, "E", "U"), "0000|2345|000012345|000012345|012345\r\n");
  EXPECT_BYTES(expandTemplate("%i %z %c%b%%", r, t, "E", "U"), "001 05 ABC123 %\r\n");
  EXPECT_BYTES(expandTemplate("%-2c", r, t, "ENT", "U"), "AB\r\n");
  EXPECT_BYTES(expandTemplate("%-2v", r, t, "ENT", "U"), "EN\r\n");
  // A template ending inside a field stops there.
  EXPECT_BYTES(expandTemplate("AB%", r, t, "E", "U"), "AB\r\n");
  EXPECT_BYTES(expandTemplate("AB%-3", r, t, "E", "U"), "AB\r\n");
  EXPECT_BYTES(expandTemplate("AB%-", r, t, "E", "U"), "AB\r\n");
  // An unknown letter writes nothing.
  EXPECT_BYTES(expandTemplate("[%q]", r, t, "E", "U"), "[]\r\n");
  // A huge width is bounded by the value.
  EXPECT_BYTES(expandTemplate("%99999999999999999999n", r, t, "E", "U"), "000012345\r\n");
}

TEST(ArchiveLines, ProductionAndCanteenLayouts) {
  ProductionRecord p;
  p.when = {8, 3, 5, 8, 12, 9};
  p.number = 42;
  p.eventType = 0x82;
  p.text = "LOTTO 7781";
  std::string frame = sim::productionFrame(1, p, 7);
  ASSERT_EQ(frame.size(), kProductionRecordLength);
  std::string line = productionLine(frame, terminal12());
  EXPECT_BYTES(line, "0012 05/03/2008 08:12:09 00042 82 LOTTO 7781     \r\n");
  EXPECT_EQ(line.size(), 51u);
  EXPECT_BYTES(productionItem(frame), "130 LOTTO 7781     \r\n");

  CanteenRecord c;
  c.code = 'M';
  c.user = "AB12345678";
  c.when = {8, 3, 5, 12, 30, 0};
  c.second = {8, 3, 4, 0, 0, 0};
  c.kind = '1';
  c.extra = 'Z';
  std::string cf = sim::canteenFrame(1, c, 3);
  ASSERT_EQ(cf.size(), kCanteenRecordLength);
  LinkConfig handheld = terminal12();
  handheld.model = "HND  ";
  std::string cl = canteenLine(cf, handheld);  // always the number, even for handhelds
  EXPECT_BYTES(cl,
               "0012 M 05/03/2008 12:30 AB12345678 04/03/2008 C Z "
               "00001 00002 00003 00004 00005 00006 00007 00008\r\n");
  EXPECT_EQ(cl.size(), 99u);
  c.kind = '0';
  EXPECT_EQ(canteenLine(sim::canteenFrame(1, c, 3), handheld)[46], 'P');
}

class WriterTest : public ::testing::Test {
 protected:
  ArchiveContext ctx() { return {dir.path(), live, formats, link, messages}; }
  bool attendanceOk(char transit = '0') { return writeAttendance(ctx(), attendance(transit)).ok; }

  TempDir dir;
  ArchiveSettings live;
  FormatList formats;
  LinkConfig link = terminal12();
  ScriptedPrompt prompt;
  Messages messages{prompt};
};

TEST_F(WriterTest, RegOnlyGivesExactlyOneLine) {
  EXPECT_TRUE(attendanceOk());
  EXPECT_BYTES(dir.read("file_reg.txt"), "0012 0 05 000012345 05/03/2008 08:12 ABC123\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "file_out.txt"));
}

TEST_F(WriterTest, FormattedArchivesCopiesAndTransitSet) {
  formats.entries.push_back({"PAGHE", "paghe", "E", "U", "%t;%n;%v"});
  formats.entries.push_back({"ACCESSI", "", "IN", "OUT", "%n %v"});
  live.outEnabled = 1;
  live.outFormat = "PAGHE";
  live.ou2Enabled = 1;
  live.ou2Format = "ACCESSI";
  live.regCopy2 = (dir / "copia_reg.txt").string();
  live.ou2Copy3 = (dir / "copia_ou2.txt").string();
  EXPECT_TRUE(attendanceOk('0'));
  EXPECT_TRUE(attendanceOk('2'));  // archived, but only in the fixed layout
  EXPECT_BYTES(dir.read("file_out.txt"), "0012;000012345;E\r\n");
  EXPECT_BYTES(dir.read("file_ou2.txt"), "000012345 IN\r\n");
  EXPECT_EQ(dir.read("copia_ou2.txt"), dir.read("file_ou2.txt"));
  EXPECT_EQ(dir.read("copia_reg.txt"), dir.read("file_reg.txt"));
  EXPECT_EQ(dir.read("file_reg.txt").size(), 90u);
}

TEST_F(WriterTest, Ou2WithoutOut) {
  formats.entries.push_back({"ACCESSI", "", "IN", "OUT", "%n %v"});
  live.regEnabled = 0;
  live.ou2Enabled = 1;
  live.ou2Format = "ACCESSI";
  EXPECT_TRUE(attendanceOk('1'));
  EXPECT_BYTES(dir.read("file_ou2.txt"), "000012345 OUT\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "file_reg.txt"));
}

TEST_F(WriterTest, MissingFormatKeepsTheRecordInTheTerminal) {
  formats.entries.push_back({"paghe", "", "E", "U", "%n"});  // names compare case-sensitively
  live.outEnabled = 1;
  live.outFormat = "PAGHE";
  ArchiveResult r = writeAttendance(ctx(), attendance('0'));
  EXPECT_FALSE(r);
  EXPECT_EQ(r.failure, "formato 'PAGHE' per file_out.txt non trovato nell'elenco formati");
  EXPECT_FALSE(std::filesystem::exists(dir / "file_reg.txt")) << "nothing is written for a record that fails";
  live.outFormat.clear();
  EXPECT_EQ(writeAttendance(ctx(), attendance('0')).failure, "nessun formato scelto per file_out.txt");
  EXPECT_TRUE(attendanceOk('9')) << "kinds outside the set never need the format";
  EXPECT_EQ(dir.read("file_reg.txt").size(), 45u);
}

TEST_F(WriterTest, ProductionOneLineArchive) {
  live.prdEnabled = 1;
  live.cntEnabled = 1;
  auto rec = [](std::uint8_t type, const char* text) {
    ProductionRecord p;
    p.when = {8, 3, 5, 9, 0, 1};
    p.eventType = type;
    p.text = text;
    return sim::productionFrame(1, p, 1);
  };
  for (auto [type, text] : std::initializer_list<std::pair<std::uint8_t, const char*>>{
           {0x01, "PRIMO"}, {0x02, "SECONDO"}, {0xF3, "ANNULLA"}, {0x03, "QUARTO"}})
    ASSERT_TRUE(writeProduction(ctx(), rec(type, text)));
  EXPECT_EQ(dir.read("000Ctmp.txt").size(), 4 * 21u);
  ASSERT_TRUE(writeProduction(ctx(), rec(0x84, "FINE")));
  EXPECT_BYTES(dir.read("file_cnt.txt"), "0012 05/03/2008 09:00:01 PRIMO           QUARTO         \r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "000Ctmp.txt"));
  EXPECT_EQ(dir.read("file_prd.txt").size(), 5 * 51u);

  // A closing record with nothing collected writes nothing.
  ASSERT_TRUE(writeProduction(ctx(), rec(0x84, "FINE")));
  EXPECT_EQ(dir.read("file_cnt.txt").size(), 58u);

  // 0xF4 forgets what was collected.
  ASSERT_TRUE(writeProduction(ctx(), rec(0x01, "PERSO")));
  ASSERT_TRUE(writeProduction(ctx(), rec(0xF4, "")));
  EXPECT_FALSE(std::filesystem::exists(dir / "000Ctmp.txt"));
}

TEST_F(WriterTest, OneLineArchiveTakesAtMost200Items) {
  std::string file;
  for (int i = 0; i < 205; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "001 ITEM%-11d\r\n", i);
    file += item;
  }
  auto items = collectProductionItems(file);
  ASSERT_EQ(items.size(), 200u);
  EXPECT_EQ(items.back(), "ITEM199        ");
  // A truncated last item is not read.
  EXPECT_EQ(collectProductionItems(file.substr(0, 21 * 3 + 20)).size(), 3u);
}

TEST_F(WriterTest, HandheldItemFileNameIsSafe) {
  LinkConfig h;
  h.model = "HND  ";
  h.description = "../x";
  EXPECT_EQ(itemFileName(h), ".._xtmp.txt");
  h.description = "12";
  EXPECT_EQ(itemFileName(h), "  12tmp.txt");
  EXPECT_EQ(itemFileName(terminal12()), "000Ctmp.txt");
}

TEST_F(WriterTest, FailedAppendsLeaveFilesUntouched) {
  // Another program holds the archive: the append fails at once, no message.
  ASSERT_TRUE(attendanceOk());
  int fd = ::open((dir / "file_reg.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_FALSE(attendanceOk());
  ::close(fd);
  EXPECT_EQ(dir.read("file_reg.txt").size(), 45u);

  // Copy in a folder that does not exist.
  live.regCopy2 = (dir / "missing" / "copia.txt").string();
  EXPECT_FALSE(attendanceOk());
  live.regCopy2.clear();

  // A read-only archive (unless we are root, who may write anyway).
  if (::geteuid() != 0) {
    ::chmod((dir / "file_reg.txt").c_str(), 0444);
    EXPECT_FALSE(attendanceOk());
  }
  EXPECT_EQ(prompt.count(), 0u);

  // A device is never written as an archive: refused before it is opened.
  if (std::filesystem::exists("/dev/full")) {
    std::string failure;
    EXPECT_FALSE(appendLine("/dev/full", "0012\r\n", messages, failure));
    EXPECT_EQ(failure, "/dev/full: non e` un file regolare");
    EXPECT_EQ(prompt.count(), 0u);
  }
}

// A record's lines reach every file or none: a file that cannot be opened
// stops the record before anything is written, and a write that fails takes
// back what was already appended.
TEST_F(WriterTest, ARecordIsWrittenEverywhereOrNowhere) {
  const std::string line = "0012 0 05 000012345 05/03/2008 08:12 ABC123\r\n";
  dir.write("file_reg.txt", "OLD\r\n");
  std::filesystem::create_directory(dir / "cartella");
  live.regCopy2 = (dir / "copia.txt").string();
  live.regCopy3 = (dir / "cartella").string();
  ArchiveResult r = writeAttendance(ctx(), attendance('0'));
  EXPECT_FALSE(r);
  EXPECT_EQ(r.failure, live.regCopy3 + ": " + std::strerror(EISDIR));
  EXPECT_BYTES(dir.read("file_reg.txt"), "OLD\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "copia.txt")) << "a file created for the record is removed again";
  EXPECT_EQ(prompt.count(), 0u) << "an archive that cannot be opened fails without a box";

  // The same file under two names (a copy naming the fixed archive) gets
  // both lines in one write instead of locking itself out.
  live.regCopy3 = (dir / "." / "file_reg.txt").string();
  ASSERT_TRUE(writeAttendance(ctx(), attendance('0')));
  EXPECT_BYTES(dir.read("file_reg.txt"), "OLD\r\n" + line + line);
  EXPECT_BYTES(dir.read("copia.txt"), line);

  // A write cut short (here by the file size limit) on the last file: the
  // files written before it are cut back to where they ended.
  const std::string regBefore = dir.read("file_reg.txt");
  dir.write("lunga.txt", std::string(200, 'x'));
  live.regCopy3 = (dir / "lunga.txt").string();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 210;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  r = writeAttendance(ctx(), attendance('0'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.failure, live.regCopy3 + ": scritti 10 byte su 45");
  EXPECT_BYTES(dir.read("file_reg.txt"), regBefore);
  EXPECT_BYTES(dir.read("copia.txt"), line);
  EXPECT_BYTES(dir.read("lunga.txt"), std::string(200, 'x'));
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore ArchiviaTransazione\nscritti 10 byte su 45");
  EXPECT_EQ(prompt.shown()[0].title, live.regCopy3);
}

// Copy paths are kept in Windows-1252 and opened under their UTF-8 names.
TEST_F(WriterTest, CopyPathsAreStoredIn1252AndOpenedInUtf8) {
  const std::string typed = (dir / "copia_\xC3\xA0.txt").string();  // "copia_à.txt" as typed
  ASSERT_TRUE(storeArchivePath(live.regCopy2, typed));
  EXPECT_BYTES(live.regCopy2, (dir / "copia_\xE0.txt").string());
  EXPECT_NE(archiveSettingsBytes(live).find("copia_\xE0.txt"), std::string::npos);
  ASSERT_TRUE(attendanceOk());
  EXPECT_BYTES(dir.read("copia_\xC3\xA0.txt"), dir.read("file_reg.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "copia_\xE0.txt"));

  // Refused, never cut or replaced by "?": the field keeps what it held.
  const std::string before = live.regCopy2;
  PathRefusal tooLong = storeArchivePath(live.regCopy2, "/" + std::string(299, 'p'));
  EXPECT_FALSE(tooLong);
  EXPECT_EQ(tooLong.reason, "Percorso troppo lungo: 300 caratteri, al massimo 255.");
  // 255 characters fit even when each is two bytes in UTF-8.
  std::string accents;
  for (int i = 0; i < 255; ++i) accents += "\xC3\xA0";
  EXPECT_TRUE(storeArchivePath(live.regCopy3, accents));
  EXPECT_EQ(live.regCopy3, std::string(255, '\xE0'));
  EXPECT_FALSE(storeArchivePath(live.regCopy2, accents + "a"));
  PathRefusal check = storeArchivePath(live.regCopy2, "/tmp/ok_\xE2\x9C\x93.txt");  // U+2713
  EXPECT_EQ(check.reason, "Percorso non valido: contiene un carattere (U+2713) che non puo` essere salvato.");
  EXPECT_FALSE(storeArchivePath(live.regCopy2, "/tmp/a\r\nb.txt"));
  EXPECT_FALSE(storeArchivePath(live.regCopy2, "/tmp/\xC3.txt"));  // cut sequence
  EXPECT_FALSE(storeArchivePath(live.regCopy2, "/tmp/\xC1\x81.txt"));  // "A" overlong: another name
  EXPECT_EQ(live.regCopy2, before);
  EXPECT_TRUE(storeArchivePath(live.regCopy2, "\xE2\x82\xAC"));  // the euro sign is 0x80
  EXPECT_EQ(live.regCopy2, "\x80");
}

// The one-line archive reads the item file only as far as the 200 items a
// line can hold: a huge file behind them is never read.
TEST_F(WriterTest, ItemFileIsReadOnlyAsFarAsItsItems) {
  live.cntEnabled = 1;
  std::string items, expected = "0012 05/03/2008 09:00:01";
  for (int i = 0; i < 201; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%03d ITEM%-11d\r\n", i == 1 ? 243 : 1, i);  // the second cancels the first
    items += item;
    if (i >= 2) {
      std::snprintf(item, sizeof item, " ITEM%-11d", i);
      expected += item;
    }
  }
  expected += " ITEM201        \r\n";
  items += "001 ITEM201        \r\n";
  dir.write("000Ctmp.txt", items);
  // 4 GiB more behind the items (sparse: no disk space taken).
  ASSERT_EQ(::truncate((dir / "000Ctmp.txt").c_str(), 4LL << 30), 0);
  ProductionRecord closing;
  closing.when = {8, 3, 5, 9, 0, 1};
  closing.eventType = 0x84;
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(writeProduction(ctx(), sim::productionFrame(1, closing, 1)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_BYTES(dir.read("file_cnt.txt"), expected);
  EXPECT_FALSE(std::filesystem::exists(dir / "000Ctmp.txt"));
}

}  // namespace
}  // namespace cfg
