// Batch runs end to end against termsim's handhelds: batch files in both
// layouts, the searches, every log line, the archives byte for byte, the
// tables and clocks the handhelds end up with, and a run cancelled half way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "automation/batch_executor.h"
#include "automation/batch_file.h"
#include "link/bt_system.h"
#include "link/hex.h"
#include "link/hid_device.h"
#include "records/archive_lines.h"
#include "sim/sim_bt.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";
const sim::Stamp kDay{26, 12, 1, 8, 0, 0};

// The log with each start and end stamp checked and replaced by "<stamp>".
std::vector<std::string> logLines(const test::TempDir& dir) {
  std::string text = dir.read("file_log.txt");
  static const std::regex stamp("esecuzione batch \\d\\d/\\d\\d/20\\d\\d \\d\\d:\\d\\d:\\d\\d");
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back("<no CR LF> " + text.substr(at));
      break;
    }
    lines.push_back(std::regex_replace(text.substr(at, end - at), stamp, "esecuzione batch <stamp>"));
    at = end + 2;
  }
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

// The fixed-layout lines one acquisition of these records writes for a handheld.
std::string regLines(const std::vector<sim::AttendanceRecord>& records, const std::string& id) {
  LinkConfig code;
  code.model = "HND  ";
  code.handheldId = id;
  std::string lines;
  for (const auto& r : records) lines += attendanceLine(sim::attendanceFrame(1, r, 0), code);
  return lines;
}

sim::SimTerminal handheldWith(const std::vector<sim::AttendanceRecord>& records) {
  sim::SimTerminal t("HND  ", 1);
  for (const auto& r : records) t.add(r);
  t.clockOffset = std::chrono::hours(-5);
  return t;
}

// Two USB handhelds of the plant (one still on the factory password), one of
// another plant, and a Bluetooth handheld; each with records of its own.
class BatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    usbRecords1 = sim::generateAttendance(1, 7, kDay);
    usbRecords2 = sim::generateAttendance(2, 3, kDay);
    btRecords = sim::generateAttendance(3, 5, kDay);
    usb.addHandheld("H001", kPlant, sim::kHandheldProduct, handheldWith(usbRecords1));
    usb.addHandheld("H002", std::nullopt, sim::kHandheldProduct, handheldWith(usbRecords2));
    usb.addHandheld("X003", "99999999", sim::kHandheldProduct, handheldWith(usbRecords2));
    bt.addHandheld(*sim::parseBtAddress("00:08:E0:00:00:01"), "B001", kPlant, "SPP140", "Serial Port",
                   handheldWith(btRecords));
    ::setenv(kHidSimVariable, usb.listen().c_str(), 1);
    ::setenv(kBtSimVariable, bt.listen().c_str(), 1);
    usb.start();
    bt.start();
    state.workingDirectory = dir.path();
    state.plantPassword = kPlant;
    state.archive = ArchiveSettings{};  // file_reg.txt only
  }
  void TearDown() override {
    ::unsetenv(kHidSimVariable);
    ::unsetenv(kBtSimVariable);
  }

  BatchRunResult run(const std::string& batchLine, const std::atomic<bool>* cancel = nullptr,
                     std::function<void(const std::string&, bool)> onLog = {}) {
    dir.write("run.cmd", batchLine);
    state.batchPath = (dir / "run.cmd").string();
    return runBatchFile(state, messages, {}, false, cancel, std::move(onLog));
  }
  std::size_t unacknowledged(sim::SimHidServer& s, std::size_t i) {
    return s.with(i, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
  }
  long clockError(sim::SimTerminal& t) {
    std::tm tm = t.clockTime();
    return std::labs(static_cast<long>(std::mktime(&tm) - std::time(nullptr)));
  }

  test::TempDir dir;
  sim::SimHidServer usb;
  sim::SimBtServer bt;
  std::vector<sim::AttendanceRecord> usbRecords1, usbRecords2, btRecords;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
};

TEST_F(BatchRunTest, OldLayoutSearchesTheSystemStackThenAcquiresAndSetsTheClock) {
  // One 11-byte line: flags 0001 (system Bluetooth stack), 16-bit mask 0003.
  BatchRunResult r = run("0001 0003\r\n");
  ASSERT_TRUE(r.read);
  EXPECT_EQ(r.settings, (BatchSettings{0x0001, 0x0003}));
  EXPECT_EQ(r.failures, 0);
  EXPECT_EQ(logLines(dir), (std::vector<std::string>{
                               "----: inizio esecuzione batch <stamp>",
                               "B001: acquisizione registrazioni (5 record) OK",
                               "B001: invio data e ora OK",
                               "----: fine esecuzione batch <stamp>",
                               "",
                           }))
      << joined(logLines(dir));
  std::string reg = dir.read("file_reg.txt");
  EXPECT_EQ(reg, regLines(btRecords, "B001")) << hexDump(reg);
  EXPECT_EQ(reg.substr(0, 5), "B001 ") << "a handheld's lines carry its id";
  bt.with(0, [&](sim::SimTerminal& t) {
    EXPECT_EQ(t.attendance.unacknowledged(), 0u);
    EXPECT_LE(clockError(t), 5) << "the clock was set to the PC's time";
  });
  EXPECT_EQ(unacknowledged(usb, 0), usbRecords1.size()) << "no USB search was asked for";
  EXPECT_TRUE(state.handhelds.empty()) << "the list is emptied after the run";
  EXPECT_TRUE(prompt.texts().empty()) << "no box during a run";
  EXPECT_TRUE(messages.flags.showLinkErrors.load());
  EXPECT_TRUE(messages.flags.askOnFailure.load());
}

TEST_F(BatchRunTest, MissingTableFileFailsPerHandheldAndTheOtherOperationsRun) {
  // USB, background; acquire, clock, send justifications (no giustifi.txt),
  // clear and send sites (file_sit.txt beside the batch file).
  dir.write("file_sit.txt", "00000000A1 Cantiere Nord   \r\n00000000B2 Cantiere Sud    \r\n");
  BatchRunResult r = run("0000 00000000\r\n8100 03020003\r\n");
  ASSERT_TRUE(r.read);
  EXPECT_EQ(r.settings, (BatchSettings{0x8100, 0x03020003})) << "the last line counts";
  const std::string d = dir.path().string();
  EXPECT_EQ(logLines(dir), (std::vector<std::string>{
                               "----: inizio esecuzione batch <stamp>",
                               "H001: acquisizione registrazioni (7 record) OK",
                               "H001: invio data e ora OK",
                               "H001: lettura file " + d + "\\giustifi.txt FALLITO",
                               "H001: cancella tabella cantieri OK",
                               "H001: invio tabella cantieri (2 record) OK",
                               "H002: acquisizione registrazioni (3 record) OK",
                               "H002: invio data e ora OK",
                               "H002: lettura file " + d + "\\giustifi.txt FALLITO",
                               "H002: cancella tabella cantieri OK",
                               "H002: invio tabella cantieri (2 record) OK",
                               "----: fine esecuzione batch <stamp>",
                               "",
                           }))
      << joined(logLines(dir)) << "X003 (another plant's) gets no line";
  EXPECT_EQ(r.failures, 2);
  std::string reg = dir.read("file_reg.txt");
  EXPECT_EQ(reg, regLines(usbRecords1, "H001") + regLines(usbRecords2, "H002")) << hexDump(reg);
  for (std::size_t i : {0u, 1u}) {
    usb.with(i, [&](sim::SimTerminal& t) {
      EXPECT_EQ(t.attendance.unacknowledged(), 0u);
      EXPECT_LE(clockError(t), 5);
      EXPECT_EQ(t.tables["72"], (std::vector<std::string>{"00000000A1" + sim::hexText("Cantiere Nord", 16),
                                                          "00000000B2" + sim::hexText("Cantiere Sud", 16)}));
      EXPECT_EQ(t.tables.count("52"), 0u) << "no justification was sent";
    });
  }
  EXPECT_EQ(unacknowledged(usb, 2), usbRecords2.size()) << "another plant's handheld is not touched";
}

TEST_F(BatchRunTest, MaskZeroAndUnreadableFilesLogOnlyTheirLines) {
  BatchRunResult r = run("8101 00000000\r\n");
  ASSERT_TRUE(r.read);
  EXPECT_EQ(logLines(dir), (std::vector<std::string>{"----: inizio esecuzione batch <stamp>",
                                                     "----: fine esecuzione batch <stamp>", ""}))
      << joined(logLines(dir));
  EXPECT_EQ(unacknowledged(usb, 0), usbRecords1.size());

  std::filesystem::remove(dir / "file_log.txt");
  dir.write("bad.cmd", "0001 00000003 \r\n");  // 16-byte line
  state.batchPath = (dir / "bad.cmd").string();
  r = runBatchFile(state, messages, {});
  EXPECT_FALSE(r.read);
  EXPECT_EQ(dir.read("file_log.txt"), "----: ERRORE (lettura batch file " + state.batchPath + " fallita)\r\n\r\n");
  EXPECT_EQ(unacknowledged(usb, 0), usbRecords1.size());
}

TEST_F(BatchRunTest, NoArchiveChosenLeavesTheRecordsAndAWriteFailureIsNotAcknowledged) {
  state.archive.regEnabled = 0;  // acqreg.dat stores attendance records nowhere
  BatchRunResult r = run("8100 80000003\r\n");
  EXPECT_EQ(r.failures, 2);
  std::vector<std::string> lines = logLines(dir);
  ASSERT_EQ(lines.size(), 9u) << joined(lines);
  EXPECT_EQ(lines[1], "H001: acquisizione registrazioni (0 record) FALLITO");
  EXPECT_EQ(lines[2], "H001: invio data e ora OK") << "the handheld's other operations go on";
  EXPECT_EQ(lines[3], "H001: invio reset + default");
  usb.with(0, [](sim::SimTerminal& t) { EXPECT_EQ(t.defaultResets, 1); });
  EXPECT_EQ(unacknowledged(usb, 0), usbRecords1.size());
  EXPECT_FALSE(std::filesystem::exists(dir / "file_reg.txt"));

  // file_reg.txt cannot be written: the error, the operation failed, nothing
  // acknowledged, the handheld's later operations left out.
  std::filesystem::remove(dir / "file_log.txt");
  state.archive.regEnabled = 1;
  std::filesystem::create_directory(dir / "file_reg.txt");
  r = run("8100 00000003\r\n");
  EXPECT_EQ(logLines(dir), (std::vector<std::string>{
                               "----: inizio esecuzione batch <stamp>",
                               "H001: ERRORE (Errore scrittura files registrazione)",
                               "H001: acquisizione registrazioni (0 record) FALLITO",
                               "H002: ERRORE (Errore scrittura files registrazione)",
                               "H002: acquisizione registrazioni (0 record) FALLITO",
                               "----: fine esecuzione batch <stamp>",
                               "",
                           }))
      << joined(logLines(dir));
  EXPECT_EQ(unacknowledged(usb, 0), usbRecords1.size());
}

TEST_F(BatchRunTest, CancelEndsTheRunAfterTheCurrentHandheld) {
  std::atomic<bool> cancel{false};
  std::vector<std::string> seen;
  BatchRunResult r = run("8100 00000002\r\n", &cancel, [&](const std::string& line, bool written) {
    EXPECT_TRUE(written);
    seen.push_back(line);
    if (line.rfind("H001: ", 0) == 0) cancel = true;  // while H001 is still open
  });
  EXPECT_TRUE(r.interrupted);
  std::vector<std::string> lines = logLines(dir);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "----: inizio esecuzione batch <stamp>",
                       "H001: invio data e ora OK",
                       "----: interruzione richiesta dall'utente",
                       "----: fine esecuzione batch <stamp>",
                       "",
                   }))
      << joined(lines);
  EXPECT_EQ(seen.size(), 4u) << "every appended line is handed on";
  usb.with(1, [&](sim::SimTerminal& t) { EXPECT_GT(clockError(t), 3600) << "H002 was not reached"; });
}

TEST(BatchFileTest, LayoutsLocationsAndTheEditorsLine) {
  test::TempDir dir;
  auto read = [&](std::string_view bytes, int* length = nullptr) {
    dir.write("b.cmd", bytes);
    return readBatchFile(dir / "b.cmd", length);
  };
  int length = 0;
  EXPECT_EQ(read("0001 0003\r\n", &length), (BatchSettings{0x0001, 0x0003}));
  EXPECT_EQ(length, 11);
  EXPECT_EQ(read("8100 80000001\r\n", &length), (BatchSettings{0x8100, 0x80000001}));
  EXPECT_EQ(length, 15);
  EXPECT_TRUE(read("8100 80000001\r\n")->background());
  // Lines of the first line's length: the last whole one counts, a bad one ends the reading.
  EXPECT_EQ(read("0001 0001\r\n0100 0002\r\n0100 00"), (BatchSettings{0x0100, 0x0002}));
  EXPECT_EQ(read("0001 0001\r\n01G0 0002\r\n0100 0004\r\n"), (BatchSettings{0x0001, 0x0001}));
  EXPECT_FALSE(read("001 0001\r\n", &length));
  EXPECT_EQ(length, 10);
  EXPECT_FALSE(read("0001 00000001"));    // no CR in the first 15 bytes
  EXPECT_FALSE(read("0001 0001\n\n"));
  EXPECT_FALSE(readBatchFile(dir / "missing.cmd"));

  BatchSettings s{0x8100, 0x00220003};
  ASSERT_TRUE(writeBatchFile(dir / "w.cmd", s));
  EXPECT_EQ(dir.read("w.cmd"), "8100 00220003\r\n");
  EXPECT_EQ(readBatchFile(dir / "w.cmd"), s);

  EXPECT_EQ(locateBatch("daily.cmd", "/srv/plant").path, "/srv/plant/daily.cmd");
  EXPECT_EQ(locateBatch("daily.cmd", "/srv/plant").directory, "/srv/plant");
  EXPECT_EQ(locateBatch("/data/x-a/daily.cmd", "/srv/plant").directory, "/data/x-a");
  EXPECT_EQ(locateBatch("C:\\batch\\daily.cmd", "/srv/plant").directory, "C:\\batch");
}

}  // namespace
}  // namespace cfg
