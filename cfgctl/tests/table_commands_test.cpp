// cfgctl table send/receive against termsim over TCP.
#include <gtest/gtest.h>

#include <sstream>

#include "app/registry.h"
#include "cfgctl/cli.h"
#include "link/hex.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"
#include "cfgctl/tests/one_terminal_cli.h"

namespace cfg {
namespace {

class TableCli : public test::OneTerminalCli {
 protected:
  TableCli() : OneTerminalCli("LX-K2") {}
  std::vector<std::string> stored(const char* command) {
    return server.with(0, [command](sim::SimTerminal& t) { return t.tables[command]; });
  }

};

TEST_F(TableCli, SendThenReceiveGivesTheSameFileAndClearEmptiesFirst) {
  const std::string file = "1 07:30 SSSSSNNN ON\r\n2 12:00 SSSSSNNN 15\r\n";
  dir.write("sirene.txt", file);
  const std::string in = (dir.path() / "sirene.txt").string(), back = (dir.path() / "back.txt").string();
  ASSERT_EQ(run({"21", "table", "send", "sirens", in}), 0) << err.str();
  ASSERT_EQ(run({"21", "table", "send", "sirens", in}), 0) << err.str();
  EXPECT_EQ(stored("22").size(), 4u);  // without --clear the terminal appends
  ASSERT_EQ(run({"21", "table", "send", "sirens", in, "--clear"}), 0) << err.str();
  EXPECT_EQ(stored("22"), (std::vector<std::string>{"0107303E81", "0212003E0F"}));
  ASSERT_EQ(run({"21", "table", "receive", "sirens", back}), 0) << err.str();
  std::string got = dir.read("back.txt");
  EXPECT_EQ(got, file) << hexDump(got);
}

TEST_F(TableCli, BadNamesFilesAndModelsAreRefusedClearly) {
  EXPECT_EQ(run({"21", "table", "send", "users2", "x.txt"}), 2);
  EXPECT_NE(err.str().find("tabella sconosciuta"), std::string::npos);
  EXPECT_EQ(run({"21", "table", "receive", "sirens", "x.txt", "--clear"}), 2);
  // Sites belong to handhelds only; nothing is sent to a fixed terminal.
  dir.write("file_sit.txt", "000000001F CANTIERE NORD   \r\n");
  EXPECT_EQ(run({"21", "table", "send", "sites", (dir.path() / "file_sit.txt").string()}), 1);
  EXPECT_NE(err.str().find("non ha la tabella sites"), std::string::npos);
  // An invalid line: the load fails and nothing reaches the terminal.
  dir.write("bad.txt", "1 25:30 SSSSSNNN ON\r\n");
  EXPECT_EQ(run({"21", "table", "send", "sirens", (dir.path() / "bad.txt").string()}), 1);
  EXPECT_TRUE(stored("22").empty());
  // A receive that fails leaves the file alone.
  dir.write("keep.txt", "untouched");
  server.with(0, [](sim::SimTerminal& t) { t.setHandler("20", [](sim::SimTerminal&, std::string_view) {
    return std::optional<std::string>(); }); });
  EXPECT_EQ(run({"21", "table", "receive", "sirens", (dir.path() / "keep.txt").string()}), 1);
  EXPECT_EQ(dir.read("keep.txt"), "untouched");
}

}  // namespace
}  // namespace cfg
