// Logo bitmaps: the file's checks, the display layouts of the LX-P2 and
// LX-K5, and whole logos written into termsim's memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "link/hex.h"
#include "maintenance/logo.h"
#include "sim/sim_loader.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using Pattern = std::function<bool(int x, int y)>;  // true = dark pixel

void put16(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

// A one-bit bottom-up bitmap as Windows writes it: palette 0 black, 1 white,
// leftmost pixel in the high bit, rows padded to 4 bytes.
std::vector<std::uint8_t> makeBmp(int width, int height, const Pattern& dark, int bitsPerPixel = 1) {
  std::size_t rowBytes = static_cast<std::size_t>((width + 31) / 32 * 4);
  std::vector<std::uint8_t> b(62 + rowBytes * static_cast<std::size_t>(height), 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, static_cast<unsigned>(b.size()));
  put32(b, 10, 62);
  put32(b, 14, 40);
  put32(b, 18, static_cast<unsigned>(width));
  put32(b, 22, static_cast<unsigned>(height));
  put16(b, 26, 1);
  put16(b, 28, static_cast<unsigned>(bitsPerPixel));
  put32(b, 34, static_cast<unsigned>(rowBytes * static_cast<std::size_t>(height)));
  b[58] = b[59] = b[60] = 0xFF;  // colour 1: white
  for (int y = 0; y < height; ++y) {
    std::size_t row = 62 + static_cast<std::size_t>(height - 1 - y) * rowBytes;
    for (int x = 0; x < width; ++x)
      if (!dark(x, y)) b[row + static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
  }
  return b;
}

std::filesystem::path save(const test::TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& b) {
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                     static_cast<std::streamsize>(b.size()));
  return dir / name;
}

// What the display memory must hold, from the pixels alone: LX-P2 rows of
// 30 bytes, leftmost pixel in bit 0, 1 = dark; LX-K5 00 80 40, per band of 8
// rows one byte per column (bit k = row k of the band), pad byte 0.
std::vector<std::uint8_t> expectedMemory(LogoModel model, const Pattern& dark) {
  std::vector<std::uint8_t> m;
  if (model == LogoModel::P2) {
    for (int y = 0; y < 128; ++y)
      for (int i = 0; i < 30; ++i) {
        std::uint8_t v = 0;
        for (int b = 0; b < 8; ++b)
          if (dark(8 * i + b, y)) v |= static_cast<std::uint8_t>(1 << b);
        m.push_back(v);
      }
    return m;
  }
  m = {0x00, 0x80, 0x40};
  for (int band = 0; band < 8; ++band)
    for (int x = 0; x < 128; ++x) {
      std::uint8_t v = 0;
      for (int k = 0; k < 8; ++k)
        if (dark(x, band * 8 + k)) v |= static_cast<std::uint8_t>(1 << k);
      m.push_back(v);
    }
  m.push_back(0x00);
  return m;
}

::testing::AssertionResult sameBytes(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& got) {
  auto dump = [](const std::vector<std::uint8_t>& b, std::size_t at) {
    std::size_t from = at > 8 ? at - 8 : 0;
    return hexDump(std::string_view(reinterpret_cast<const char*>(b.data()) + from,
                                    std::min<std::size_t>(20, b.size() - from)));
  };
  for (std::size_t i = 0; i < std::min(expected.size(), got.size()); ++i)
    if (expected[i] != got[i])
      return ::testing::AssertionFailure() << "byte " << i << " differs\n  expected " << dump(expected, i)
                                           << "\n  got      " << dump(got, i);
  if (expected.size() != got.size())
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << got.size();
  return ::testing::AssertionSuccess();
}

// Asymmetric in x and y, so a flipped or mirrored image cannot pass.
const Pattern kPattern = [](int x, int y) { return (x * 7 + y * 3) % 5 == 0 || (x < 20 && y < 6) || x == 2 * y; };

TEST(LogoFile, EachModelTakesOnlyItsOwnOneBitBitmap) {
  test::TempDir dir;
  LogoFile f;
  auto p2 = save(dir, "p2.bmp", makeBmp(240, 128, kPattern));
  auto k5 = save(dir, "k5.bmp", makeBmp(128, 64, kPattern));
  EXPECT_EQ(std::filesystem::file_size(p2), 4158u);
  EXPECT_EQ(std::filesystem::file_size(k5), 1086u);
  EXPECT_TRUE(readLogoFile(p2, LogoModel::P2, f));
  EXPECT_FALSE(readLogoFile(p2, LogoModel::K5, f));
  EXPECT_TRUE(readLogoFile(k5, LogoModel::K5, f));
  EXPECT_FALSE(readLogoFile(k5, LogoModel::P2, f));  // too short for the LX-P2
  EXPECT_FALSE(f.loaded());
  // Other depths, planes, truncation, missing files.
  auto eightBit = makeBmp(128, 64, kPattern, 8);
  EXPECT_FALSE(readLogoFile(save(dir, "8.bmp", eightBit), LogoModel::K5, f));
  auto planes = makeBmp(128, 64, kPattern);
  planes[26] = 2;
  EXPECT_FALSE(readLogoFile(save(dir, "planes.bmp", planes), LogoModel::K5, f));
  // A top-down bitmap (negative height) and one 496 pixels wide share the low bytes of a good one.
  auto topDown = makeBmp(240, 128, kPattern);
  put32(topDown, 22, static_cast<unsigned>(-128));
  EXPECT_FALSE(readLogoFile(save(dir, "topdown.bmp", topDown), LogoModel::P2, f));
  auto wide = makeBmp(240, 128, kPattern);
  put32(wide, 18, 496);
  EXPECT_FALSE(readLogoFile(save(dir, "wide.bmp", wide), LogoModel::P2, f));
  auto torn = makeBmp(240, 128, kPattern);
  torn.resize(4157);
  EXPECT_FALSE(readLogoFile(save(dir, "torn.bmp", torn), LogoModel::P2, f));
  EXPECT_FALSE(readLogoFile(dir / "none.bmp", LogoModel::P2, f));
}

TEST(LogoCommands, AddressesOfBothSlotsAndTheFirstK5Command) {
  test::TempDir dir;
  LogoFile p2, k5;
  ASSERT_TRUE(readLogoFile(save(dir, "p2.bmp", makeBmp(240, 128, kPattern)), LogoModel::P2, p2));
  ASSERT_TRUE(readLogoFile(save(dir, "k5.bmp", makeBmp(128, 64, kPattern)), LogoModel::K5, k5));

  struct Case {
    LogoModel model;
    const LogoFile& file;
    int slot;
    std::size_t commands;
    unsigned first, last;  // addresses
  };
  for (const Case& c : {Case{LogoModel::P2, p2, 1, 960, 0x420000, 0x420EFC}, Case{LogoModel::P2, p2, 2, 960, 0x421000, 0x421EFC},
                        Case{LogoModel::K5, k5, 1, 257, 0x820000, 0x820400}, Case{LogoModel::K5, k5, 2, 257, 0x820500, 0x820900}}) {
    auto commands = logoCommands(c.model, c.file, c.slot);
    ASSERT_EQ(commands.size(), c.commands);
    auto memory = expectedMemory(c.model, kPattern);
    for (std::size_t i = 0; i < commands.size(); ++i) {
      char expected[32];
      const std::uint8_t* p = memory.data() + 4 * i;
      std::snprintf(expected, sizeof expected, "2E%06X%02X%02X%02X%02X", c.first + 4 * static_cast<unsigned>(i), p[0], p[1],
                    p[2], p[3]);
      ASSERT_EQ(commands[i], expected) << "command " << i << " of slot " << c.slot;
    }
    EXPECT_EQ(commands.back().substr(2, 6), [&] {
      char a[8];
      std::snprintf(a, sizeof a, "%06X", c.last);
      return std::string(a);
    }());
  }
  // The first LX-K5 command: the 00 80 40 header and the first column byte.
  std::uint8_t firstColumn = 0;
  for (int k = 0; k < 8; ++k)
    if (kPattern(0, k)) firstColumn |= static_cast<std::uint8_t>(1 << k);
  EXPECT_EQ(logoCommands(LogoModel::K5, k5, 1)[0], "2E820000008040" + byteToHex(firstColumn));

  // An all-white bitmap (bit 1 white) sends nothing but zeros to an LX-P2.
  LogoFile white;
  ASSERT_TRUE(readLogoFile(save(dir, "white.bmp", makeBmp(240, 128, [](int, int) { return false; })), LogoModel::P2,
                           white));
  for (const auto& c : logoCommands(LogoModel::P2, white, 1)) ASSERT_EQ(c.substr(8), "00000000") << c;
}

class LogoToTermsim : public ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(LogoToTermsim, TheSlotHoldsTheDisplayImage) {
  auto [model, slot] = GetParam();
  LogoModel lm = *logoModelOf(model);
  const LogoGeometry& g = logoGeometry(lm);
  test::TempDir dir;
  LogoFile file;
  ASSERT_TRUE(readLogoFile(save(dir, "logo.bmp", makeBmp(g.width, g.height, kPattern)), lm, file));

  sim::SimServer server;
  server.add(sim::SimTerminal(model, 3));
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.model = model;
  link.config.address = "03";
  link.config.tcp = true;
  link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = server.listenTcp();
  server.start();
  ASSERT_TRUE(link.open(messages, PortMap{}));
  LogoRun run;
  Worker worker;
  std::vector<int> counters;
  ASSERT_EQ(runHeadless(worker, messages, [&, slot = slot](Worker& w) { sendLogo(w, link, messages, lm, file, slot, run); }, 60000,
                        [&](const ProgressUpdate& u) { counters.push_back(u.second); }),
            HeadlessEnd::Closed);
  EXPECT_TRUE(run.completed);
  EXPECT_EQ(run.commandsSent, g.commands);
  auto held = server.with(0, [slot = slot](sim::SimTerminal& t) { return sim::logoSlot(t, slot); });
  EXPECT_TRUE(sameBytes(expectedMemory(lm, kPattern), held));
  // The other slot was not touched.
  auto other = server.with(0, [slot = slot](sim::SimTerminal& t) { return sim::logoSlot(t, 3 - slot); });
  EXPECT_EQ(std::count(other.begin(), other.end(), 0xFF), static_cast<std::ptrdiff_t>(other.size()));
  // The counter climbs by one per step: 192 steps on the LX-P2, 85 on the LX-K5.
  ASSERT_FALSE(counters.empty());
  EXPECT_EQ(counters.front(), 1);
  EXPECT_EQ(counters.back(), lm == LogoModel::P2 ? 192 : 85);
  EXPECT_EQ(prompt.count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, LogoToTermsim,
                         ::testing::Values(std::make_tuple("LX-P2", 2), std::make_tuple("LX-K5", 1),
                                           std::make_tuple("LX-K5", 2)));

TEST(LogoImageMagick, BitmapsItMakesAreReadAsDrawn) {
  if (std::system("convert -version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick's convert is not installed: the check with its bitmaps is skipped";
  test::TempDir dir;
  struct Case {
    LogoModel model;
    int w, h;
    int x0, y0, x1, y1;  // the black rectangle drawn
  };
  for (const Case& c : {Case{LogoModel::P2, 240, 128, 10, 10, 50, 40}, Case{LogoModel::K5, 128, 64, 3, 9, 70, 20}}) {
    auto path = dir / (std::to_string(c.w) + ".bmp");
    std::string command = "convert -size " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                          " xc:white -fill black -draw 'rectangle " + std::to_string(c.x0) + "," + std::to_string(c.y0) +
                          " " + std::to_string(c.x1) + "," + std::to_string(c.y1) + "' -type bilevel BMP3:" + path.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    LogoFile f;
    ASSERT_TRUE(readLogoFile(path, c.model, f)) << path;
    EXPECT_FALSE(readLogoFile(path, c.model == LogoModel::P2 ? LogoModel::K5 : LogoModel::P2, f));
    ASSERT_TRUE(readLogoFile(path, c.model, f));
    Pattern rect = [c](int x, int y) { return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1; };
    EXPECT_TRUE(sameBytes(expectedMemory(c.model, rect), logoPayload(c.model, f))) << command;
  }
}

}  // namespace
}  // namespace cfg
