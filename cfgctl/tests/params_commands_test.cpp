// cfgctl params read/write against termsim over TCP.
#include <gtest/gtest.h>

#include <sstream>

#include "app/registry.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "link/hex.h"
#include "params/image.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"
#include "cfgctl/tests/one_terminal_cli.h"

namespace cfg {
namespace {

class ParamsCli : public test::OneTerminalCli {
 protected:
  ParamsCli() : OneTerminalCli("LX-P2") {}
  std::uint8_t peek(std::uint32_t a) { return server.with(0, [a](sim::SimTerminal& t) { return t.peek(a); }); }

};

TEST_F(ParamsCli, ReadSavesTheFileAndWriteSendsItBack) {
  server.with(0, [](sim::SimTerminal& t) {
    t.poke(0x47FD00, 'A');  // header line 1
    t.poke(0x47FD9F, 0x2A);  // block 7, last byte
    t.poke(0x47FCE5, 0x11);  // block 0 byte 69: never in a file
  });
  std::string file = (dir / "p2.txt").string();
  ASSERT_EQ(run({"21", "params", "read", file}), 0) << err.str();
  EXPECT_EQ(out.str(), "Parametri salvati in " + file + ".\n");
  std::string text = dir.read("p2.txt");
  ASSERT_EQ(text.size(), 1720u);
  EXPECT_EQ(text.substr(0, 10), "006\r\n003\r\n") << "the terminal's address 6 and speed index 3";
  EXPECT_EQ(text.substr(160 * 5, 5), "065\r\n") << "block 4 after blocks 0-3";
  EXPECT_EQ(text.substr(343 * 5, 5), "000\r\n");
  EXPECT_EQ(text.substr(311 * 5, 5), "042\r\n") << "block 7's last byte";

  // Change a relay time (block 0 byte 5) and the address bytes, then write.
  std::string edited = text;
  edited.replace(5 * 5, 5, "200\r\n");
  edited.replace(0, 10, "099\r\n001\r\n");
  dir.write("edited.txt", edited);
  ASSERT_EQ(run({"21", "params", "write", (dir / "edited.txt").string()}), 0) << err.str();
  EXPECT_EQ(out.str(), "Parametri inviati al terminale.\n");
  EXPECT_EQ(peek(0x47FC05), 200);
  EXPECT_EQ(peek(0x47FC00), 6) << "the terminal keeps its address";
  EXPECT_EQ(peek(0x47FC01), 3) << "and its line speed";
  EXPECT_EQ(peek(0x47FCE5), 0x01) << "block 0 bytes 64-95 are the model defaults, not what was read";
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.resets; }), 1);
}

TEST_F(ParamsCli, FailuresKeepTheFileAndSayWhy) {
  dir.write("keep.txt", "old");
  server.setFault({sim::FaultKind::NoAnswer, -1, 0, 20});
  EXPECT_EQ(run({"21", "params", "read", (dir / "keep.txt").string()}), 1);
  EXPECT_EQ(dir.read("keep.txt"), "old") << "a failed read leaves the file untouched";
  EXPECT_NE(err.str().find("il file non e` stato scritto"), std::string::npos) << err.str();
  server.setFault({});

  auto requests = server.requests().size();
  EXPECT_EQ(run({"21", "params", "write", (dir / "keep.txt").string()}), 1);
  EXPECT_NE(err.str().find("Errore: lettura dati non riuscita."), std::string::npos) << err.str();
  EXPECT_EQ(server.requests().size(), requests) << "nothing sent for a file that does not load";

  EXPECT_EQ(run({"21", "params", "read"}), 2);
  EXPECT_EQ(run({"21", "params", "send", "x.txt"}), 2);
}

}  // namespace
}  // namespace cfg
