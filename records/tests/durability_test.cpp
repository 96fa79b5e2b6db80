// Killing the acquiring process at any moment loses no record: each record
// is either archived and acknowledged, or still in the terminal (and may
// have been archived already: duplicates are allowed, losses are not).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace cfg {
namespace {

pid_t spawnChild(const std::string& dir, std::uint16_t port) {
  std::string portText = std::to_string(port);
  std::string program = ACQUIRE_CHILD;
  char* argv[] = {program.data(), const_cast<char*>(dir.c_str()), portText.data(), nullptr};
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

TEST(Durability, KilledAcquisitionLosesNoRecord) {
  constexpr int kRecords = 120;
  auto records = sim::generateAttendance(2026, kRecords);
  sim::SimServer server;
  server.add(sim::SimTerminal("LX-P2", 1));
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  std::uint16_t port = server.listenTcp();
  server.start();
  test::TempDir dir;

  LinkConfig code;
  code.number = 1;
  code.model = "LX-P2";
  std::vector<std::string> expected;
  for (const auto& r : records) expected.push_back(attendanceLine(sim::attendanceFrame(1, r, 0), code));

  auto archived = [&] {
    std::map<std::string, int> lines;
    std::string file = dir.read("file_reg.txt");
    EXPECT_EQ(file.size() % 45, 0u) << "no partial line is ever left behind";
    for (std::size_t pos = 0; pos + 45 <= file.size(); pos += 45) ++lines[file.substr(pos, 45)];
    return lines;
  };

  std::mt19937 rng(42);
  int kills = 0;
  for (int round = 0; round < 25; ++round) {
    std::size_t pending = server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
    if (pending == 0) break;
    pid_t child = spawnChild(dir.path().string(), port);
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 250));
    if (::kill(child, SIGKILL) == 0) ++kills;
    int status = 0;
    ::waitpid(child, &status, 0);

    // Every acknowledged record is in the archive.
    pending = server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
    auto lines = archived();
    for (std::size_t i = 0; i < kRecords - pending; ++i)
      ASSERT_TRUE(lines.count(expected[i])) << "record " << i << " acknowledged but not archived";
  }
  // A last run without interruption collects the rest.
  pid_t child = spawnChild(dir.path().string(), port);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_GE(kills, 3);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  auto lines = archived();
  for (const auto& e : expected) EXPECT_TRUE(lines.count(e)) << e;
  for (const auto& [line, n] : lines)
    EXPECT_TRUE(std::find(expected.begin(), expected.end(), line) != expected.end()) << line;
}

}  // namespace
}  // namespace cfg
