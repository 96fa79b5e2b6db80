// Acquisition while the terminal misbehaves: dropped bytes, corrupted check
// bytes, replies later than the deadline, echoes, NAKs, a connection closed
// half way. Whatever happens, the run ends within its deadlines and no record
// is lost: each is either archived and acknowledged, or still in the terminal.
#include <gtest/gtest.h>

#include <chrono>

#include "records/acquisition.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using sim::FaultKind;

struct Case {
  FaultKind kind;
  int after;  // replies that go out untouched first
};

std::string name(const ::testing::TestParamInfo<Case>& info) {
  static const char* names[] = {"None", "NoAnswer", "Nak", "BadCheck", "Delay", "Echo", "Close", "DropBytes"};
  return std::string(names[static_cast<int>(info.param.kind)]) + "After" + std::to_string(info.param.after);
}

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, NoRecordLostNoHang) {
  constexpr int kRecords = 6;
  const Case c = GetParam();
  auto records = sim::generateAttendance(static_cast<unsigned>(c.after) * 31 + 7, kRecords);
  sim::SimServer server;
  server.add(sim::SimTerminal("LX-P2", 1));
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  std::uint16_t port = server.listenTcp();
  server.start();

  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  messages.flags.askOnFailure = false;  // an unattended run
  Link link;
  link.config.model = "LX-P2";
  link.config.number = 1;
  link.config.address = "01";
  link.config.tcp = true;
  link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = port;
  FormatList formats;
  std::vector<std::string> expected;
  for (const auto& r : records) expected.push_back(attendanceLine(sim::attendanceFrame(1, r, 0), link.config));

  auto acquireOnce = [&] {
    if (!link.isOpen()) {
      ASSERT_TRUE(link.open(messages, PortMap{}));
    }
    RecordRun run;
    RecordJob job{link, messages, dir.path(), ArchiveSettings{}, formats};
    Worker worker;
    auto start = std::chrono::steady_clock::now();
    HeadlessEnd end = runHeadless(
        worker, messages, [&](Worker& w) { acquire(w, job, RecordKind::Attendance, run); }, 60000);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(end, HeadlessEnd::Closed);
    // At worst two failed series of three attempts of 750 + 500 ms each.
    EXPECT_LT(seconds, 10.0);
  };
  auto checkNothingLost = [&] {
    std::size_t pending = server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
    std::string file = dir.read("file_reg.txt");
    ASSERT_EQ(file.size() % 45, 0u);
    for (std::size_t i = 0; i < kRecords - pending; ++i)
      EXPECT_NE(file.find(expected[i]), std::string::npos) << "record " << i << " acknowledged but not archived";
    for (std::size_t pos = 0; pos < file.size(); pos += 45)
      EXPECT_NE(std::find(expected.begin(), expected.end(), file.substr(pos, 45)), expected.end())
          << "a line that is no record: " << file.substr(pos, 45);
  };

  server.setFault({c.kind, 2, 1300, c.after});
  acquireOnce();
  checkNothingLost();

  server.setFault({});
  if (c.kind == FaultKind::Close) link.close();
  acquireOnce();
  checkNothingLost();
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  EXPECT_EQ(prompt.count(), 0u) << "an unattended run shows no box";
}

std::vector<Case> cases() {
  std::vector<Case> out;
  for (FaultKind k : {FaultKind::DropBytes, FaultKind::BadCheck, FaultKind::Delay, FaultKind::Echo, FaultKind::Nak,
                      FaultKind::Close, FaultKind::NoAnswer})
    for (int after : {0, 3, 8}) out.push_back({k, after});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cases()), name);

}  // namespace
}  // namespace cfg
