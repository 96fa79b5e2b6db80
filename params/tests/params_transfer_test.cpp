// Reading and writing the parameter image against termsim, the handheld's
// slot ring and the parameter file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "link/hex.h"
#include "link/transaction.h"
#include "link/tests/sim_line.h"
#include "params/image.h"
#include "params/pages.h"
#include "params/transfer.h"
#include "sim/sim_params.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using sim::SimTerminal;
using test::SimLine;

std::string dump(const ParameterImage& image) {
  std::string out;
  for (int b = 0; b < kParameterBlocks; ++b) {
    char head[16];
    std::snprintf(head, sizeof head, "\nblock %d:", b);
    out += head;
    for (std::size_t i = 0; i < kBlockSizes[static_cast<std::size_t>(b)]; ++i) {
      if (i % 32 == 0) out += "\n  ";
      out += byteToHex(image.at(b, i));
    }
  }
  return out;
}

TransferEnd run(SimLine& line, ParameterState& state, bool write, int limitMs = 60000) {
  Worker worker;
  TransferEnd end = TransferEnd::Failed;
  runHeadless(worker, line.messages, [&](Worker& w) {
    end = write ? writeAllParameters(w, line.link, line.messages, state)
                : readAllParameters(w, line.link, line.messages, state);
  }, limitMs);
  return end;
}

// A value for `f` that differs from `shown` and passes the page's checks.
std::string changed(const Field& f, const std::string& shown) {
  switch (widgetOf(f.encoding)) {
    case Widget::Check:
    case Widget::Radio: return shown == "1" ? "0" : "1";
    case Widget::Combo: return std::to_string((std::stoi(shown) + 1) % static_cast<int>(f.list.size()));
    case Widget::Edit: break;
  }
  switch (f.encoding) {
    case Encoding::Bcd: return f.role == FieldRole::Password ? "12345678" : "1234";
    case Encoding::Time: return "07:30";
    case Encoding::Text: return "REPARTO \xC8 NORD";
    default: return std::to_string(shown == std::to_string(f.max) ? f.min : f.max);
  }
}

struct RoundTrip {
  const char* model;
  int transfers;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.model; }

class ParameterRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// Read, change one field per page through the page table, write, read back:
// what comes back is byte for byte what was written, the terminal kept its
// address and speed, and every transfer was one word.
TEST_P(ParameterRoundTrip, ReadChangeWriteReadBack) {
  const RoundTrip& c = GetParam();
  SimLine line(c.model, 7);
  ASSERT_TRUE(line.opened);
  ParameterState state;
  selectParameterLayout(state, c.model);
  ASSERT_NE(state.model, ParamModel::None);
  ASSERT_EQ(transferCount(state.model), c.transfers);

  ASSERT_EQ(run(line, state, false), TransferEnd::Done);
  ParameterImage factory;
  loadModelDefaults(factory, state.model);
  bool hnd = state.model == ParamModel::Hnd;
  if (!hnd) {
    factory.at(0, 0) = 7;  // the terminal's own address and speed index
    factory.at(0, 1) = 3;
  }
  if (state.model != ParamModel::P2 && state.model != ParamModel::K5)
    std::fill(factory.block(0) + 64, factory.block(0) + 96, std::uint8_t{0});
  EXPECT_EQ(state.image, factory) << "read:" << dump(state.image) << "\nfactory:" << dump(factory);
  std::size_t readRequests = line.server.requests().size();
  EXPECT_EQ(readRequests, static_cast<std::size_t>(c.transfers) + (hnd ? 1 : 0));

  for (int page = 1; page <= pageCount(state.model); ++page) {
    auto on = fieldsOnPage(state.model, page);
    ASSERT_FALSE(on.empty()) << "page " << page;
    auto values = showPage(state.model, page, state.image);
    // The first field that changes on its own: not one of a set of buttons
    // sharing a byte, not the start of a band (it must stay before its end).
    const auto& fields = fieldsOf(state.model);
    auto alone = [&](std::size_t k) {
      const Field& f = fields[on[k]];
      if (f.role == FieldRole::BandFrom) return false;
      if (f.encoding == Encoding::Bit || f.band >= 0) return true;
      return std::none_of(on.begin(), on.end(), [&](std::size_t j) {
        return j != on[k] && fields[j].block == f.block && fields[j].byte == f.byte;
      });
    };
    std::size_t pick = 0;
    while (pick + 1 < on.size() && !alone(pick)) ++pick;
    const Field& f = fields[on[pick]];
    values[pick] = changed(f, values[pick]);
    StoreResult stored = storePage(state.model, page, values, state.image);
    // Factory values that the page refuses (a position 0) are mended first.
    for (int tries = 0; !stored.ok && stored.field != pick && tries < 10; ++tries) {
      values[stored.field] = std::to_string(fieldsOf(state.model)[on[stored.field]].min);
      stored = storePage(state.model, page, values, state.image);
    }
    ASSERT_TRUE(stored.ok) << "page " << page << " " << f.caption << ": " << stored.message;
    EXPECT_EQ(showPage(state.model, page, state.image)[pick], values[pick]) << "page " << page << " " << f.caption;
  }
  state.image.at(0, 0) = 0x55;  // never reaches the terminal
  state.image.at(0, 1) = 0x66;
  ParameterImage written = state.image;

  std::uint32_t oldSlot = 0;
  if (hnd) oldSlot = *line.terminal([](SimTerminal& t) { return sim::currentParameterSlot(t); });
  ASSERT_EQ(run(line, state, true), TransferEnd::Done);
  auto commands = line.commands();
  EXPECT_EQ(commands.back(), "30") << "the terminal restarts with the new parameters";
  if (hnd) {
    written.at(0, 0) = 1;
    written.at(0, 1) = 1;
    EXPECT_EQ(line.terminal([](SimTerminal& t) { return sim::currentParameterSlot(t); }), oldSlot + 64);
    EXPECT_EQ(line.terminal([&](SimTerminal& t) { return t.peek(oldSlot); }), 0x00) << "old slot invalidated";
  } else {
    written.at(0, 0) = 7;
    written.at(0, 1) = 3;
    EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.peek(t.configBlockAddress()); }), 7);
    EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.speedIndex(); }), 3u);
  }
  EXPECT_EQ(state.image, written);

  ParameterState back;
  selectParameterLayout(back, c.model);
  ASSERT_EQ(run(line, back, false), TransferEnd::Done);
  EXPECT_EQ(back.image, written) << "read back:" << dump(back.image) << "\nwritten:" << dump(written);
}

INSTANTIATE_TEST_SUITE_P(EveryModel, ParameterRoundTrip,
                         ::testing::Values(RoundTrip{"LX-P1", 24}, RoundTrip{"LX-K3", 24}, RoundTrip{"LX-P2", 86},
                                           RoundTrip{"LX-K5", 64}, RoundTrip{"LX-K2", 32}, RoundTrip{"LX-K4", 16},
                                           RoundTrip{"HND  ", 16}),
                         [](const auto& info) { return std::string(info.param.model).substr(0, 5) == "HND  "
                                                           ? std::string("HND")
                                                           : std::string(info.param.model).erase(2, 1); });

TEST(ParameterRead, StoppedHalfwayOrFailedLeavesTheImageExactlyAsItWas) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  ParameterState state;
  selectParameterLayout(state, "LX-P2");
  state.image.at(4, 3) = 0xAB;
  ParameterImage before = state.image;

  Worker worker;
  ProgressQueue progress;
  TransferEnd end = TransferEnd::Done;
  ASSERT_TRUE(worker.start(progress, [&](Worker& w) { end = readAllParameters(w, line.link, line.messages, state); },
                           line.messages));
  int seen = 0;
  while (seen < 40) {
    auto e = progress.next(5000);
    ASSERT_TRUE(e);
    ASSERT_FALSE(e->close);
    EXPECT_EQ(e->update.second, ++seen) << "one refresh per word, counting from 1";
  }
  worker.stop();
  EXPECT_EQ(end, TransferEnd::Stopped);
  EXPECT_EQ(state.image, before);

  // A transaction failure (the user cancels the Retry question) too.
  line.terminal([](SimTerminal& t) {
    t.setHandler("2D", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      if (data == "47FD50") return std::nullopt;  // block 6 answers NAK
      std::string reply = "2D" + std::string(data);
      auto page = hex4ToU16(data.substr(0, 4));
      std::uint32_t address = std::uint32_t{*page} << 8 | static_cast<std::uint32_t>(hexPairAt(data, 4));
      for (std::uint32_t i = 0; i < 4; ++i) reply += byteToHex(t.peek(address + i));
      return reply;
    });
  });
  EXPECT_EQ(run(line, state, false), TransferEnd::Failed);
  EXPECT_EQ(state.image, before);
  EXPECT_EQ(line.prompt.texts().back(), kNakMessage);
}

TEST(ParameterRead, WrongEchoIsReadAgainAndNeverStored) {
  SimLine line("LX-K3");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.poke(0x23FC00 + 0x80, 0x42);  // block 1 byte 0
    t.wrongEchoes = 3;
  });
  ParameterState state;
  selectParameterLayout(state, "LX-K3");
  ASSERT_EQ(run(line, state, false), TransferEnd::Done);
  EXPECT_EQ(state.image.at(1, 0), 0x42);
  EXPECT_EQ(state.image.at(0, 4), 0x06);
  auto commands = line.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "2AFF00"), 4) << "the first word three times more";
}

TEST(ParameterWrite, FailedBlockGoesOnWithTheNextAndStillResets) {
  SimLine line("LX-K5");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.wrongEchoes = 1;  // the first-word read is answered for another address once
    t.poke(0x87FC01, 5);
    auto plain = [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      auto page = hex4ToU16(data.substr(0, 4));
      std::uint32_t address = std::uint32_t{*page} << 8 | static_cast<std::uint32_t>(hexPairAt(data, 4));
      for (std::uint32_t i = 0; i < 4; ++i) t.poke(address + i, static_cast<std::uint8_t>(hexPairAt(data, 6 + 2 * i)));
      return std::string();
    };
    t.setHandler("2E", [plain](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      if (data.substr(0, 6) == "87FCA4") return std::nullopt;  // block 2, second word
      return plain(t, data);
    });
  });
  ParameterState state;
  selectParameterLayout(state, "LX-K5");
  for (int b = 1; b < kParameterBlocks; ++b)
    for (std::size_t i = 0; i < kBlockSizes[static_cast<std::size_t>(b)]; ++i)
      state.image.at(b, i) = static_cast<std::uint8_t>(b * 16 + i);
  ASSERT_EQ(run(line, state, true), TransferEnd::Partial);
  auto commands = line.commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[0], "2D87FC00");
  EXPECT_EQ(commands[1], "2D87FC00") << "a wrong echo never gives bytes 0-1";
  EXPECT_EQ(commands.back(), "30");
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "2E87FCA8" + std::string("28292A2B")), 0)
      << "the rest of the failed block is skipped";
  line.terminal([](SimTerminal& t) {
    EXPECT_EQ(t.peek(0x87FC00), 1);
    EXPECT_EQ(t.peek(0x87FC01), 5) << "the line speed is the terminal's own";
    EXPECT_EQ(t.peek(0x87FCA0), 0x20) << "block 2's first word went";
    EXPECT_EQ(t.peek(0x87FCA8), 0x00) << "block 2 after the failure did not";
    EXPECT_EQ(t.peek(0x87FCC0), 0x30) << "block 3 is written all the same";
    EXPECT_EQ(t.peek(0x87FE1F), 0x9F);
  });
}

// The handheld's ring: the new slot is complete before the old one goes.
TEST(HandheldSlots, WriteMovesToTheNextSlotAndWrapsToTheFirst) {
  SimLine line("HND  ");
  ASSERT_TRUE(line.opened);
  ParameterState state;
  selectParameterLayout(state, "HND  ");
  state.image.at(0, 3) = 9;

  // Slot 1 in force: the write goes to slot 2 and then clears slot 1's mark.
  line.terminal([](SimTerminal& t) {
    sim::invalidateAllSlots(t, 0xFF);
    t.poke(0x27F000, 0x00);
    t.poke(0x27F040, 0x01);
    t.poke(0x27F041, 0x77);
  });
  ASSERT_EQ(run(line, state, true), TransferEnd::Done);
  auto commands = line.commands();
  std::vector<std::string> expected{"2D27F000", "2D27F040"};
  for (int w = 0; w < 16; ++w) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "2E%06X", 0x27F080 + 4 * w);
    std::string c = buf;
    for (int i = 0; i < 4; ++i) c += byteToHex(state.image.at(0, static_cast<std::size_t>(4 * w + i)));
    expected.push_back(c);
  }
  expected.push_back("2E27F0400077FFFF");  // the old mark cleared, bytes 1-3 as read
  expected.push_back("30");
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return sim::currentParameterSlot(t); }), 0x27F080u);
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.peek(0x27F083); }), 9);

  // Slot 63 in force: the write wraps to slot 0 and slot 63 stays as it was.
  line.terminal([](SimTerminal& t) {
    sim::invalidateAllSlots(t, 0x00);
    t.poke(0x27FFC0, 0x01);
  });
  auto lastBefore = line.terminal([](SimTerminal& t) { return sim::slotBytes(t, 0x27FFC0); });
  state.image.at(0, 3) = 10;
  ASSERT_EQ(run(line, state, true), TransferEnd::Done);
  line.terminal([&](SimTerminal& t) {
    EXPECT_EQ(sim::slotBytes(t, 0x27FFC0), lastBefore);
    EXPECT_EQ(sim::currentParameterSlot(t), 0x27F000u);
    EXPECT_EQ(t.peek(0x27F003), 10);
  });
  ParameterState back;
  selectParameterLayout(back, "HND  ");
  ASSERT_EQ(run(line, back, false), TransferEnd::Done);
  EXPECT_EQ(back.image.at(0, 3), 10) << "the next read finds slot 0";
}

TEST(HandheldSlots, IncompleteNewSlotLeavesTheOldOneInForce) {
  SimLine line("HND  ");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.setHandler("2E", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
      if (data.substr(0, 6) == "27F068") return std::nullopt;  // word 10 of slot 1
      auto page = hex4ToU16(data.substr(0, 4));
      std::uint32_t address = std::uint32_t{*page} << 8 | static_cast<std::uint32_t>(hexPairAt(data, 4));
      for (std::uint32_t i = 0; i < 4; ++i) t.poke(address + i, static_cast<std::uint8_t>(hexPairAt(data, 6 + 2 * i)));
      return std::string();
    });
  });
  ParameterState state;
  selectParameterLayout(state, "HND  ");
  EXPECT_EQ(run(line, state, true), TransferEnd::Partial);
  auto commands = line.commands();
  EXPECT_EQ(commands.back(), "30");
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("2E27F000", 0) == 0; }),
            0);
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return sim::currentParameterSlot(t); }), 0x27F000u);
}

TEST(HandheldSlots, NoSlotInForceReadsAndWritesNothingButStillResets) {
  for (std::uint8_t mark : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    SimLine line("HND  ");
    ASSERT_TRUE(line.opened);
    line.terminal([mark](SimTerminal& t) { sim::invalidateAllSlots(t, mark); });
    ParameterState state;
    selectParameterLayout(state, "HND  ");
    state.image.at(0, 5) = 0x33;
    ParameterImage before = state.image;
    EXPECT_EQ(run(line, state, false), TransferEnd::NoSlot);
    EXPECT_EQ(state.image, before);
    EXPECT_EQ(line.commands().size(), 64u);
    EXPECT_EQ(run(line, state, true), TransferEnd::NoSlot);
    auto commands = line.commands();
    ASSERT_EQ(commands.size(), 64u + 64u + 1u);
    EXPECT_EQ(commands.back(), "30");
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("2E", 0) == 0; }),
              0);
  }
}

TEST(ParameterFile, SaveLoadAndShortFiles) {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ParameterImage image;
  for (std::size_t i = 0; i < ParameterImage::kTotal; ++i) image.bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);

  ASSERT_TRUE(saveParameterFile(dir / "parametr.txt", image, messages));
  std::string text = dir.read("parametr.txt");
  ASSERT_EQ(text.size(), 1720u);
  EXPECT_EQ(text.substr(0, 15), "001\r\n008\r\n015\r\n");
  EXPECT_EQ(text.substr(64 * 5, 5), "161\r\n") << "block 1 follows block 0's 64th byte";

  ParameterImage loaded;
  loaded.at(0, 70) = 0x99;
  ASSERT_TRUE(loadParameterFile(dir / "parametr.txt", loaded));
  ParameterImage expected = image;
  std::fill(expected.block(0) + 64, expected.block(0) + 96, std::uint8_t{0});
  expected.at(0, 70) = 0x99;
  EXPECT_EQ(loaded, expected) << "blocks 0-8 come back, block 0 bytes 64-95 are never touched";

  // Blocks 0-6 only (280 lines): blocks 7 and 8 load as zero.
  dir.write("old.txt", text.substr(0, 280 * 5));
  ParameterImage old = image;
  ASSERT_TRUE(loadParameterFile(dir / "old.txt", old));
  for (int b = 7; b <= 8; ++b)
    for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(old.at(b, i), 0) << b;
  EXPECT_EQ(old.at(6, 39), image.at(6, 39));

  // An end inside block 7: both zero all the same.
  dir.write("mid.txt", text.substr(0, 290 * 5));
  ASSERT_TRUE(loadParameterFile(dir / "mid.txt", old));
  EXPECT_EQ(old.at(7, 0), 0);

  // 100 lines, a partial line, a missing file: refused, image untouched.
  ParameterImage kept = image;
  dir.write("short.txt", text.substr(0, 100 * 5));
  EXPECT_FALSE(loadParameterFile(dir / "short.txt", kept));
  dir.write("partial.txt", text.substr(0, 300 * 5 + 3));
  EXPECT_FALSE(loadParameterFile(dir / "partial.txt", kept));
  EXPECT_FALSE(loadParameterFile(dir / "missing.txt", kept));
  EXPECT_FALSE(loadParameterFile(dir.path(), kept)) << "a folder";
  EXPECT_EQ(kept, image);

  // Lines are read like atoi and kept to 8 bits.
  std::string odd = text;
  odd.replace(0, 5, "300\r\n");
  odd.replace(5, 5, " 12x\n");
  dir.write("odd.txt", odd);
  ASSERT_TRUE(loadParameterFile(dir / "odd.txt", kept));
  EXPECT_EQ(kept.at(0, 0), 300 & 0xFF);
  EXPECT_EQ(kept.at(0, 1), 12);

  // A save that cannot be done says so and leaves no file behind.
  EXPECT_FALSE(saveParameterFile(dir / "no-such-folder" / "p.txt", image, messages));
  EXPECT_FALSE(prompt.texts().empty());
}

}  // namespace
}  // namespace cfg
