// cfgctl's user commands against termsim over TCP, and the import.
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

class UserCli : public test::OneTerminalCli {
 protected:
  UserCli() : OneTerminalCli("LX-K2") {}
  std::string path(const char* name) { return (dir.path() / name).string(); }
  std::size_t stored() {
    return server.with(0, [](sim::SimTerminal& t) { return t.tables["0B"].size(); });
  }

};

const std::string kUsers = "01 000012345 0042 31/12/2009 0007 200 001 255\r\n"
                           "99 999999999 9999 01/02/2030 0000 000 000 000\r\n"
                           "00 000000001 0000 28/02/2099 9999 255 128 007\r\n";

TEST_F(UserCli, SendCountAndReceiveTheSameFile) {
  server.with(0, [](sim::SimTerminal& t) { t.userCapacity = 5; });
  dir.write("utenti.txt", kUsers);
  ASSERT_EQ(run({"21", "table", "send", "users", path("utenti.txt")}), 0) << err.str();
  ASSERT_EQ(run({"21", "table", "send", "users", path("utenti.txt"), "--clear"}), 0) << err.str();
  EXPECT_EQ(stored(), 3u);
  ASSERT_EQ(run({"21", "users", "count"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Numero utenti nella white-list del terminale = 3\n");
  ASSERT_EQ(run({"21", "table", "receive", "users", path("back.txt")}), 0) << err.str();
  const std::string got = dir.read("back.txt");
  EXPECT_EQ(got, kUsers) << hexDump(got);

  // More users than the terminal takes: asked, and without --yes nothing is sent.
  server.with(0, [](sim::SimTerminal& t) { t.userCapacity = 2; t.tables["0B"].clear(); });
  EXPECT_EQ(run({"21", "table", "send", "users", path("utenti.txt")}), 1);
  EXPECT_NE(err.str().find("Numero di record superiore alla capacita` del lettore. Continuare?"), std::string::npos);
  EXPECT_EQ(stored(), 0u);
  // A terminal that cannot tell its count fails the count, quietly falls back elsewhere.
  server.with(0, [](sim::SimTerminal& t) { t.userCountFails = true; });
  EXPECT_EQ(run({"21", "users", "count"}), 1);
  EXPECT_EQ(run({"21", "users", "import"}), 2);
}

TEST_F(UserCli, ImportWritesAUserFileWithoutATerminal) {
  dir.write("descr.dat", "003 006           \r\n000 000 1234      \r\n000 000 1-2-09    \r\n000 000           \r\n"
                         "009 003           \r\n000 000           \r\n000 000           \r\n001 002           \r\n012\r\n");
  dir.write("foreign.txt", "0700123401 x\r\n 2000007255x\r\n");
  ASSERT_EQ(run({"users", "import", path("foreign.txt"), path("descr.dat"), path("out.txt")}), 0) << err.str();
  const std::string got = dir.read("out.txt");
  EXPECT_EQ(got, "07 000001234 1234 01/02/1909 0000 001 000 000\r\n02 000000007 1234 01/02/1909 0000 255 000 000\r\n")
      << hexDump(got);
  // An invalid line fails and leaves OUT alone; an invalid description says why.
  dir.write("bad.txt", "0700000001 x\r\n");
  EXPECT_EQ(run({"users", "import", path("bad.txt"), path("descr.dat"), path("out.txt")}), 1);
  EXPECT_NE(err.str().find("Errore: importazione non riuscita."), std::string::npos);
  EXPECT_EQ(dir.read("out.txt"), got);
  dir.write("wrong.dat", "003 006           \r\n000 000 1234      \r\n000 008 1-2-09    \r\n000 000           \r\n"
                         "009 003           \r\n000 000           \r\n000 000           \r\n001 002           \r\n012\r\n");
  EXPECT_EQ(run({"users", "import", path("foreign.txt"), path("wrong.dat"), path("out.txt")}), 3);
  EXPECT_NE(err.str().find("Errore lunghezza 'scadenza' non valida (0,10)."), std::string::npos);
}

}  // namespace
}  // namespace cfg
