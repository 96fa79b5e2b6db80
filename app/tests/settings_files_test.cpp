// acqreg.dat / recent.dat, password.txt, the marker files and the loading
// sequence.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/loading.h"
#include "app/settings_files.h"
#include "link/hex.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::ScriptedPrompt;
using test::TempDir;

std::string pathLine(std::string_view text) {
  std::string s(text);
  s.resize(255, ' ');
  return s + "\r\n";
}

ArchiveSettings sample() {
  ArchiveSettings s;
  s.regEnabled = 1;
  s.regCopy2 = "/srv/copie/reg2.txt";
  s.outEnabled = 1;
  s.outFormat = "PAGHE";
  s.outCopy3 = "/srv/copie/out3.txt";
  s.ou2Enabled = 0;
  s.ou2Format = "MENSA";
  s.prdEnabled = 1;
  s.cntCopy2 = std::string(255, 'c');
  s.mnsEnabled = 1;
  s.mnsCopy3 = "/srv/mns3.txt";
  return s;
}

// The 19 lines of sample(), as every installation writes them.
std::string sampleBytes() {
  return "0\r\n1\r\n" + pathLine("/srv/copie/reg2.txt") + pathLine("") + "1 PAGHE     \r\n" +
         pathLine("") + pathLine("/srv/copie/out3.txt") + "0 MENSA     \r\n" + pathLine("") +
         pathLine("") + "1\r\n" + pathLine("") + pathLine("") + "0\r\n" +
         pathLine(std::string(255, 'c')) + pathLine("") + "1\r\n" + pathLine("") +
         pathLine("/srv/mns3.txt");
}

// The older layouts: without line 1, and without lines 8-10.
std::string withoutFirstLine(const std::string& full) { return full.substr(3); }
std::string withoutOu2Lines(const std::string& full) {
  std::size_t ou2 = full.size() - (3 * 3 + 6 * 257) - (14 + 2 * 257);
  return full.substr(0, ou2) + full.substr(ou2 + 14 + 2 * 257);
}

class SettingsFiles : public ::testing::Test {
 protected:
  SettingsFiles() { state.workingDirectory = dir.path(); }
  std::string path(std::string_view name) { return (dir.path() / name).string(); }

  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
};

TEST_F(SettingsFiles, ArchiveSettingsAreWrittenAsNineteenFixedLines) {
  std::string bytes = archiveSettingsBytes(sample());
  EXPECT_EQ(bytes.size(), 5 * 3 + 12 * 257 + 2 * 14u);
  EXPECT_EQ(bytes, sampleBytes()) << hexDump(bytes.substr(0, 64));

  state.archive = sample();
  state.recent.regEnabled = 0;
  ASSERT_TRUE(writeArchiveSettings(state, messages));
  ASSERT_TRUE(writeRecentSettings(state, messages));
  EXPECT_EQ(dir.read("acqreg.dat"), sampleBytes());
  EXPECT_EQ(dir.read("recent.dat").substr(0, 6), "0\r\n0\r\n");
}

TEST_F(SettingsFiles, ReadingCopiesTheFileIntoTargetAndLive) {
  dir.write("acqreg.dat", sampleBytes());
  ASSERT_TRUE(readArchiveSettings(state, messages));
  EXPECT_EQ(state.archive, sample());
  EXPECT_EQ(state.live, sample());
  EXPECT_EQ(prompt.count(), 0u);
  ASSERT_TRUE(writeArchiveSettings(state, messages));
  EXPECT_EQ(dir.read("acqreg.dat"), sampleBytes());
}

TEST_F(SettingsFiles, OlderFileWithoutFirstLine) {
  std::string old = withoutFirstLine(sampleBytes());
  old[0] = '0';  // the file's reg enabled
  dir.write("acqreg.dat", old);
  dir.write("recent.dat", old);

  // acqreg.dat does not take that line: reg enabled stays what live held.
  ASSERT_TRUE(readArchiveSettings(state, messages));
  EXPECT_EQ(state.archive.regEnabled, 1);
  EXPECT_EQ(state.archive.mnsCopy3, "/srv/mns3.txt");
  // recent.dat does.
  ASSERT_TRUE(readRecentSettings(state, messages));
  EXPECT_EQ(state.recent.regEnabled, 0);
  EXPECT_EQ(state.recent.outFormat, "PAGHE");

  // The next save writes the current layout.
  ASSERT_TRUE(writeArchiveSettings(state, messages));
  EXPECT_EQ(dir.read("acqreg.dat"), sampleBytes());
}

TEST_F(SettingsFiles, OlderFileWithoutOu2LinesKeepsTheOu2Values) {
  dir.write("recent.dat", withoutOu2Lines(sampleBytes()));
  state.live.ou2Enabled = 1;
  state.live.ou2Format = "OLD";
  state.live.ou2Copy2 = "/x";
  ASSERT_TRUE(readRecentSettings(state, messages));
  EXPECT_EQ(state.recent.ou2Enabled, 1);
  EXPECT_EQ(state.recent.ou2Format, "OLD");
  EXPECT_EQ(state.recent.ou2Copy2, "/x");
  EXPECT_EQ(state.recent.mnsCopy3, "/srv/mns3.txt");
  EXPECT_EQ(state.recent.cntCopy2, std::string(255, 'c'));

  // Both older layouts at once.
  ProcessState fresh;
  fresh.workingDirectory = dir.path();
  dir.write("recent.dat", withoutOu2Lines(withoutFirstLine(sampleBytes())));
  ASSERT_TRUE(readRecentSettings(fresh, messages));
  EXPECT_EQ(fresh.recent.prdEnabled, 1);
  EXPECT_EQ(fresh.recent.ou2Format, "");
  ASSERT_TRUE(writeRecentSettings(fresh, messages));
  EXPECT_EQ(dir.read("recent.dat").size(), sampleBytes().size());
}

TEST_F(SettingsFiles, BrokenFileLeavesTargetAtDefaultsAndIsReportedForAcqreg) {
  std::string full = sampleBytes();
  state.archive.regEnabled = 0;  // must come back to the defaults
  dir.write("acqreg.dat", full.substr(0, full.size() - 1));  // last LF missing
  EXPECT_FALSE(readArchiveSettings(state, messages));
  EXPECT_EQ(state.archive, ArchiveSettings{});
  EXPECT_EQ(state.live.outFormat, "PAGHE");  // live keeps what was read
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].text, "Attenzione: lettura file " + path("acqreg.dat") + " non riuscita.");
  EXPECT_EQ(prompt.shown()[0].title, "Warning Message");
  EXPECT_EQ(prompt.shown()[0].icon, Icon::Warning);

  // Missing is reported as well; recent.dat never is.
  prompt.clear();
  std::filesystem::remove(dir / "acqreg.dat");
  EXPECT_FALSE(readArchiveSettings(state, messages));
  EXPECT_FALSE(readRecentSettings(state, messages));
  EXPECT_EQ(prompt.count(), 1u);

  // Unattended start-ups never wait on the box.
  prompt.clear();
  state.batchOnStart = true;
  EXPECT_FALSE(readArchiveSettings(state, messages));
  state.batchOnStart = false;
  state.autoSchedule = true;
  EXPECT_FALSE(readArchiveSettings(state, messages));
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(SettingsFiles, ReportTellsMissingFromUnreadableAndWhereTheDamageIs) {
  state.batchOnStart = true;
  FileReport report;
  EXPECT_FALSE(readArchiveSettings(state, messages, &report));
  EXPECT_EQ(report.outcome, FileReport::Outcome::Missing);
  EXPECT_EQ(report.problem(), path("acqreg.dat") + ": No such file or directory");

  std::string full = sampleBytes();
  struct Case {
    std::string bytes;
    std::string reason;
  };
  std::string badFormatLine = full;
  badFormatLine[3 + 3 + 2 * 257 + 12] = 'x';  // line 5 ends "x\n"
  for (const Case& c : {Case{full.substr(0, full.size() - 1), "il file finisce nella riga 19 (256 byte dei 257 attesi)"},
                        Case{full.substr(0, 6), "il file finisce prima della riga 3"},
                        Case{badFormatLine, "riga 5: attesi 12 caratteri seguiti da CR LF"},
                        Case{withoutFirstLine(full).substr(0, 400), "il file finisce nella riga 3 (140 byte dei 257 attesi)"}}) {
    dir.write("acqreg.dat", c.bytes);
    EXPECT_FALSE(readArchiveSettings(state, messages, &report));
    EXPECT_EQ(report.outcome, FileReport::Outcome::Unreadable);
    EXPECT_EQ(report.reason, c.reason) << hexDump(c.bytes.substr(0, 8));
  }
  dir.write("acqreg.dat", full);
  EXPECT_TRUE(readArchiveSettings(state, messages, &report));
  EXPECT_TRUE(report.read());

  // A folder in the file's place opens but cannot be read.
  std::filesystem::remove(dir / "recent.dat");
  std::filesystem::create_directory(dir / "recent.dat");
  EXPECT_FALSE(readRecentSettings(state, messages, &report));
#ifdef _WIN32
  EXPECT_EQ(report.problem(), path("recent.dat") + ": Permission denied");  // what Windows says of a folder
#else
  EXPECT_EQ(report.problem(), path("recent.dat") + ": Is a directory");
#endif

  // Diagnostic mode shows the reason in a box.
  prompt.clear();
  state.diagnostic = true;
  dir.write("acqreg.dat", full.substr(0, 6));
  readArchiveSettings(state, messages, &report);
  auto texts = prompt.texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), path("acqreg.dat") + ": il file finisce prima della riga 3"),
            texts.end());
}

TEST_F(SettingsFiles, GarbageNeverReadsAsComplete) {
  std::string full = sampleBytes();
  for (const std::string& bytes :
       {std::string(), std::string("1"), std::string(4000, '\0'), std::string(4000, '\r'),
        std::string("1\r\n1\r\n") + std::string(300, 'x'), full.substr(0, 3000),
        full.substr(0, 262) + "X" + full.substr(263)}) {
    ArchiveSettings live;
    MemorySource source(bytes);
    EXPECT_FALSE(parseArchiveSettings(source, ArchiveFile::Recent, live)) << hexDump(bytes.substr(0, 8));
  }
  // Overlong numbers and odd flags do not overflow and still write as one digit.
  ArchiveSettings live;
  std::string odd = "99999999999999999999\r\n" + full;
  std::string sevenFlag = full.substr(0, 3) + "7\r\n" + full.substr(6);  // the source only views it
  MemorySource source(sevenFlag);
  ASSERT_TRUE(parseArchiveSettings(source, ArchiveFile::Recent, live));
  EXPECT_EQ(live.regEnabled, 7);
  live.regEnabled = 200;
  EXPECT_EQ(archiveSettingsBytes(live).size(), full.size());
  MemorySource longNumber(odd);
  EXPECT_FALSE(parseArchiveSettings(longNumber, ArchiveFile::Recent, live));
}

TEST_F(SettingsFiles, DiagnosticModeShowsWhatWasRead) {
  state.diagnostic = true;
  dir.write("recent.dat", sampleBytes());
  dir.write("enabdump.dat", "");
  ASSERT_TRUE(readRecentSettings(state, messages));
  std::vector<std::string> texts = prompt.texts();
  std::vector<std::string> expected = {
      path("enabdump.dat"),
      path("resdeflt.dat"),
      "File " + path("resdeflt.dat") + " non trovato.",
      path("recent.dat"),
      "acq: 0",
      "reg: 1 '/srv/copie/reg2.txt' ''",
      "out: 1 'PAGHE' '' '/srv/copie/out3.txt'",
      "ou2: 0 'MENSA' '' ''",
      "prd: 1 '' ''",
      "cnt: 0 '" + std::string(255, 'c') + "' ''",
      "mns: 1 '' '/srv/mns3.txt'",
  };
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(prompt.shown()[0].title, "Leggi File ...");
  EXPECT_EQ(prompt.shown()[2].title, "Info Message");

  // acqreg.dat shows no "acq" line.
  prompt.clear();
  dir.write("acqreg.dat", sampleBytes());
  ASSERT_TRUE(readArchiveSettings(state, messages));
  EXPECT_EQ(prompt.texts()[4], "reg: 1 '/srv/copie/reg2.txt' ''");
}

TEST_F(SettingsFiles, MarkerFilesOnlyEverSetTheirFlags) {
  dir.write("enabdump.dat", "");
  testMarkerFiles(state, messages);
  EXPECT_TRUE(state.expertFunctions);
  EXPECT_FALSE(state.resetToDefault);
  dir.write("resdeflt.dat", "anything");
  std::filesystem::remove(dir / "enabdump.dat");
  testMarkerFiles(state, messages);
  EXPECT_TRUE(state.expertFunctions);
  EXPECT_TRUE(state.resetToDefault);
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(SettingsFiles, PasswordNeedsEightCharactersAndCrLf) {
  struct Case {
    std::string bytes;
    std::string password;
  } cases[] = {
      {"12345678\r\n", "12345678"},
      {"12345678\r\nmore lines\r\n", "12345678"},
      {"ab cd   \r\n", "ab cd   "},
      {"1234567\r\n", kDefaultPlantPassword},
      {"123456789\r\n", kDefaultPlantPassword},
      {"12345678\n", kDefaultPlantPassword},
      {"12345678", kDefaultPlantPassword},
      {"", kDefaultPlantPassword},
  };
  for (const Case& c : cases) {
    dir.write("password.txt", c.bytes);
    state.plantPassword = "previous";
    readPlantPassword(state, messages);
    EXPECT_EQ(state.plantPassword, c.password) << c.bytes;
  }
  std::filesystem::remove(dir / "password.txt");
  state.plantPassword = "previous";
  readPlantPassword(state, messages);
  EXPECT_EQ(state.plantPassword, "58203716");
  EXPECT_EQ(prompt.count(), 0u);

  state.plantPassword = "4711";
  ASSERT_TRUE(writePlantPassword(state, messages));
  EXPECT_EQ(dir.read("password.txt"), "4711    \r\n");
  state.plantPassword = "87654321";
  ASSERT_TRUE(writePlantPassword(state, messages));
  readPlantPassword(state, messages);
  EXPECT_EQ(state.plantPassword, "87654321");
  EXPECT_EQ(dir.read("password.txt"), "87654321\r\n");
}

TEST_F(SettingsFiles, FailedWritesAreReportedAndReturnFalse) {
  state.workingDirectory = dir.path() / "missing";
  EXPECT_FALSE(writePlantPassword(state, messages));
  EXPECT_FALSE(writeArchiveSettings(state, messages));
  EXPECT_FALSE(writeRecentSettings(state, messages));
  ASSERT_EQ(prompt.count(), 3u);
  EXPECT_EQ(prompt.shown()[1].text, "Errore: scrittura file " +
                                        (dir.path() / "missing" / "acqreg.dat").string() +
                                        " non riuscita.");
  EXPECT_EQ(prompt.shown()[1].title, "Error Message");
}

TEST(ArchivePaths, LongerThan255BytesAreRefused) {
  std::string field = "old";
  EXPECT_FALSE(storeArchivePath(field, std::string(256, 'p')));
  EXPECT_EQ(field, "old");
  EXPECT_TRUE(storeArchivePath(field, std::string(255, 'p')));
  EXPECT_EQ(field.size(), 255u);
}

TEST_F(SettingsFiles, LoadingSequenceRunsEveryStepEvenAfterABrokenFormatFile) {
  dir.write("format.dat", std::string(50, 'x') + "\r\n");  // unusable first line
  dir.write("acqreg.dat", sampleBytes());
  std::string recent = sampleBytes();
  recent[3] = '0';  // recent: reg off
  dir.write("recent.dat", recent);
  dir.write("resdeflt.dat", "");
  dir.write("password.txt", "11223344\r\n");
  bool activities = false;
  runLoadingSequence(state, messages, [&] { activities = true; });
  EXPECT_TRUE(activities);
  EXPECT_EQ(state.plantPassword, "11223344");
  EXPECT_EQ(state.archive, sample());
  EXPECT_EQ(state.recent.regEnabled, 0);
  EXPECT_EQ(state.live, state.recent);  // live ends up holding the recent choice
  EXPECT_TRUE(state.resetToDefault);
  EXPECT_TRUE(state.formats.entries.empty());
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(SettingsFiles, WorkingDirectoryIsTheCurrentDirectory) {
  auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  state.diagnostic = true;
  state.deskReader.port = "COM7";
  EXPECT_TRUE(takeWorkingDirectory(state, messages));
  std::filesystem::current_path(saved);
  EXPECT_EQ(state.workingDirectory, std::filesystem::canonical(dir.path()));
  EXPECT_EQ(state.deskReader, deskReaderDefaults());
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].title, "szCurrentDirectory");
}

}  // namespace
}  // namespace cfg
