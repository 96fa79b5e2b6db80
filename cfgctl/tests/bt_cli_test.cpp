// cfgctl and Bluetooth handhelds through the system stack, against termsim's
// simulated radio: which devices the search looks at and lists, and a
// handheld's records collected as TERMINAL bt:ID.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "app/archive_settings.h"
#include "app/settings_files.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/bt_system.h"
#include "link/hex.h"
#include "records/archive_lines.h"
#include "sim/sim_bt.h"
#include "sim/sim_records.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";

std::array<std::uint8_t, 6> address(const char* text) { return *sim::parseBtAddress(text); }

class BtCliTest : public ::testing::Test, public test::CliFolder {
 protected:
  void SetUp() override {
    attendance = sim::generateAttendance(11, 7);
    sim::SimTerminal own("HND  ", 1);
    for (auto& r : attendance) own.add(r);
    // 0: a handheld of this plant under the stack's default name.
    server.addHandheld(address("00:08:E0:00:00:01"), "H001", std::string(kPlant), "SPP140", "SPP140", own);
    // 1: a device of another maker: never looked at.
    server.addHandheld(address("00:08:E1:00:00:02"), "H002", std::nullopt, "SPP140", "SPP140");
    // 2: a handheld without a serial-port service: looked up, not listed.
    server.addHandheld(address("00:A0:96:00:00:03"), "H003", std::nullopt, "HND-3", std::nullopt);
    // 3: another plant's handheld.
    server.addHandheld(address("00:A0:96:00:00:04"), "H004", std::string("11112222"), "HND-4", "Porta seriale");
    // 4: not configured yet.
    server.addHandheld(address("00:A0:96:00:00:05"), "H005", std::nullopt, "HND-5", "Porta seriale");
    // 5: handheld 0 again: the inquiry reports it twice, its service comes twice.
    server.addHandheld(address("00:08:E0:00:00:01"), "H001", std::string(kPlant), "SPP140", "SPP140");
    ::setenv(kBtSimVariable, server.listen().c_str(), 1);
    server.start();
    dir.write("password.txt", std::string(kPlant) + "\r\n");
  }
  void TearDown() override { ::unsetenv(kBtSimVariable); }


  sim::SimBtServer server;
  std::vector<sim::AttendanceRecord> attendance;
};

TEST_F(BtCliTest, ListsTheHandheldsOnceEachAndCollectsOneByItsId) {
  ASSERT_EQ(run({"handhelds", "bt-system"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "1\tH001\tPalmare HND\tOk\n"
            "2\t----\tHND-4\tPassword errata\n"
            "3\tH005\tHND-5\tNon configurato\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(server.lookups(1), 0) << "00:08:E1 is no handheld's prefix: no service lookup";
  EXPECT_EQ(server.lookups(2), 1);

  ASSERT_EQ(run({"bt:H001", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 7 registrazioni.\n");
  LinkConfig fixed;
  fixed.number = 1;
  fixed.model = "LX-K3";
  std::string expected;
  for (const auto& r : attendance) {
    std::string l = attendanceLine(sim::attendanceFrame(1, r, 0), fixed);
    if (!l.empty()) expected += "H001" + l.substr(4);
  }
  std::string got = dir.read("file_reg.txt");
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);

  // The system stack is the default; naming it changes nothing.
  ASSERT_EQ(run({"--stack", "system", "bt:H005", "version"}), 0) << err.str();
  EXPECT_EQ(run({"bt:H003", "version"}), 3);
  EXPECT_EQ(err.str(),
            "cfgctl: nessun terminale Bluetooth con codice H003 (3 trovati; \"cfgctl handhelds bt-system\" li "
            "elenca).\n"
            "cfgctl: 1 di essi rifiutano sia la password d'impianto sia quella iniziale: il loro codice non si "
            "puo` leggere.\n");
  EXPECT_EQ(run({"--stack", "bluetooth", "bt:H001", "version"}), 2);
  EXPECT_EQ(run({"--stack", "system", "usb:H001", "version"}), 2);
}

TEST_F(BtCliTest, TheVendorStackListsTheSameAndCollectsThroughItsSerialPort) {
  ASSERT_EQ(run({"handhelds", "bt-vendor"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "1\tH001\tPalmare HND\tOk\n"
            "2\t----\tHND-4\tPassword errata\n"
            "3\tH005\tHND-5\tNon configurato\n");
  EXPECT_EQ(server.lookups(1), 0) << "00:08:E1 is no handheld's prefix: no service lookup";

  ASSERT_EQ(run({"--stack", "vendor", "bt:H001", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 7 registrazioni.\n");
  LinkConfig fixed;
  fixed.number = 1;
  fixed.model = "LX-K3";
  std::string expected;
  for (const auto& r : attendance) {
    std::string l = attendanceLine(sim::attendanceFrame(1, r, 0), fixed);
    if (!l.empty()) expected += "H001" + l.substr(4);
  }
  std::string got = dir.read("file_reg.txt");
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
}

TEST(BtCliNoRadioTest, SaysSoAndSearchesNothing) {
  sim::SimBtServer server;
  server.addHandheld(address("00:08:E0:00:00:01"), "H001", std::nullopt, "SPP140", "SPP140");
  server.setNoRadio();
  ::setenv(kBtSimVariable, server.listen().c_str(), 1);
  server.start();
  test::TempDir dir;
  dir.write("password.txt", std::string(kPlant) + "\r\n");
  std::ostringstream out, err;
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "handhelds", "bt-system"}, out, err, false), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "Attenzione: periferica bluetooth non trovata !\nNessun terminale Bluetooth trovato.\n");
  err.str("");
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "handhelds", "bt-vendor"}, out, err, false), 1);
  EXPECT_EQ(err.str(), "Attenzione: periferica bluetooth non trovata !\nNessun terminale Bluetooth trovato.\n");
  EXPECT_EQ(server.lookups(0), 0);
  ::unsetenv(kBtSimVariable);
}

}  // namespace
}  // namespace cfg
