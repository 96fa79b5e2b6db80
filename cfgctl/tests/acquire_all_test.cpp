// cfgctl acquire --all against a plant of termsim terminals: every live
// terminal's records in the shared archive, byte for byte and in its own
// order, one result line per terminal, and the dead one failing the run.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "app/registry.h"
#include "cfgctl/acquire_all.h"
#include "cfgctl/cli.h"
#include "link/hex.h"
#include "sim/plant.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    end = end == std::string::npos ? text.size() : end + 2;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

std::vector<std::string> sortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A local TCP port nothing listens on.
std::uint16_t deadPort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

// The attendance archive holds exactly the records of every terminal, each
// terminal's lines in its own order (terminals ran side by side, so their
// lines interleave). Returns the number of lines expected.
std::size_t expectEachTerminalsRecords(const std::vector<sim::PlantTerminal>& terminals, const std::string& archive) {
  std::vector<std::string> archived = crlfLines(archive);
  std::size_t total = 0;
  std::string error;
  for (const auto& t : terminals) {
    test::TempDir one;
    EXPECT_TRUE(sim::Plant({t}).writeExpected(one.path(), error)) << error;
    std::vector<std::string> lines = crlfLines(one.read("expected_reg.txt"));
    std::set<std::string> own(lines.begin(), lines.end());
    std::string got, want;
    for (const std::string& l : archived)
      if (own.count(l)) got += l;
    for (const std::string& l : lines) want += l;
    EXPECT_EQ(got, want) << "terminal " << t.number << "\ngot:\n" << hexDump(got) << "want:\n" << hexDump(want);
    total += lines.size();
  }
  EXPECT_EQ(archived.size(), total) << hexDump(archive);
  return total;
}

TEST(AcquireAll, CollectsTheLiveTcpTerminalsSideBySideAndFailsOnTheDeadOne) {
  const char* description =
      "terminal number=1 model=LX-P2 address=1 via=tcp attendance=60 seed=11 description=Presse\n"
      "terminal number=2 model=LX-K5 address=2 via=tcp attendance=45 seed=22 description=Ingresso\n"
      "terminal number=3 model=LX-K3 address=3 via=tcp attendance=50 seed=33 description=Magazzino\n"
      "terminal number=4 model=LX-K1 address=4 via=tcp attendance=35 seed=44 description=Uffici\n";
  std::string error;
  auto terminals = sim::parsePlant(description, error);
  ASSERT_TRUE(terminals) << error;
  sim::Plant plant(*terminals);
  plant.start();
  test::TempDir dir;
  ASSERT_TRUE(plant.writeSettings(dir.path(), error)) << error;
  // Terminal 9 is in config.dat but nothing answers on its port.
  dir.write("config.dat", dir.read("config.dat") + registryLine(test::tcpRow(9, "LX-K3", deadPort(), 9)) + "\r\n");

  std::ostringstream out, err;
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "acquire", "--all"}, out, err, false), cli::kFailed) << err.str();
  std::vector<std::string> results = sortedLines(out.str());
  ASSERT_EQ(results.size(), 5u) << out.str() << err.str();
  EXPECT_EQ(results[0], "0001 Acquisite 60 registrazioni.");
  EXPECT_EQ(results[1], "0002 Acquisite 45 registrazioni.");
  EXPECT_EQ(results[2], "0003 Acquisite 50 registrazioni.");
  EXPECT_EQ(results[3], "0004 Acquisite 35 registrazioni.");
  EXPECT_EQ(results[4].rfind("0009 ", 0), 0u) << results[4];
  EXPECT_EQ(results[4].find("Acquisite"), std::string::npos) << results[4];
  EXPECT_NE(err.str().find("1 terminali su 5 non acquisiti"), std::string::npos) << err.str();

  // Concurrent writers: every record's line whole, each terminal's in its order.
  const std::size_t total = expectEachTerminalsRecords(*terminals, dir.read("file_reg.txt"));
  // Everything was acknowledged: a second run finds nothing new.
  out.str("");
  err.str("");
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "acquire", "--all", "attendance"}, out, err, false), cli::kFailed);
  results = sortedLines(out.str());
  ASSERT_EQ(results.size(), 5u) << out.str();
  for (unsigned i = 0; i < 4; ++i)
    EXPECT_EQ(results[i], "000" + std::to_string(i + 1) + " Acquisite 0 registrazioni.");
  EXPECT_EQ(crlfLines(dir.read("file_reg.txt")).size(), total);
  plant.stop();
}

// Serial terminals and modem rows run beside the TCP ones: a pseudo-terminal
// line each, and two terminals behind modems called one after the other (the
// first one sends its records by itself once the call is up).
TEST(AcquireAll, CollectsSerialAndModemTerminalsBesideTcpOnes) {
  const char* description =
      "terminal number=1 model=LX-P2 address=1 via=tcp attendance=30 seed=11 description=Presse\n"
      "terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=20 seed=33 description=Magazzino\n"
      "terminal number=4 model=LX-K1 address=4 via=pty port=COM4 attendance=15 seed=44 description=Uffici\n"
      "terminal number=5 model=LX-P2 address=5 via=modem port=COM5 phone=0312345678 continuous=yes attendance=12 "
      "seed=55 description=Cantiere\n"
      "terminal number=6 model=LX-K3 address=6 via=modem port=COM6 phone=0398765432 attendance=10 seed=66 "
      "description=Deposito\n";
  std::string error;
  auto terminals = sim::parsePlant(description, error);
  ASSERT_TRUE(terminals) << error;
  sim::Plant plant(*terminals);
  plant.start();
  test::TempDir dir;
  ASSERT_TRUE(plant.writeSettings(dir.path(), error)) << error;

  std::ostringstream out, err;
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "--yes", "acquire", "--all", "attendance"}, out, err, false),
            cli::kOk)
      << out.str() << err.str();
  std::vector<std::string> results = sortedLines(out.str());
  std::vector<std::string> want = {"0001 Acquisite 30 registrazioni.", "0003 Acquisite 20 registrazioni.",
                                   "0004 Acquisite 15 registrazioni.", "0005 Acquisite 12 registrazioni.",
                                   "0006 Acquisite 10 registrazioni."};
  EXPECT_EQ(results, want) << out.str() << err.str();
  expectEachTerminalsRecords(*terminals, dir.read("file_reg.txt"));
  plant.stop();
}

TEST(AcquireAll, TerminalsSharingALineOrAModemRunOneAfterTheOther) {
  auto serial = [](unsigned number, const char* port, bool modem = false) {
    TerminalRecord r = test::tcpRow(number, "LX-K3", 3001);
    r.tcp = false;
    r.port = port;
    r.modem = modem;
    return r;
  };
  std::vector<TerminalRecord> rows = {test::tcpRow(1, "LX-P2", 3001), serial(2, "COM3"), serial(3, "COM3"),
                                      serial(4, "COM4"),              serial(5, "COM5", true), serial(6, "COM6", true),
                                      serial(7, "COM5"),              test::tcpRow(1, "LX-K5", 3002),
                                      test::tcpRow(8, "LX-K5", 3003)};
  PortMap ports;
  ports.set("COM4", "/dev/ttyS2");  // the same line as COM3
  std::vector<std::vector<std::size_t>> want = {{0}, {1, 2, 3}, {4, 5, 6}, {8}};
  EXPECT_EQ(cli::acquisitionGroups(rows, ports), want);

  std::ostringstream out, err;
  test::TempDir dir;
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "acquire", "--all", "canteen", "attendance"}, out, err, false),
            cli::kUsage);
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "acquire", "--all"}, out, err, false), cli::kSetup);
  EXPECT_NE(err.str().find("non elenca alcun terminale"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace cfg
