// The card worker against a simulated desk reader: cards laid on it, read,
// written, their templates added and erased, byte for byte on the card.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "cards/card_worker.h"
#include "link/hex.h"
#include "link/frame.h"
#include "link/progress.h"
#include "sim/sim_cards.h"
#include "sim/sim_server.h"
#include "sim/sim_terminal.h"
#include "tests/support/scripted_prompt.h"

namespace cfg::cards {
namespace {

using sim::SimCard;

Block labelBlock(const char* text) {
  Block b{};
  for (std::size_t i = 0; i < 16 && text[i]; ++i) b[i] = static_cast<std::uint8_t>(text[i]);
  return b;
}

SimCard labelled(std::string serial, bool is4k, char family, const char* label, char letter) {
  SimCard c = SimCard::blank(std::move(serial), is4k, family);
  c.blocks[1] = labelBlock(label);
  c.blocks[2] = formatBlock(letter);
  return c;
}

std::string templ(int seed) {
  std::string bytes;
  for (int i = 0; i < 384; ++i) bytes += static_cast<char>((seed + i * 3) & 0xFF);
  return bytesToHex(bytes);
}

class CardWorkerTest : public ::testing::Test {
 protected:
  void start(char letter) {
    server.add(sim::makeDeskReader(1));
    link.config.model = "DESK ";
    link.config.address = addressText(1);
    link.config.portName = "COM8";
    ports.set("COM8", server.openPty());
    server.start();
    ASSERT_TRUE(link.open(messages, ports));
    session = std::make_unique<CardSession>(letter);
    ASSERT_TRUE(worker.start(events, [this](Worker& w) { runCardWorker(w, link, messages, *session); }, messages));
  }
  void TearDown() override { worker.stop(); }

  template <typename F>
  auto reader(F f) {
    return server.with(0, [&](sim::SimTerminal& t) { return f(t.cardReader); });
  }
  void lay(SimCard card) {
    reader([&](sim::SimCardReaderState& r) {
      r.cards.clear();
      r.cards.push_back(std::move(card));
      return 0;
    });
  }
  void lift() {
    reader([](sim::SimCardReaderState& r) {
      r.cards.clear();
      return 0;
    });
  }
  Block block(int n) {
    return reader([n](sim::SimCardReaderState& r) { return r.cards.at(0).blocks.at(static_cast<std::size_t>(n)); });
  }
  // Waits until the session shows `text` in its status line (5 s at most).
  bool statusBecomes(const std::string& text) {
    return eventually([&] { return session->status() == text; });
  }
  bool eventually(const std::function<bool()>& test) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (test()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  sim::SimServer server;
  PortMap ports;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  ProgressQueue events;
  Worker worker;
  std::unique_ptr<CardSession> session;
};

TEST_F(CardWorkerTest, FormatAWrittenCheckedAndFilledWithTemplates) {
  start('A');
  ASSERT_TRUE(statusBecomes(kBringCard));
  // A version-2 4K card of format "@", found by the 4x family, with a badge
  // record in its record area.
  const std::string serial = "0A1B2C3D";
  SimCard card = labelled(serial, true, '4', "VELMARINO 4k 002", '@');
  card.blocks[100][5] = 0x77;
  card.blocks[91][0] = 0xFF;  // a sector trailer: the reader refuses writes there
  lay(card);
  ASSERT_TRUE(statusBecomes(kNotInitialised)) << session->status();
  ASSERT_TRUE(eventually([&] { return session->view().serial == serial; }));
  reader([](sim::SimCardReaderState& r) {
    r.keyLoads.clear();
    return 0;
  });

  // "&Scrivi" answered Yes to erasing the card's records.
  const HolderA holder{42, 3, 999999999, 12, "VERDI GIUSEPPE"};
  session->writeA = holder;
  ASSERT_TRUE(session->request(Operation::WriteAndEraseRecords));
  EXPECT_FALSE(session->request(Operation::Write));  // one at a time
  ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None && session->view().a.has_value(); }))
      << session->status();
  EXPECT_EQ(session->status(), "");
  const auto expected = encodeA(holder, serial);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(blockHex(block(32 + i)), blockHex(expected[static_cast<std::size_t>(i)])) << i;
  EXPECT_EQ(blockHex(block(2)), "41" + std::string(30, '0'));
  EXPECT_EQ(blockHex(block(88)), "5431" + std::string(28, '0'));
  EXPECT_TRUE(allZero(block(100)));
  EXPECT_EQ(block(91)[0], 0xFF);
  // Keys: derived to read, "01" derived before the holder data, "00" after
  // it and before each record block, then the stored key to read the
  // holder data back and the derived key again.
  const std::string key = *derivedKey(serial);
  auto loads = reader([](sim::SimCardReaderState& r) { return r.keyLoads; });
  ASSERT_GE(loads.size(), 35u);
  EXPECT_EQ(loads[0], "00" + key);
  EXPECT_EQ(loads[1], "01" + key);
  EXPECT_EQ(loads[2], "00" + key);
  for (std::size_t i = 3; i < 33; ++i) EXPECT_EQ(loads[i], "00" + key) << i;  // 30 record blocks
  EXPECT_EQ(loads[33], std::string("00") + kStoredKey);
  EXPECT_EQ(loads[34], "00" + key);
  CardView v = session->view();
  EXPECT_EQ(v.a->plant, 42u);
  EXPECT_EQ(v.a->user, 999999999ul);
  EXPECT_EQ(v.a->name, "VERDI GIUSEPPE      ");
  EXPECT_EQ(v.offered, 5);
  EXPECT_EQ(v.present, 0);

  // One name byte changed on the card: check 2 fails; the plant: check 1.
  reader([](sim::SimCardReaderState& r) {
    r.cards[0].blocks[33][2] ^= 0x01;
    return 0;
  });
  ASSERT_TRUE(statusBecomes(kCrc2Error)) << session->status();
  reader([](sim::SimCardReaderState& r) {
    r.cards[0].blocks[33][2] ^= 0x01;
    r.cards[0].blocks[32][0] ^= 0x01;
    return 0;
  });
  ASSERT_TRUE(statusBecomes(kCrc1Error)) << session->status();
  reader([](sim::SimCardReaderState& r) {
    r.cards[0].blocks[32][0] ^= 0x01;
    return 0;
  });
  ASSERT_TRUE(statusBecomes(""));

  // Five templates fill a card offering five; the sixth is refused.
  for (int k = 0; k < 5; ++k) {
    ASSERT_EQ(session->addRefusal(), "");
    session->templateDigits = templ(k);
    ASSERT_TRUE(session->request(Operation::AddTemplate));
    ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None && session->view().present == k + 1; }))
        << k << " " << session->status();
  }
  EXPECT_EQ(session->addRefusal(), kNoSpace);
  const auto blocks = templateBlocks(Family::F4x, 4);
  std::string onCard;
  for (int b : blocks) onCard += blockHex(block(b));
  EXPECT_EQ(onCard, templ(4));

  // Erase requested, then another card presented: refused, the operation ends.
  ASSERT_TRUE(session->request(Operation::EraseTemplates));
  SimCard first = reader([](sim::SimCardReaderState& r) { return r.cards.at(0); });
  lay(labelled("99887766", true, '4', "VELMARINO 4k 001", 'A'));
  ASSERT_TRUE(statusBecomes(kCardSwapped)) << session->status();
  ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None; }));
  lift();
  ASSERT_TRUE(eventually([&] { return session->view().serial.empty(); }));
  // The first card back, still with its five templates; now they go.
  lay(first);
  ASSERT_TRUE(eventually([&] { return session->view().present == 5; }));
  ASSERT_TRUE(session->request(Operation::EraseTemplates));
  ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None && session->view().present == 0; }));
  for (int start : templateStarts(Family::F4x)) EXPECT_TRUE(allZero(block(start))) << start;
  EXPECT_EQ(blockHex(block(129)), blockHex(*blockOfHex(templ(0).substr(32, 32))));  // only start blocks are cleared
  EXPECT_EQ(session->eraseRefusal(), kNoTemplateToErase);
}

TEST_F(CardWorkerTest, FormatBAndOneTemplateCards) {
  start('B');
  // An unknown version on a 1K label.
  lay(labelled("00000001", false, '3', "VELMARINO 1k 003", 'B'));
  ASSERT_TRUE(statusBecomes(kUnknownCard)) << session->status();
  lift();
  ASSERT_TRUE(statusBecomes(kBringCard));

  // A 1K version-1 card of format "A", found by the 3x family: written as "B".
  const std::string serial = "CAFE0001";
  lay(labelled(serial, false, '3', "VELMARINO 1k 001", 'A'));
  ASSERT_TRUE(statusBecomes(kNotInitialised)) << session->status();
  ASSERT_TRUE(eventually([&] { return session->view().serial == serial; }));
  const HolderB holder{7, 1234, "ABCDEF", "NERI", "0102030405"};
  session->writeB = holder;
  ASSERT_TRUE(session->request(Operation::Write));
  ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None && session->view().b.has_value(); }))
      << session->status();
  const auto expected = encodeB(holder);
  EXPECT_EQ(blockHex(block(16)) + blockHex(block(17)), blockHex(expected[0]) + blockHex(expected[1]));
  EXPECT_EQ(blockHex(block(2)), "42" + std::string(30, '0'));
  // Version 1: no key but the derived one, mode "00".
  auto loads = reader([](sim::SimCardReaderState& r) { return r.keyLoads; });
  for (const auto& l : loads) EXPECT_EQ(l.substr(0, 2), "00");
  EXPECT_EQ(session->view().b->code, "0000ABCDEF");

  // One template on a card offering one, then no space.
  EXPECT_EQ(session->view().offered, 1);
  session->templateDigits = templ(9);
  ASSERT_TRUE(session->request(Operation::AddTemplate));
  ASSERT_TRUE(eventually([&] { return session->pending() == Operation::None && session->view().present == 1; }));
  std::string onCard;
  for (int b : templateBlocks(Family::F3x, 0)) onCard += blockHex(block(b));
  EXPECT_EQ(onCard, templ(9));
  EXPECT_EQ(session->addRefusal(), kNoSpace);

  // A CRC residue other than 0.
  reader([](sim::SimCardReaderState& r) {
    r.cards[0].blocks[17][15] ^= 0x80;
    return 0;
  });
  ASSERT_TRUE(statusBecomes(kCrcError)) << session->status();
}

}  // namespace
}  // namespace cfg::cards
