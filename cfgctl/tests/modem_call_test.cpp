// cfgctl on a terminal behind the simulated modem: dialled before the
// command, hung up after it whatever the command did; the records of a
// streaming terminal archived byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "app/registry.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hex.h"
#include "link/port_map.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

#define EXPECT_BYTES(actual, expected) \
  EXPECT_EQ(actual, expected) << "actual:   " << hexDump(actual) << "\nexpected: " << hexDump(expected)

class ModemCallTest : public ::testing::Test, public test::CliFolder {
 protected:
  // An LX-P2 with continuous download behind a modem on COM5.
  void serve(sim::ModemSettings modem = {}, std::vector<sim::AttendanceRecord> records = {}) {
    sim::SimTerminal terminal("LX-P2", 7);
    for (const auto& r : records) terminal.add(r);
    server.add(std::move(terminal));
    server.setModem(modem);
    std::string pty = server.openPty();
    server.start();
    TerminalRecord row;
    row.number = 30;
    row.description = "Cantiere nord";
    row.model = "LX-P2";
    row.address = 7;
    row.port = "COM5";
    row.speed = " 9600";
    row.modem = true;
    row.phoneNumber = "0312345678";
    row.continuousModemDownload = true;
    dir.write("config.dat", registryLine(row) + "\r\n");
    dir.write(kPortMapFile, "COM5 " + pty + "\n");
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
  }

  sim::SimServer server;
};

TEST_F(ModemCallTest, RecordsStreamOverTheCallAndTheLineIsHungUpAfter) {
  auto records = sim::generateAttendance(17, 12);
  serve({}, records);
  ASSERT_EQ(run({"30", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 12 registrazioni.\n");
  LinkConfig code;
  code.number = 30;
  code.model = "LX-P2";
  std::string expected;
  for (const auto& r : records) expected += attendanceLine(sim::attendanceFrame(7, r, 0), code);
  EXPECT_BYTES(dir.read("file_reg.txt"), expected);
  // The records came unasked: "40" started them, one "42" closed the run.
  std::vector<std::string> codes;
  for (const auto& f : server.requests()) codes.push_back(f.substr(4, 2));
  EXPECT_EQ(codes, (std::vector<std::string>{"38", "40", "42"}));
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  EXPECT_BYTES(server.modemHeard(), std::string("ATE0\rATD0312345678\r+++ATH0\r"));
  EXPECT_FALSE(server.modemOnline());
}

TEST_F(ModemCallTest, AFailedCommandStillHangsUp) {
  serve();
  server.setFault({sim::FaultKind::Nak});
  EXPECT_EQ(run({"30", "count", "attendance"}), 1);
  EXPECT_NE(err.str().find("Errore: il lettore risponde NAK."), std::string::npos) << err.str();
  EXPECT_BYTES(server.modemHeard(), std::string("ATE0\rATD0312345678\r+++ATH0\r"));
  EXPECT_FALSE(server.modemOnline());
}

TEST_F(ModemCallTest, AFailedDialIsASetupFailureAndSendsNothingToTheTerminal) {
  sim::ModemSettings busy;
  busy.dial = sim::DialResult::Busy;
  serve(busy);
  EXPECT_EQ(run({"30", "count", "attendance"}), 3);
  EXPECT_NE(err.str().find("Connessione fallita !"), std::string::npos) << err.str();
  EXPECT_TRUE(server.requests().empty());
  EXPECT_BYTES(server.modemHeard(), std::string("ATE0\rATD0312345678\r"));
}

// SIGINT or SIGTERM while the call rings: the modem is told to hang up
// before cfgctl ends.
TEST_F(ModemCallTest, AnInterruptedDialHangsUp) {
  sim::ModemSettings silent;
  silent.dial = sim::DialResult::None;
  serve(silent);
  std::atomic<bool> interrupted{false};
  std::thread signal([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    interrupted = true;
  });
  int rc = run({"30", "count", "attendance"}, &interrupted);
  signal.join();
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err.str(), "cfgctl: interrotto durante la chiamata.\n");
  EXPECT_BYTES(server.modemHeard(), std::string("ATE0\rATD0312345678\rATH0\rATH0\r"));
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace cfg
