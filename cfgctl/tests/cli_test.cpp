// cfgctl against termsim, in-process: exit codes, messages, archives, trace.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/registry_rows.h"
#include "app/registry.h"
#include "cfgctl/cli.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.add(sim::SimTerminal("LX-K3", 4));
    dir.write("config.dat", registryLine(test::tcpRow(12, "LX-K3", server.listenTcp(), 4)) + "\r\n");
    server.start();
  }

  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"-C", dir.path().string()});
    return cli::run(args, out, err, false);
  }
  std::size_t pending() {
    return server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
  }

  sim::SimServer server;
  test::TempDir dir;
  std::ostringstream out, err;
};

TEST_F(CliTest, AcquireArchivesEveryRecordOnce) {
  auto records = sim::generateAttendance(3, 5);
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  EXPECT_EQ(run({"12", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 5 registrazioni.\n");
  LinkConfig code;
  code.number = 12;
  code.model = "LX-K3";
  std::string expected;
  for (const auto& r : records) expected += attendanceLine(sim::attendanceFrame(4, r, 0), code);
  EXPECT_EQ(dir.read("file_reg.txt"), expected);
  EXPECT_EQ(run({"12", "acquire", "attendance"}), 0);
  EXPECT_EQ(out.str(), "Acquisite 0 registrazioni.\n");
  EXPECT_EQ(pending(), 0u);
}

TEST_F(CliTest, DestructiveCommandsNeedYes) {
  server.with(0, [](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(1, 2)) t.add(r); });
  EXPECT_EQ(run({"12", "erase"}), 2);
  EXPECT_EQ(run({"12", "reset", "--defaults"}), 2);
  EXPECT_EQ(pending(), 2u);
  EXPECT_EQ(run({"12", "erase", "--yes"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Operazione completata con successo.\n");
  EXPECT_EQ(pending(), 0u);
}

TEST_F(CliTest, CommandLineAndSetupErrors) {
  EXPECT_EQ(run({}), 2);
  EXPECT_EQ(run({"12"}), 2);
  EXPECT_EQ(run({"12", "fly"}), 2);
  EXPECT_EQ(run({"12", "count", "lunch"}), 2);
  EXPECT_EQ(run({"12", "retrieve", "attendance", "--from", "2026-02-30"}), 2);
  EXPECT_EQ(run({"x12", "version"}), 2);
  EXPECT_EQ(run({"13", "version"}), 3);
  EXPECT_NE(err.str().find("il terminale 13 non e` in"), std::string::npos) << err.str();
  EXPECT_EQ(run({"acquire", "--help"}), 0);
  EXPECT_NE(out.str().find("acqreg.dat"), std::string::npos);
  EXPECT_EQ(run({"12", "memory", "read", "12G"}), 2);
  EXPECT_EQ(err.str(), "Errore: indirizzo non valido.\n");
}

TEST_F(CliTest, SilentTerminalPrintsTheSystemMessageAndFails) {
  server.setFault({sim::FaultKind::NoAnswer, -1, 0, 0});
  EXPECT_EQ(run({"12", "count", "attendance"}), 1);
  EXPECT_EQ(err.str(), "Errore: il lettore non risponde.\n");
  server.setFault({sim::FaultKind::Nak, -1, 0, 0});
  EXPECT_EQ(run({"12", "time", "set"}), 1);
  EXPECT_EQ(err.str(), "Errore: il lettore risponde NAK.\n");
}

TEST_F(CliTest, BasicCommands) {
  server.with(0, [](sim::SimTerminal& t) {
    t.status1 = 0x20;
    t.readerVersion[0] = "RD 2.1";
  });
  EXPECT_EQ(run({"12", "status"}), 0) << err.str();
  EXPECT_EQ(out.str(), "20 00\n  Registrazioni presenti\n");
  EXPECT_EQ(run({"12", "version"}), 0);
  // The box's line break is a line break on the terminal, not a raw CR.
  EXPECT_EQ(out.str(), "Versione firmware = 'FW 1.00 SIM     '\nVersione lettore1 = 'RD 2.1          '\n");
  EXPECT_EQ(run({"12", "output", "2", "10"}), 0);
  EXPECT_EQ(run({"12", "output", "5", "on"}), 2);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.outputs; }),
            (std::vector<std::pair<int, int>>{{2, 10}}));
  EXPECT_EQ(run({"12", "time", "get"}), 0);
  EXPECT_EQ(out.str().size(), 20u) << out.str();
  EXPECT_EQ(run({"12", "memory", "write", "2000", "04", "12345678"}), 0) << err.str();
  EXPECT_EQ(run({"12", "memory", "read", "2000"}), 0) << err.str();
  EXPECT_EQ(out.str().substr(0, 31), "200000: FF FF FF FF 12 34 56 78");
}

TEST_F(CliTest, TraceRecordsBytesAndVerdicts) {
  std::string trace = (dir / "trace.txt").string();
  EXPECT_EQ(run({"--trace", trace, "12", "count", "attendance"}), 0);
  std::string t = dir.read("trace.txt");
  EXPECT_NE(t.find("tcp -> 01 30 34 02 30 30 03"), std::string::npos) << t;
  EXPECT_NE(t.find("|.04.00."), std::string::npos) << t;
  EXPECT_NE(t.find("tcp <- "), std::string::npos) << t;
  EXPECT_NE(t.find("tcp == accepted"), std::string::npos) << t;
}

}  // namespace
}  // namespace cfg
