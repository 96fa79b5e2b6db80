// cfgctl reader-id against a simulated USB handheld: the identification
// read, replaced through "set" (into the next slot of the ring, the rest of
// the record kept) and read back; the command line's refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hid_device.h"
#include "sim/sim_hid.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";

class ReaderIdCliTest : public ::testing::Test, public test::CliFolder {
 protected:
  void SetUp() override {
    sim::SimTerminal own("HND  ", 1);
    // Slot 1 in force: ID 0102030405, "REPARTO 1" / "LINEA A", a tail of 0x5A.
    const std::string record = std::string("\x01\x01\x02\x03\x04\x05", 6) + "REPARTO 1           " +
                               "LINEA A             " + std::string(82, '\x5A');
    for (std::uint32_t i = 0; i < 128; ++i) {
      own.poke(0x27E000 + i, 0x00);
      own.poke(0x27E080 + i, static_cast<std::uint8_t>(record[i]));
    }
    server.addHandheld("H001", std::string(kPlant), sim::kHandheldProduct, own);
    ::setenv(kHidSimVariable, server.listen().c_str(), 1);
    server.start();
    dir.write("password.txt", std::string(kPlant) + "\r\n");
  }
  void TearDown() override { ::unsetenv(kHidSimVariable); }

  std::string slot(std::uint32_t address) {
    return server.with(0, [address](sim::SimTerminal& t) {
      std::string b;
      for (std::uint32_t i = 0; i < 128; ++i) b += static_cast<char>(t.peek(address + i));
      return b;
    });
  }

  sim::SimHidServer server;
};

TEST_F(ReaderIdCliTest, ReadsSetsAndReadsBack) {
  ASSERT_EQ(run({"usb:H001", "reader-id"}), 0) << err.str();
  EXPECT_EQ(out.str(), "ID lettore: 0102030405\nDescrizione 1: REPARTO 1\nDescrizione 2: LINEA A\n");

  ASSERT_EQ(run({"usb:H001", "reader-id", "set", "0A1B2C3D4E", "MAGAZZINO", "TURNO \xC3\xA8"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Identificazione lettore 0A1B2C3D4E inviata.\n");
  // Slot 2 holds the new record with the old tail; slot 1 is given up.
  const std::string expected = std::string("\x01\x0A\x1B\x2C\x3D\x4E", 6) + "MAGAZZINO           " +
                               "TURNO \xE8             " + std::string(82, '\x5A');
  EXPECT_EQ(slot(0x27E100), expected);
  EXPECT_EQ(slot(0x27E080)[0], '\0');

  ASSERT_EQ(run({"usb:H001", "reader-id"}), 0) << err.str();
  EXPECT_EQ(out.str(), "ID lettore: 0A1B2C3D4E\nDescrizione 1: MAGAZZINO\nDescrizione 2: TURNO \xC3\xA8\n");
}

TEST_F(ReaderIdCliTest, RefusesBadArgumentsAndHandheldsWithoutIdentification) {
  EXPECT_EQ(run({"usb:H001", "reader-id", "set", "0a1b2c3d4e", "A", "B"}), 2);
  EXPECT_NE(err.str().find("Errore: ID non valido (10 caratteri alfanumerici)."), std::string::npos) << err.str();
  EXPECT_EQ(run({"usb:H001", "reader-id", "set", "0A1B2C3D4E", std::string(21, 'X'), "B"}), 2);
  EXPECT_EQ(run({"usb:H001", "reader-id", "get"}), 2);

  server.with(0, [](sim::SimTerminal& t) { t.poke(0x27E080, 0xFF); });  // nothing in force
  EXPECT_EQ(run({"usb:H001", "reader-id", "set", "0A1B2C3D4E", "A", "B"}), 1);
  EXPECT_NE(err.str().find("nulla e` stato scritto"), std::string::npos) << err.str();
  EXPECT_EQ(slot(0x27E100)[0], '\xFF');  // a fresh slot: untouched
}

}  // namespace
}  // namespace cfg
