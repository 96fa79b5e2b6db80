// format.dat: the current and the two older layouts, damage, lookup.
#include <gtest/gtest.h>

#include "link/hex.h"
#include "records/formats.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::ScriptedPrompt;
using test::TempDir;

std::string pad(std::string_view text, std::size_t width) {
  std::string s(text);
  s.resize(width, ' ');
  return s;
}

AcquisitionFormat named(std::string name) {
  AcquisitionFormat f;
  f.name = std::move(name);
  return f;
}

std::string line116(std::string_view name, std::string_view tmpl = "%t;%n;%g/%m/%a;%H%M;%v",
                    std::string_view entry = "E", std::string_view exit = "U") {
  return pad(name, 10) + " " + pad("Paghe mensili", 30) + " " + pad(tmpl, 64) + " " + pad(entry, 3) +
         " " + pad(exit, 3) + "\r\n";
}
std::string line100(std::string_view name, std::string_view tmpl, std::string_view entry,
                    std::string_view exit) {
  return pad(name, 10) + " " + pad("Vecchio", 30) + " " + pad(tmpl, 48) + " " + pad(entry, 3) + " " +
         pad(exit, 3) + "\r\n";
}
std::string line96(std::string_view name, std::string_view tmpl, char entry, char exit) {
  return pad(name, 10) + " " + pad("Vecchissimo", 30) + " " + pad(tmpl, 48) + " " + entry + " " +
         exit + "\r\n";
}

class FormatFile : public ::testing::Test {
 protected:
  FileContext ctx(bool diagnostic = false) { return FileContext{dir.path(), messages, diagnostic}; }

  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  FormatList list;
};

TEST_F(FormatFile, CurrentLayoutRoundTripsByteIdentical) {
  std::string bytes = line116("PAGHE") + line116("MENSA", std::string(64, '%'), "IN", "OUT") +
                      line116("X", "", "", "");
  ASSERT_EQ(line116("A").size(), 116u);
  dir.write("format.dat", bytes);
  ASSERT_TRUE(readFormatList(ctx(), list));
  ASSERT_EQ(list.entries.size(), 3u);
  EXPECT_EQ(list.entries[0].name, "PAGHE");
  EXPECT_EQ(list.entries[0].description, "Paghe mensili");
  EXPECT_EQ(list.entries[0].outputTemplate, "%t;%n;%g/%m/%a;%H%M;%v");
  EXPECT_EQ(list.entries[0].entryText, "E");
  EXPECT_EQ(list.entries[1].outputTemplate.size(), 64u);
  EXPECT_EQ(list.entries[1].exitText, "OUT");
  EXPECT_EQ(list.entries[2].entryText, "");
  ASSERT_TRUE(writeFormatList(ctx(), list));
  std::string written = dir.read("format.dat");
  EXPECT_EQ(written, bytes) << hexDump(written.substr(0, 116));
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(FormatFile, OlderLayoutsLoadAndAreSavedInTheCurrentOne) {
  std::string tmpl48 = std::string(47, '-') + "n";
  dir.write("format.dat", line100("OLD", tmpl48, "ENT", "EXT") + line100("OLD2", "%n", "0", "1"));
  ASSERT_TRUE(readFormatList(ctx(), list));
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0].outputTemplate, tmpl48);
  EXPECT_EQ(list.entries[0].entryText, "ENT");
  EXPECT_EQ(list.entries[0].exitText, "EXT");
  ASSERT_TRUE(writeFormatList(ctx(), list));
  EXPECT_EQ(dir.read("format.dat"), line116("OLD", tmpl48, "ENT", "EXT").replace(11, 30, pad("Vecchio", 30)) +
                                        line116("OLD2", "%n", "0", "1").replace(11, 30, pad("Vecchio", 30)));

  // 96 bytes: one-character texts, taken as they are (a blank stays).
  dir.write("format.dat", line96("V96", "%t%n", 'E', ' '));
  ASSERT_TRUE(readFormatList(ctx(), list));
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].entryText, "E");
  EXPECT_EQ(list.entries[0].exitText, " ");
  EXPECT_EQ(list.entries[0].outputTemplate, "%t%n");
  EXPECT_EQ(list.entries[0].description, "Vecchissimo");
}

TEST_F(FormatFile, ReadingStopsAtTheFirstLineThatBreaksThePattern) {
  std::string broken = line116("C");
  broken[115] = ' ';
  dir.write("format.dat", line116("A") + line116("B") + broken + line116("D"));
  ASSERT_TRUE(readFormatList(ctx(), list));
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[1].name, "B");

  // Lines of another length after the first, a truncated last line.
  dir.write("format.dat", line116("A") + line100("B", "%n", "0", "1") + line116("C"));
  ASSERT_TRUE(readFormatList(ctx(), list));
  EXPECT_EQ(list.entries.size(), 1u);
  dir.write("format.dat", line116("A") + line116("B").substr(0, 80));
  ASSERT_TRUE(readFormatList(ctx(), list));
  EXPECT_EQ(list.entries.size(), 1u);
}

TEST_F(FormatFile, AnUnusableFirstLineKeepsTheOldTable) {
  list.entries.push_back(named("KEEP"));
  for (const std::string& bytes : {std::string(200, 'x'), pad("short", 50) + "\r\n",
                                   std::string(120, '\0'), std::string("\r\n")}) {
    dir.write("format.dat", bytes);
    EXPECT_FALSE(readFormatList(ctx(), list));
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(list.entries[0].name, "KEEP");
  }
  // A missing file leaves the table too, but succeeds.
  std::filesystem::remove(dir / "format.dat");
  EXPECT_TRUE(readFormatList(ctx(), list));
  EXPECT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(FormatFile, AnEmptiedListIsSavedAndReadBackEmpty) {
  list.entries.push_back(named("GONE"));
  ASSERT_TRUE(writeFormatList(ctx(), FormatList{}));
  EXPECT_EQ(dir.read("format.dat"), "");
  EXPECT_TRUE(readFormatList(ctx(), list));
  EXPECT_TRUE(list.entries.empty());
}

TEST_F(FormatFile, AtMostAHundredFormatsAreRead) {
  std::string bytes;
  for (int i = 0; i < 101; ++i) bytes += line116("F" + std::to_string(i));
  dir.write("format.dat", bytes);
  ASSERT_TRUE(readFormatList(ctx(), list));
  ASSERT_EQ(list.entries.size(), kFormatCapacity);
  EXPECT_EQ(list.entries.back().name, "F99");
}

TEST_F(FormatFile, DiagnosticModeShowsPathAndEveryFormat) {
  readFormatList(ctx(true), list);
  ASSERT_EQ(prompt.count(), 2u);
  EXPECT_EQ(prompt.shown()[1].text, "Errore: opening file " + (dir.path() / "format.dat").string());
  EXPECT_EQ(prompt.shown()[1].title, "Errore Message");
  EXPECT_EQ(prompt.shown()[1].icon, Icon::Error);

  prompt.clear();
  dir.write("format.dat", line116("PAGHE"));
  ASSERT_TRUE(readFormatList(ctx(true), list));
  ASSERT_EQ(prompt.count(), 2u);
  EXPECT_EQ(prompt.shown()[0].title, "Leggi File ...");
  EXPECT_EQ(prompt.shown()[1].title, "Info Message");
  EXPECT_EQ(prompt.shown()[1].text + "\r\n", line116("PAGHE"));
}

TEST(Formats, NewFormatsDefaultToEntry0AndExit1) {
  AcquisitionFormat f;
  EXPECT_EQ(f.entryText, "0");
  EXPECT_EQ(f.exitText, "1");
  f.name = std::string(12, 'n');  // overlong texts are cut: the line keeps its length
  f.outputTemplate = std::string(70, 't');
  EXPECT_EQ(formatLine(f).size(), 114u);
}

TEST(Formats, LookupIsExactCaseSensitiveAndTakesTheFirstMatch) {
  FormatList list;
  for (const char* name : {"paghe", "PAGHE", "MENSA", "PAGHE"}) {
    list.entries.push_back(named(name));
  }
  EXPECT_EQ(findFormat(list, "PAGHE"), 1u);
  EXPECT_EQ(findFormat(list, "paghe"), 0u);
  EXPECT_EQ(findFormat(list, "PAGH"), std::nullopt);
  EXPECT_EQ(findFormat(list, "PAGHE "), std::nullopt);
  EXPECT_EQ(findFormat(list, ""), std::nullopt);
}

}  // namespace
}  // namespace cfg
