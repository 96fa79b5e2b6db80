// "cfgctl batch FILE" against termsim's USB handhelds: what it prints, its
// exit status, and what the handhelds and the archives hold afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "app/archive_settings.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "link/hex.h"
#include "link/hid_device.h"
#include "records/archive_lines.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "sim/sim_terminal.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";

TEST(BatchCliTest, RunsInBackgroundPrintsTheLogAndFailsWhenAnOperationFailed) {
  std::vector<sim::ProductionRecord> production = sim::generateProduction(5, 2);
  sim::SimTerminal own("HND  ", 1);
  for (auto& r : production) own.add(r);
  sim::SimHidServer server;
  server.addHandheld("H001", std::string(kPlant), sim::kHandheldProduct, own);
  ::setenv(kHidSimVariable, server.listen().c_str(), 1);
  server.start();
  test::TempDir dir;
  dir.write("password.txt", std::string(kPlant) + "\r\n");
  ArchiveSettings a;
  a.prdEnabled = 1;
  dir.write("acqreg.dat", archiveSettingsBytes(a));
  std::filesystem::create_directory(dir / "tables");
  // With a window in the file's flags: cfgctl runs it in background all the same.
  dir.write("tables/daily.cmd", "0100 00022000\r\n");
  std::ostringstream out, err;
  auto run = [&] {
    out.str("");
    err.str("");
    return cli::run({"-C", dir.path().string(), "batch", (dir / "tables/daily.cmd").string()}, out, err, false);
  };

  // giustifi.txt is not beside the batch file: that line fails, the records come.
  EXPECT_EQ(run(), cli::kFailed) << err.str();
  std::string log = dir.read("file_log.txt");
  std::string shown = out.str();
  EXPECT_NE(shown.find("H001: lettura file " + (dir / "tables").string() + "\\giustifi.txt FALLITO\n"),
            std::string::npos)
      << shown;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 5) << "start, two lines, end and its empty line:\n"
                                                             << shown;
  EXPECT_NE(log.find("\r\nH001: lettura file "), std::string::npos) << hexDump(log);
  LinkConfig code;
  code.model = "HND  ";
  code.handheldId = "H001";
  std::string prd;
  std::size_t records = 0;
  for (const auto& r : production) {
    prd += productionLine(sim::productionFrame(1, r, 0), code);
    ++records;
  }
  EXPECT_EQ(dir.read("file_prd.txt"), prd) << hexDump(dir.read("file_prd.txt"));
  EXPECT_NE(shown.find("H001: acq. registrazioni produzione (" + std::to_string(records) + " record) OK\n"),
            std::string::npos)
      << shown;

  // Now with the table beside the batch file: everything succeeds.
  dir.write("tables/giustifi.txt", "00001 Ferie            00\r\n00002 Malattia         00\r\n");
  EXPECT_EQ(run(), cli::kOk) << err.str() << out.str();
  EXPECT_NE(out.str().find("H001: invio tabella giustificativi (2 record) OK\n"), std::string::npos) << out.str();
  server.with(0, [](sim::SimTerminal& t) {
    EXPECT_EQ(t.tables["52"], (std::vector<std::string>{"000001" + sim::hexText("Ferie", 16) + "00",
                                                        "000002" + sim::hexText("Malattia", 16) + "00"}));
    EXPECT_EQ(t.production.unacknowledged(), 0u);
  });
  ::unsetenv(kHidSimVariable);
}

}  // namespace
}  // namespace cfg
