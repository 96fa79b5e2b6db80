// cfgctl table send/receive fingerprints against termsim over TCP.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/registry.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hex.h"
#include "sim/sim_fingerprints.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

std::string templ(int seed) {
  std::string bytes;
  for (int i = 0; i < 384; ++i) bytes += static_cast<char>((seed * 7 + i) & 0xFF);
  return bytesToHex(bytes);
}

class FingerprintCli : public ::testing::Test, public test::CliFolder {
 protected:
  void SetUp() override {
    // Both terminals on one line, told apart by their address.
    server.add(sim::SimTerminal("LX-K2", 6));
    server.add(sim::SimTerminal("LX-K3", 7));
    const std::uint16_t port = server.listenTcp();
    dir.write("config.dat", registryLine(test::tcpRow(21, "LX-K2", port, 6)) + "\r\n" +
                                registryLine(test::tcpRow(22, "LX-K3", port, 7)) + "\r\n");
    server.start();
  }
  std::vector<std::string> stored() {
    return server.with(0, [](sim::SimTerminal& t) { return t.tables[sim::kSimFingerprintKey]; });
  }
  int tplFilesIn(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) n += e.path().extension() == ".tpl";
    return n;
  }

  sim::SimServer server;
};

TEST_F(FingerprintCli, ReferenceListSentThenReceivedAsEmbeddedLines) {
  // By reference: the template files lie beside the list.
  dir.write("one.tpl", templ(1));
  dir.write("two.tpl", templ(2));
  dir.write("refs.txt", "01 000012345 one.tpl         \r\n"
                        "42 000000777 two.tpl         \r\n");
  const std::string refs = (dir.path() / "refs.txt").string(), back = (dir.path() / "back.txt").string();
  ASSERT_EQ(run({"21", "table", "send", "fingerprints", refs}), 0) << err.str();
  ASSERT_EQ(run({"21", "table", "send", "fingerprints", refs, "--clear"}), 0) << err.str();
  EXPECT_EQ(stored(), (std::vector<std::string>{"0100003039" + templ(1), "2A00000309" + templ(2)}));
  EXPECT_EQ(out.str(), "Inviati 2 record della tabella fingerprints.\n");

  ASSERT_EQ(run({"21", "table", "receive", "fingerprints", back}), 0) << err.str();
  const std::string expected = "00001 000012345 " + templ(1) + "\r\n" + "00042 000000777 " + templ(2) + "\r\n";
  const std::string got = dir.read("back.txt");
  EXPECT_EQ(got, expected) << hexDump(got);

  // The embedded file sends the same records.
  ASSERT_EQ(run({"21", "table", "send", "fingerprints", back, "--clear"}), 0) << err.str();
  EXPECT_EQ(stored(), (std::vector<std::string>{"0100003039" + templ(1), "2A00000309" + templ(2)}));
  // No template file is left behind anywhere we can see.
  EXPECT_EQ(tplFilesIn(dir.path()), 2);
  EXPECT_EQ(tplFilesIn(std::filesystem::current_path()), 0);
}

TEST_F(FingerprintCli, RefusalsLeaveTerminalAndFileAlone) {
  // A model without a fingerprint module.
  dir.write("e.txt", "00001 000000001 " + templ(3) + "\r\n");
  EXPECT_EQ(run({"22", "table", "send", "fingerprints", (dir.path() / "e.txt").string()}), 1);
  EXPECT_NE(err.str().find("non ha la tabella fingerprints"), std::string::npos) << err.str();
  // A template that is not 768 hexadecimal digits: the load fails, nothing is sent.
  dir.write("bad.txt", "00001 000000001 " + templ(3).substr(0, 767) + "Z\r\n");
  EXPECT_EQ(run({"21", "table", "send", "fingerprints", (dir.path() / "bad.txt").string()}), 1);
  EXPECT_TRUE(stored().empty());
  // An empty terminal: the received file is written with no line.
  dir.write("old.txt", "keep");
  EXPECT_EQ(run({"21", "table", "receive", "fingerprints", (dir.path() / "old.txt").string()}), 0) << err.str();
  EXPECT_EQ(dir.read("old.txt"), "");
  EXPECT_EQ(run({"21", "table", "receive", "fingerprints", "x.txt", "--clear"}), 2);
}

}  // namespace
}  // namespace cfg
