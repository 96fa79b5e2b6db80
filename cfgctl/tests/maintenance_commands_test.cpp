// cfgctl's firmware and logo commands against termsim, in-process.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "app/registry.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "link/hex.h"
#include "maintenance/logo.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

// Whole blocks whose 16-bit words XOR to 0xFFFF (fewer than 1024 blocks).
std::string firmwareBytes(std::size_t blocks) {
  std::string b(blocks * 128, '\0');
  std::mt19937 rng(42);
  for (auto& c : b) c = static_cast<char>(rng());
  std::uint16_t x = 0;
  for (std::size_t i = 0; i + 2 < b.size(); i += 2)
    x ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[i]) | static_cast<std::uint8_t>(b[i + 1]) << 8);
  x ^= 0xFFFF;
  b[b.size() - 2] = static_cast<char>(x & 0xFF);
  b[b.size() - 1] = static_cast<char>(x >> 8);
  return b;
}

// A 240x128 one-bit bitmap: palette black/white, a diagonal of dark pixels.
std::string p2Bitmap() {
  std::string b(4158, '\0');
  const unsigned char head[] = {'B', 'M', 0x3E, 0x10, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0, 240, 0, 0, 0, 128, 0,
                                0,   0,   1,    0,    1, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,   0, 0, 0, 0,   0,
                                0,   0,   0,    0,    0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
  std::copy(std::begin(head), std::end(head), b.begin());
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 240; ++x)
      if (x != y) b[62 + static_cast<std::size_t>(127 - y) * 32 + static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
  return b;
}

class CliMaintenance : public ::testing::Test, public test::CliFolder {
 protected:
  void setUp(const char* model) {
    sim::SimTerminal t(model, 4);
    t.readerVersion[1] = "READER 2";
    server.add(std::move(t));
    dir.write("config.dat", registryLine(test::tcpRow(12, model, server.listenTcp(), 4)) + "\r\n");
    server.start();
  }
  std::string received() {
    return server.with(0, [](sim::SimTerminal& t) {
      return std::string(t.loader.image().begin(), t.loader.image().end());
    });
  }

  sim::SimServer server;
};

TEST_F(CliMaintenance, FirmwareReachesTheLoaderOnlyPastTheRecordWarning) {
  setUp("LX-K1");
  server.with(0, [](sim::SimTerminal& t) { t.add(sim::AttendanceRecord{}); });
  std::string image = firmwareBytes(40);
  dir.write("fw.bin", image);
  auto fw = (dir / "fw.bin").string();

  EXPECT_EQ(run({"12", "firmware", fw}), 1);
  EXPECT_NE(err.str().find("ATTENZIONE! Rilevate 1 transazioni non scaricate che verranno cancellate. Continuare?"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(server.requests().size(), 1u);  // the count only
  EXPECT_TRUE(received().empty());

  EXPECT_EQ(run({"12", "firmware", fw, "--yes"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Firmware inviato: 40 blocchi.\n");
  EXPECT_EQ(hexDump(received()), hexDump(image));

  // A reader module: "3302", no question asked.
  EXPECT_EQ(run({"12", "firmware", "--reader", "2", fw}), 0) << err.str();
  EXPECT_EQ(server.requests().back().substr(4, 4), "3302");
  EXPECT_EQ(hexDump(received()), hexDump(image));
}

TEST_F(CliMaintenance, BadFilesAndArgumentsNeverReachTheTerminal) {
  setUp("LX-K3");
  dir.write("480.bin", firmwareBytes(480));  // LX-K3 takes exactly 479 blocks
  dir.write("torn.bin", firmwareBytes(10) + "x");
  dir.write("logo.bmp", p2Bitmap());
  for (const char* file : {"480.bin", "torn.bin", "missing.bin"}) {
    EXPECT_EQ(run({"12", "firmware", (dir / file).string(), "--yes"}), 1) << file;
    EXPECT_NE(err.str().find("Errore: dati non corretti."), std::string::npos) << err.str();
  }
  EXPECT_EQ(run({"12", "firmware", (dir / "480.bin").string(), "--reader", "3"}), 2);
  EXPECT_EQ(run({"12", "firmware"}), 2);
  EXPECT_EQ(run({"12", "logo", (dir / "logo.bmp").string()}), 2);  // no slot
  EXPECT_EQ(run({"12", "logo", (dir / "logo.bmp").string(), "--slot", "2"}), 2);  // an LX-K3 has no logo
  EXPECT_NE(err.str().find("LX-P2 e LX-K5"), std::string::npos) << err.str();
  EXPECT_EQ(server.connections(), 0);
}

TEST_F(CliMaintenance, LogoGoesIntoTheChosenSlot) {
  setUp("LX-P2");
  dir.write("logo.bmp", p2Bitmap());
  dir.write("k5.bmp", p2Bitmap().substr(0, 1086));
  EXPECT_EQ(run({"12", "logo", (dir / "k5.bmp").string(), "--slot", "1"}), 1);
  EXPECT_NE(err.str().find("Errore: lettura bitmap fallita."), std::string::npos) << err.str();

  EXPECT_EQ(run({"12", "logo", (dir / "logo.bmp").string(), "--slot", "2"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Logo 2 inviato.\n");
  auto slot2 = server.with(0, [](sim::SimTerminal& t) { return sim::logoSlot(t, 2); });
  // The diagonal: display row y has pixel y dark, in bit y % 8 of byte y / 8.
  for (int y = 0; y < 128; ++y)
    for (int i = 0; i < 30; ++i) {
      std::uint8_t expected = i == y / 8 ? static_cast<std::uint8_t>(1 << (y % 8)) : 0;
      ASSERT_EQ(slot2[static_cast<std::size_t>(y * 30 + i)], expected) << "row " << y << " byte " << i;
    }
  auto slot1 = server.with(0, [](sim::SimTerminal& t) { return sim::logoSlot(t, 1); });
  EXPECT_EQ(std::count(slot1.begin(), slot1.end(), 0xFF), 3840);
}

}  // namespace
}  // namespace cfg
