// cfgctl and USB handhelds, against termsim's simulated HID devices: the
// search listing, and a handheld's records collected as TERMINAL usb:ID.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/archive_settings.h"
#include "app/settings_files.h"
#include "app/terminal_lock.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hex.h"
#include "link/hid_device.h"
#include "records/archive_lines.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";

class HandheldCliTest : public ::testing::Test, public test::CliFolder {
 protected:
  void SetUp() override {
    attendance = sim::generateAttendance(7, 6);
    production = sim::generateProduction(7, 3);
    canteen = sim::generateCanteen(7, 4);
    sim::SimTerminal own("HND  ", 1);
    for (auto& r : attendance) own.add(r);
    for (auto& r : production) own.add(r);
    for (auto& r : canteen) own.add(r);
    server.addHandheld("H001", std::string(kPlant), sim::kHandheldProduct, own);
    server.addHandheld("H002", std::nullopt);
    server.addHandheld("H003", std::string("11112222"));
    server.addOther(0xFF00, 2, "Palmare HND-ZZ");
    ::setenv(kHidSimVariable, server.listen().c_str(), 1);
    server.start();
    dir.write("password.txt", std::string(kPlant) + "\r\n");
    ArchiveSettings a;
    a.prdEnabled = 1;
    a.cntEnabled = 1;
    a.mnsEnabled = 1;
    dir.write("acqreg.dat", archiveSettingsBytes(a));
  }
  void TearDown() override { ::unsetenv(kHidSimVariable); }

  // Lines as a fixed terminal numbered 1 writes them, the code then replaced.
  template <typename Records, typename Frame, typename Line>
  static std::string linesWithCode(const Records& records, Frame frame, Line line, const std::string& code) {
    LinkConfig fixed;
    fixed.number = 1;
    fixed.model = "LX-K3";
    std::string all;
    for (const auto& r : records) {
      std::string l = line(frame(1, r, 0, nullptr), fixed);
      if (l.empty()) continue;
      all += code + l.substr(4);
    }
    return all;
  }

  sim::SimHidServer server;
  std::vector<sim::AttendanceRecord> attendance;
  std::vector<sim::ProductionRecord> production;
  std::vector<sim::CanteenRecord> canteen;
};

TEST_F(HandheldCliTest, ListsTheHandheldsAndCollectsOneByItsId) {
  ASSERT_EQ(run({"handhelds", "usb"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "1\tH001\tPalmare HND-ZZ\tOk\n"
            "2\tH002\tPalmare HND-ZZ\tNon configurato\n"
            "3\t----\tPalmare HND-ZZ\tPassword errata\n");
  EXPECT_EQ(err.str(), "");

  ASSERT_EQ(run({"usb:H001", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 6 registrazioni.\n");
  EXPECT_EQ(err.str(), "") << "no word about config.dat: handhelds are not in it";
  std::string expected = linesWithCode(
      attendance, [](unsigned a, const auto& r, int p, const char*) { return sim::attendanceFrame(a, r, static_cast<std::uint16_t>(p)); },
      [](std::string_view f, const LinkConfig& c) { return attendanceLine(f, c); }, "H001");
  std::string got = dir.read("file_reg.txt");
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);

  // Production: file_prd.txt and the one-line archive carry the id; the
  // item file is the handheld's own and is gone once every job closed.
  ASSERT_EQ(run({"usb:H001", "acquire", "production"}), 0) << err.str();
  expected = linesWithCode(
      production, [](unsigned a, const auto& r, int p, const char*) { return sim::productionFrame(a, r, static_cast<std::uint16_t>(p)); },
      [](std::string_view f, const LinkConfig& c) { return productionLine(f, c); }, "H001");
  got = dir.read("file_prd.txt");
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);
  std::string cnt = dir.read("file_cnt.txt");
  std::istringstream lines(cnt);
  int jobs = 0;
  for (std::string line; std::getline(lines, line); ++jobs) EXPECT_EQ(line.substr(0, 5), "H001 ") << line;
  EXPECT_EQ(jobs, 3);
  for (const auto& f : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(f.path().filename().string().find("tmp.txt"), std::string::npos) << f.path();

  // Canteen replies are longer than one report; the canteen line carries the id too.
  ASSERT_EQ(run({"usb:H001", "acquire", "canteen"}), 0) << err.str();
  expected = linesWithCode(
      canteen, [](unsigned a, const auto& r, int p, const char*) { return sim::canteenFrame(a, r, static_cast<std::uint16_t>(p)); },
      [](std::string_view f, const LinkConfig& c) { return canteenLine(f, c); }, "H001");
  got = dir.read("file_mns.txt");
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);

  // Everything was acknowledged: a second run finds nothing new.
  ASSERT_EQ(run({"usb:H001", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 0 registrazioni.\n");
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  EXPECT_EQ(server.badReports(), 0);
  EXPECT_EQ(server.repeatedRequests(), 0) << "every reply, repeated and empty reports and all, came through first time";

  // The unconfigured handheld obeys the default password.
  ASSERT_EQ(run({"usb:H002", "version"}), 0) << err.str();
}

TEST_F(HandheldCliTest, EveryRefusalSaysWhy) {
  EXPECT_EQ(run({"usb:H1", "version"}), 2);
  EXPECT_NE(err.str().find("usb:ID"), std::string::npos) << err.str();
  EXPECT_EQ(run({"usb:ZZZZ", "version"}), 3);
  EXPECT_EQ(err.str(),
            "cfgctl: nessun terminale USB con codice ZZZZ (3 trovati; \"cfgctl handhelds usb\" li elenca).\n"
            "cfgctl: 1 di essi rifiutano sia la password d'impianto sia quella iniziale: il loro codice non si "
            "puo` leggere.\n");
  EXPECT_EQ(run({"handhelds", "bluetooth"}), 2);

  // A collector already holds the handheld.
  {
    TerminalLock lock;
    ASSERT_EQ(lock.acquire(handheldLockPath(dir.path(), "H001")), TerminalLock::Result::Held);
    EXPECT_EQ(run({"usb:H001", "acquire"}), 3);
    EXPECT_EQ(err.str(), std::string(kTerminalBusy) + "\n");
  }

  // Without a plant password no handheld is searched.
  ASSERT_TRUE(std::filesystem::remove(dir / "password.txt"));
  EXPECT_EQ(run({"handhelds", "usb"}), 3);
  EXPECT_EQ(err.str().substr(0, 29), "Errore: impostare password !\n");
  EXPECT_EQ(run({"usb:H001", "count", "attendance"}), 3);

  // Nothing on the bus: said, and a failure.
  server.stop();
  sim::SimHidServer empty;
  empty.addOther(0x0001, 2, "Mouse");
  ::setenv(kHidSimVariable, empty.listen().c_str(), 1);
  empty.start();
  dir.write("password.txt", std::string(kPlant) + "\r\n");
  EXPECT_EQ(run({"handhelds", "usb"}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "Nessun terminale USB trovato.\n");
}

}  // namespace
}  // namespace cfg
