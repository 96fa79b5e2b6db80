// Streaming acquisition through the simulated modem, the way it runs in the
// field: the call dialled, the records sent unasked by the terminal, gaps
// asked for again, the run closed with "42", the call hung up.
#include <gtest/gtest.h>

#include "link/hex.h"
#include "link/modem.h"
#include "records/acquisition.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

#define EXPECT_BYTES(actual, expected) \
  EXPECT_EQ(actual, expected) << "actual:   " << hexDump(actual) << "\nexpected: " << hexDump(expected)

class ModemStreamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.add(sim::SimTerminal("LX-P2", 2));
    sim::ModemSettings modem;
    modem.guardMs = 50;
    server.setModem(modem);
    link.config.model = "LX-P2";
    link.config.number = 55;
    link.config.address = "02";
    link.config.portName = "COM6";
    link.config.modem = true;
    link.config.continuousModemDownload = true;
    link.config.phoneNumber = "0455";
    ports.set("COM6", server.openPty());
    server.start();
    ASSERT_TRUE(link.open(messages, ports));
    ModemResult dialled = runModemHeadless(modemWorker, messages, true, link, 20000, kFast);
    ASSERT_TRUE(dialled.done()) << dialled.message;
  }

  int acquireOnce(const std::function<void()>& onFirstRefresh = {}) {
    RecordRun run;
    RecordJob job{link, messages, dir.path(), live, formats};
    bool first = true;
    HeadlessEnd end = runHeadless(
        worker, messages, [&](Worker& w) { acquire(w, job, RecordKind::Attendance, run); }, 60000,
        [&](const ProgressUpdate&) {
          if (first && onFirstRefresh) onFirstRefresh();
          first = false;
        });
    EXPECT_EQ(end, HeadlessEnd::Closed);
    EXPECT_TRUE(run.failure.empty()) << run.failure;
    return run.acquired;
  }
  std::string lines(const std::vector<sim::AttendanceRecord>& records) {
    std::string out;
    for (const auto& r : records) out += attendanceLine(sim::attendanceFrame(2, r, 0), link.config);
    return out;
  }
  std::size_t pending() {
    return server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
  }

  static constexpr ModemTiming kFast{100, 40, 40, 40, 150, 150, 150, 150, 200};
  sim::SimServer server;
  PortMap ports;
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  Worker worker, modemWorker;
  ArchiveSettings live;
  FormatList formats;
};

// Every record once, in order, byte for byte: the ones the terminal sends by
// itself, one it left out (asked for with "41"), one it sent twice (archived
// once), and one that came in during the run (kept for the next run, never lost).
TEST_F(ModemStreamingTest, EveryRecordArrivesOnceThroughTheCall) {
  auto records = sim::generateAttendance(23, 40);
  server.with(0, [&](sim::SimTerminal& t) {
    for (auto& r : records) t.add(r);
    t.streamSkip = 7;
    t.streamRepeat = 20;
  });
  auto late = sim::generateAttendance(99, 1).front();
  EXPECT_EQ(acquireOnce([&] { server.with(0, [&](sim::SimTerminal& t) { t.add(late); }); }), 40);
  EXPECT_BYTES(dir.read("file_reg.txt"), lines(records));
  EXPECT_EQ(pending(), 1u) << "the record that came during the run waits in the terminal";

  std::size_t asks = 0;
  for (const auto& f : server.requests())
    if (f.substr(4, 2) == "41") {
      ++asks;
      EXPECT_EQ(f.substr(6, 4), "0007") << hexDump(f);
    }
  EXPECT_GE(asks, 1u);
  EXPECT_EQ(server.requests().back().substr(4, 10), "4200000028") << hexDump(server.requests().back());

  records.push_back(late);
  EXPECT_EQ(acquireOnce(), 1);
  EXPECT_BYTES(dir.read("file_reg.txt"), lines(records));
  EXPECT_EQ(pending(), 0u);

  ASSERT_TRUE(runModemHeadless(modemWorker, messages, false, link, 20000, kFast).done());
  EXPECT_BYTES(server.modemHeard(), std::string("ATE0\rATD0455\r+++ATH0\r"));
  EXPECT_EQ(prompt.count(), 0u);
}

}  // namespace
}  // namespace cfg
