// The table engine: file lines, wire data, load modes and whole round trips
// of every table through a simulated terminal.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/hex.h"
#include "link/tests/sim_line.h"
#include "tables/table_engine.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::SimLine;

std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

const TableDescriptor& table(const char* name) {
  const TableDescriptor* t = findTable(name);
  EXPECT_NE(t, nullptr) << name;
  return *t;
}

std::optional<std::string> wireOfLine(const char* name, std::string_view line) {
  auto r = table(name).parseLine(line);
  if (!r) return std::nullopt;
  return table(name).toWire(*r);
}

TEST(TableRecords, FileLinesBecomeTheWireDataTheTerminalExpects) {
  // Time bands: equal ends and 24:00 are good, 24:30 and 24:01 are not.
  EXPECT_EQ(wireOfLine("policies", "001 08:00 08:00 SSSSSNNN"), "01080008003E00");
  EXPECT_EQ(wireOfLine("policies", "255 00:00 24:00 NNNNNNSS"), "FF0000240081" "00");
  EXPECT_FALSE(wireOfLine("policies", "001 08:00 24:30 SSSSSNNN"));
  EXPECT_FALSE(wireOfLine("policies", "001 08:00 24:01 SSSSSNNN"));
  EXPECT_FALSE(wireOfLine("policies", "000 08:00 09:00 SSSSSNNN"));
  EXPECT_FALSE(wireOfLine("policies", "001 08:00 09:00 SSSSSNNX"));
  // A siren that switches on sends 81, one that switches off 80, a ring its seconds.
  EXPECT_EQ(wireOfLine("sirens", "2 07:30 SNNNNNNN ON"), "02073002" "81");
  EXPECT_EQ(wireOfLine("sirens", "2 07:30 NNNNNNSN OF"), "02073001" "80");
  EXPECT_EQ(wireOfLine("sirens", "1 12:00 SSSSSSSS 15"), "011200FF0F");
  EXPECT_FALSE(wireOfLine("sirens", "5 12:00 SSSSSSSS 15"));
  EXPECT_FALSE(wireOfLine("sirens", "1 12:00 SSSSSSSS 00"));
  EXPECT_EQ(table("sirens").fromWire("0207300281"), "2 07:30 SNNNNNNN ON");
  EXPECT_EQ(table("sirens").fromWire("0207300280"), "2 07:30 SNNNNNNN OF");
  // Justification code 12 travels as 00012 behind a "0".
  EXPECT_EQ(wireOfLine("justifications", "00012 FERIE            00"),
            "000012" + bytesToHex("FERIE           ") + "00");
  EXPECT_FALSE(wireOfLine("justifications", "00000 FERIE            00"));
  EXPECT_FALSE(wireOfLine("justifications", "  12  FERIE            00"));
  // Site codes: ten upper-case hexadecimal digits, not all zeros.
  EXPECT_EQ(padSiteCode("1F"), "000000001F");
  EXPECT_TRUE(validSiteCode("000000001F"));
  EXPECT_FALSE(validSiteCode(*padSiteCode("0")));
  EXPECT_FALSE(validSiteCode("000000001f"));
  EXPECT_EQ(wireOfLine("sites", "000000001F CANTIERE NORD   "),
            "000000001F" + bytesToHex("CANTIERE NORD   "));
  // Messages: the badge code in hexadecimal, the text blank-padded.
  EXPECT_EQ(wireOfLine("messages", "07 000001234 BUONGIORNO      "), "07000004D2" + bytesToHex("BUONGIORNO      "));
  EXPECT_FALSE(wireOfLine("messages", "07 000000000 BUONGIORNO      "));
  // Production: a display line of 300 ms, a table item of value 12.
  EXPECT_EQ(wireOfLine("production-program", "00010 PEZZI            128 008 032 001 044 000"),
            "000A" + bytesToHex("PEZZI           ") + "800820012C00");
  std::string item = *wireOfLine("production-tables", "007 000 ROSSO            12             ");
  std::string blanks;
  for (int i = 0; i < 13; ++i) blanks += "20";
  EXPECT_EQ(item.substr(36), "3132" + blanks + "00");
  // Holidays: February 29 exists, 31/04 does not.
  EXPECT_TRUE(validHoliday("29/02"));
  EXPECT_FALSE(validHoliday("31/04"));
  EXPECT_FALSE(validHoliday("00/01"));
}

class TableFiles : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file(const char* name) { return dir.path() / name; }
};

TEST_F(TableFiles, LoadModesPartialLinesOldFormsAndFailures) {
  const TableDescriptor& exits = table("exit-direction");
  std::vector<std::string> list;
  // An old 21-byte line (seven day flags) next to a new one; the last line lacks CR LF.
  writeBytes(file("a.txt"), "08:00 12:00 SSSSSNN\r\n14:00 18:00 SSSSSNNS\r\n20:00 22:00 SSS");
  ASSERT_TRUE(loadTableFile(exits, file("a.txt"), LoadMode::Replace, -1, list));
  EXPECT_EQ(list, (std::vector<std::string>{"08:00 12:00 SSSSSNNN", "14:00 18:00 SSSSSNNS"}));

  // Insert goes before the selected record and keeps the ones after it in order.
  writeBytes(file("b.txt"), "10:00 11:00 NNNNNNNS\r\n11:00 12:00 NNNNNNNS\r\n");
  ASSERT_TRUE(loadTableFile(exits, file("b.txt"), LoadMode::Insert, 1, list));
  EXPECT_EQ(list, (std::vector<std::string>{"08:00 12:00 SSSSSNNN", "10:00 11:00 NNNNNNNS", "11:00 12:00 NNNNNNNS",
                                            "14:00 18:00 SSSSSNNS"}));
  EXPECT_FALSE(loadTableFile(exits, file("b.txt"), LoadMode::Insert, 4, list));  // no such selection

  // An invalid line anywhere fails the load and leaves the list as it was.
  const auto before = list;
  writeBytes(file("c.txt"), "10:00 11:00 NNNNNNNS\r\n25:00 11:00 NNNNNNNS\r\n");
  EXPECT_FALSE(loadTableFile(exits, file("c.txt"), LoadMode::Append, -1, list));
  EXPECT_EQ(list, before);
  EXPECT_FALSE(loadTableFile(exits, file("missing.txt"), LoadMode::Replace, -1, list));
  EXPECT_EQ(list, before);

  // Appending stops at the capacity (64) without error.
  std::string many;
  for (int i = 0; i < 70; ++i) many += "06:00 07:00 SNNNNNNN\r\n";
  writeBytes(file("d.txt"), many);
  ASSERT_TRUE(loadTableFile(exits, file("d.txt"), LoadMode::Append, -1, list));
  EXPECT_EQ(list.size(), 64u);
  // Inserting into a full list adds nothing and keeps every record.
  ASSERT_TRUE(loadTableFile(exits, file("b.txt"), LoadMode::Insert, 0, list));
  EXPECT_EQ(list.size(), 64u);
  EXPECT_EQ(list.front(), before.front());

  // The program is kept in line order: line 20 loaded after line 30 comes first.
  const TableDescriptor& program = table("production-program");
  std::vector<std::string> lines;
  writeBytes(file("p.txt"), "00030 TRENTA           004 000 000 000 000 000\r\n"
                            "00020 VENTI            016 005 000 000 000 000\r\n");
  ASSERT_TRUE(loadTableFile(program, file("p.txt"), LoadMode::Replace, -1, lines));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 5), "00020");
  ASSERT_TRUE(saveTableFile(program, file("p2.txt"), lines));
  EXPECT_EQ(readBytes(file("p2.txt")), "00020 VENTI            016 005 000 000 000 000\r\n"
                                       "00030 TRENTA           004 000 000 000 000 000\r\n");
}

TableEnd runWorker(SimLine& line, std::function<TableEnd(Worker&)> body) {
  Worker worker;
  TableEnd end = TableEnd::Failed;
  runHeadless(worker, line.messages, [&](Worker& w) { end = body(w); }, 120000);
  return end;
}

struct RoundTrip {
  const char* table;
  const char* model;
  std::string file;
};

TEST(TableTransfer, EveryTableSentToTheTerminalComesBackAsTheSameFile) {
  const std::vector<RoundTrip> cases = {
      {"policies", "LX-P2", "001 08:00 08:00 SSSSSNNN\r\n255 00:00 24:00 NNNNNNSS\r\n"},
      {"sirens", "LX-K2", "1 07:30 SSSSSNNN ON\r\n2 12:00 SSSSSNNN OF\r\n4 17:45 NNNNNNNS 15\r\n"},
      {"messages", "LX-K5", "07 000001234 BUONGIORNO      \r\n99 999999999 \xC8 ORA DI PRANZO \r\n"},
      {"exit-direction", "LX-P1", "12:00 14:00 SSSSSSSS\r\n"},
      {"justifications", "HND  ", "00012 FERIE            00\r\n99999 MALATTIA         00\r\n"},
      {"holidays", "LX-K4", "01/01\r\n25/12\r\n29/02\r\n"},
      {"holidays", "LX-P1", "15/08\r\n"},
      {"sites", "HND  ", "000000001F CANTIERE NORD   \r\nFFFFFFFFFE                 \r\n"},
      {"activities", "HND  ", "ABCDEF0123 SCAVO           \r\n"},
      {"production-program", "LX-P1", "00010 PEZZI            128 008 032 001 044 000\r\n"
                                      "00020 LETTORE          004 000 000 000 000 000\r\n"},
      {"production-tables", "LX-P2", "007 000 ROSSO            12             \r\n"
                                     "254 000 BLU              ABCDEFGHIJKLMNO\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.table) + " on " + c.model);
    const TableDescriptor& t = table(c.table);
    test::TempDir dir;
    writeBytes(dir.path() / "in.txt", c.file);
    std::vector<std::string> list;
    ASSERT_TRUE(loadTableFile(t, dir.path() / "in.txt", LoadMode::Replace, -1, list));
    SimLine line(c.model);
    ASSERT_TRUE(line.opened);
    ASSERT_TRUE(tableEnabledFor(t, c.model));
    EXPECT_EQ(runWorker(line, [&](Worker& w) { return sendTable(w, line.link, line.messages, t, list, true); }),
              TableEnd::Done);
    std::vector<std::string> back{"stale"};
    line.messages.flags.showLinkErrors = false;  // unattended: the first free record ends it
    EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveTable(w, line.link, line.messages, t, back); }),
              TableEnd::Done);
    ASSERT_TRUE(saveTableFile(t, dir.path() / "out.txt", back));
    std::string got = readBytes(dir.path() / "out.txt");
    EXPECT_EQ(got, c.file) << "sent:\n" << hexDump(c.file) << "\nreceived:\n" << hexDump(got);
    EXPECT_TRUE(line.prompt.texts().empty());
  }
}

TEST(TableTransfer, HolidaysFillAllThirtyTwoWordsTwoAtATime) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  std::vector<std::string> list{"01/01", "06/01", "25/12"};
  ASSERT_EQ(runWorker(line, [&](Worker& w) {
              return sendTable(w, line.link, line.messages, tableDescriptor(TableId::Holidays), list, true);
            }),
            TableEnd::Done);
  auto sent = line.commands();
  ASSERT_EQ(sent.size(), 32u);  // no clear command, always every word
  EXPECT_EQ(sent[0], "2E47FF80" "01010106");
  EXPECT_EQ(sent[1], "2E47FF84" "12250000");
  EXPECT_EQ(sent[31], "2E47FFFC" "00000000");
}

TEST(TableTransfer, FreeRecordsStopUnattendedRunsAndAreAskedOnceOtherwise) {
  SimLine line("LX-P1");
  ASSERT_TRUE(line.opened);
  const TableDescriptor& t = table("exit-direction");
  line.terminal([](sim::SimTerminal& s) {
    s.tables["26"] = {"080012003E", "0000000000", "140018003E", "0000000000", "200021003E"};
  });
  std::vector<std::string> list;
  line.messages.flags.showLinkErrors = false;
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveTable(w, line.link, line.messages, t, list); }),
            TableEnd::Done);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_TRUE(line.prompt.texts().empty());

  line.messages.flags.showLinkErrors = true;
  line.prompt.script({Answer::Yes});
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveTable(w, line.link, line.messages, t, list); }),
            TableEnd::Done);
  EXPECT_EQ(list, (std::vector<std::string>{"08:00 12:00 SSSSSNNN", "14:00 18:00 SSSSSNNN", "20:00 21:00 SSSSSNNN"}));
  EXPECT_EQ(line.prompt.texts(), std::vector<std::string>{kEmptyRecordQuestion});
  EXPECT_EQ(line.commands().size(), 2u + 64u);  // the first run read up to index 1, the second every index

  line.prompt.clear();
  line.prompt.script({Answer::No});
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveTable(w, line.link, line.messages, t, list); }),
            TableEnd::Done);
  EXPECT_EQ(list.size(), 1u);  // what was read before the answer stays
}

TEST(TableTransfer, CapacityQuestionComesOnlyWhenTheListExceedsTheTerminal) {
  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  const TableDescriptor& t = table("policies");
  EXPECT_TRUE(confirmCapacity(t, "LX-K2", 1024, messages));
  EXPECT_TRUE(confirmCapacity(t, "LX-P2", 2048, messages));
  EXPECT_TRUE(prompt.texts().empty());
  EXPECT_FALSE(confirmCapacity(t, "LX-K2", 1025, messages));  // No is the default
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{kCapacityQuestion});
}

}  // namespace
}  // namespace cfg
