// Capturing a fingerprint: a wrong parameter echo over a scripted line; then
// end to end against termsim's desk reader and its fingerprint module, over a
// pseudo-terminal and over TCP, the packets checked byte for byte.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "link/port_map.h"
#include "link/transaction.h"
#include "sim/sim_cards.h"
#include "sim/sim_server.h"
#include "sim/sim_terminal.h"

#include "link/frame.h"
#include "link/hex.h"
#include "tables/fingerprints_capture.h"
#include "tests/support/fake_transport.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

std::string packet(std::uint8_t command, std::uint8_t byte6, std::uint8_t byte10) {
  std::uint8_t p[9] = {};
  p[4] = byte6;
  p[8] = byte10;
  return buildPacket(command, p);
}

std::string xorReply(std::string data) {
  std::string f = std::string("\x01" "01\x02") + data + "\x03 \r";
  sealXor(f);
  return f;
}

// The packets the module gets, byte for byte, over a scripted line: a
// parameter found wrong is written, a failed second touch starts again.
TEST(FingerprintCapture, ConfiguresScansTwiceAndKeepsTheTemplate) {
  auto wire = std::make_shared<test::FakeWire>();
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.address = "01";
  link.config.tcp = true;  // no reopen at 38400
  ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire, LinkKind::Tcp), messages));

  wire->replies.push_back(xorReply("00"));
  // 'b' already '5'; 'e' reads '9' and is written; the others are right.
  const std::uint8_t codes[] = {'b', 'e', 'g', 'u', 'w', 0x82, 0x84};
  const std::uint8_t wanted[] = {'5', '2', '0', '0', '0', '0', '0'};
  for (int i = 0; i < 7; ++i) {
    wire->replies.push_back(packet(0x03, i == 1 ? '9' : wanted[i], codes[i]));
    if (i == 1) wire->replies.push_back(packet(0x01, '2', 'e'));
  }
  wire->replies.push_back(packet(0x02, 0, 0));     // save
  wire->replies.push_back(packet(0x17, 0, 0));     // start
  wire->replies.push_back(packet(0x05, 0, 'x'));   // no finger yet
  wire->replies.push_back(packet(0x05, 0, 'a'));   // first touch
  wire->replies.push_back(packet(0x05, 0, 'b'));   // second touch fails: "Errore!", again
  wire->replies.push_back(packet(0x17, 0, 0));
  wire->replies.push_back(packet(0x05, 0, 'a'));
  wire->replies.push_back(packet(0x05, 0, 'a'));
  std::string data;
  for (int i = 0; i < 384; ++i) data += static_cast<char>(i * 7);
  std::uint8_t p[9] = {};
  p[4] = 0x80;  // 384 bytes, low byte first
  p[5] = 0x01;
  p[8] = 'a';
  wire->replies.push_back(buildPacket(20, p) + data + "\n");

  Worker worker;
  CaptureResult result;
  std::vector<std::string> shown;
  runHeadless(
      worker, messages,
      [&](Worker& w) { result = captureFingerprint(w, link, messages, [](Link&) { return true; }, 100); }, 30000,
      [&](const ProgressUpdate& u) { shown.push_back(u.text); });
  ASSERT_EQ(result.end, CaptureEnd::Captured) << prompt.texts().size();
  EXPECT_EQ(result.digits, bytesToHex(data));

  const auto& sent = wire->sent;
  ASSERT_EQ(sent.size(), 19u);
  EXPECT_EQ(sent[0], xorReply("00").replace(4, 2, "00")) << hexDump(sent[0]);
  EXPECT_EQ(sent[1], packet(0x03, 0, 'b')) << hexDump(sent[1]);
  EXPECT_EQ(sent[3], packet(0x01, '2', 'e')) << hexDump(sent[3]);
  EXPECT_EQ(sent[9], packet(0x02, 0, 0)) << hexDump(sent[9]);
  EXPECT_EQ(sent[10], packet(0x17, 0, 0));
  EXPECT_EQ(sent[11], packet(0x05, 0, 0x79)) << hexDump(sent[11]);
  EXPECT_EQ(sent[13], packet(0x05, 0, 0)) << hexDump(sent[13]);
  std::uint8_t ask[9] = {1};
  EXPECT_EQ(sent[sent.size() - 2], buildPacket(0x14, ask)) << hexDump(sent[sent.size() - 2]);
  EXPECT_EQ(sent.back(), "+++");
  const std::vector<std::string> expected{kCaptureConnecting, kCapturePlaceFinger, kCaptureLiftFinger,
                                          kCapturePlaceAgain, kCaptureError,       kCapturePlaceFinger,
                                          kCaptureLiftFinger, kCapturePlaceAgain,  kCaptureWait};
  std::vector<std::string> texts;
  for (const auto& s : shown)
    if (!s.empty()) texts.push_back(s);
  EXPECT_EQ(texts, expected);
}

TEST(FingerprintCapture, AWrongParameterEchoEndsItWithPlusPlusPlus) {
  auto wire = std::make_shared<test::FakeWire>();
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.address = "01";
  ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire, LinkKind::Serial), messages));
  wire->replies.push_back(xorReply("00"));
  wire->replies.push_back(packet(0x03, '5', 'e'));  // asked for 'b'
  int reopened = 0;
  Worker worker;
  CaptureResult result;
  result.end = CaptureEnd::Captured;
  runHeadless(
      worker, messages,
      [&](Worker& w) {
        result = captureFingerprint(w, link, messages, [&](Link&) { return ++reopened, true; }, 100);
      },
      30000);
  EXPECT_EQ(result.end, CaptureEnd::Failed);
  EXPECT_EQ(reopened, 1);  // a serial desk reader goes to 38400 first
  EXPECT_TRUE(result.digits.empty());
  EXPECT_EQ(wire->sent.back(), "+++");
}

// A desk reader served by termsim, reached over a pseudo-terminal (as a
// serial port, reopened at 38400 for the module) or over TCP.
class DeskReaderCapture : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    sim::SimTerminal reader = sim::makeDeskReader(1);
    reader.cardReader.cards.push_back(sim::SimCard::blank("0BADF00D", false, '3'));
    server.add(std::move(reader));
    link.config.model = "DESK ";
    link.config.address = "01";
    if (GetParam()) {
      link.config.tcp = true;
      link.config.ipNetworkOrder = htonl(0x7F000001);
      link.config.tcpPort = server.listenTcp();
    } else {
      link.config.portName = "COM7";
      link.config.speed = 9600;
      ports.set("COM7", server.openPty());
    }
    server.start();
    ASSERT_TRUE(link.open(messages, ports));
  }

  template <typename F>
  auto withModule(F f) {
    return server.with(0, [&](sim::SimTerminal& t) { return f(t.cardReader.module); });
  }

  CaptureResult capture(std::vector<std::string>* texts = nullptr) {
    CaptureResult result;
    result.end = CaptureEnd::Captured;
    auto reopen = [this](Link& l) {
      ++reopened;
      l.close();
      l.config.speed = 38400;
      return l.open(messages, ports);
    };
    runHeadless(
        worker, messages, [&](Worker& w) { result = captureFingerprint(w, link, messages, reopen, 50); }, 60000,
        [&](const ProgressUpdate& u) {
          if (texts && !u.text.empty()) texts->push_back(u.text);
        });
    return result;
  }

  // The desk reader answers its card commands again: the module gave the line back.
  void expectCardReaderAnswers() {
    std::string look = buildRequest("01", "30"), reply;
    ASSERT_TRUE(transactXor(link, messages, look, reply, 64, 750, 17)) << prompt.texts().size();
    EXPECT_EQ(reply.substr(4, 10), "000BADF00D") << hexDump(reply);
  }

  sim::SimServer server;
  PortMap ports;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  Worker worker;
  int reopened = 0;
};

TEST_P(DeskReaderCapture, TheModulesTemplateArrivesByteExactAfterAMissAndAFailedTouch) {
  const std::string templ = sim::SimFingerprintModule::sampleTemplate(7);
  withModule([&](sim::SimFingerprintModule& m) {
    m.templateBytes = templ;
    m.noFinger = 2;    // the finger comes late
    m.badTouches = 1;  // and the second touch fails once
    return 0;
  });
  std::vector<std::string> texts;
  CaptureResult first = capture(&texts);
  ASSERT_EQ(first.end, CaptureEnd::Captured) << (prompt.texts().empty() ? "" : prompt.texts().back());
  EXPECT_EQ(first.digits, bytesToHex(templ));
  const std::vector<std::string> expected{kCaptureConnecting, kCapturePlaceFinger, kCaptureLiftFinger,
                                          kCapturePlaceAgain, kCaptureError,       kCapturePlaceFinger,
                                          kCaptureLiftFinger, kCapturePlaceAgain,  kCaptureWait};
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(reopened, GetParam() ? 0 : 1);
  // The factory 'b' was written and saved once; the session ended with "+++".
  withModule([](sim::SimFingerprintModule& m) {
    EXPECT_EQ(m.parameters['b'], '5');
    EXPECT_EQ(m.saves, 1);
    EXPECT_EQ(m.endings, 1);
    EXPECT_FALSE(m.active());
    // Read 'b', write '5' into 'b', ..., start, first touch, ..., template request.
    std::uint8_t readB[9] = {0, 0, 0, 0, 0, 0, 0, 0, 'b'}, writeB[9] = {0, 0, 0, 0, '5', 0, 0, 0, 'b'};
    std::uint8_t firstTouch[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0x79}, ask[9] = {1};
    EXPECT_EQ(m.packets.at(0), buildPacket(0x03, readB)) << hexDump(m.packets.at(0));
    EXPECT_EQ(m.packets.at(1), buildPacket(0x01, writeB)) << hexDump(m.packets.at(1));
    EXPECT_EQ(m.packets.at(9), buildPacket(0x17, {})) << hexDump(m.packets.at(9));
    EXPECT_EQ(m.packets.at(10), buildPacket(0x05, firstTouch)) << hexDump(m.packets.at(10));
    EXPECT_EQ(m.packets.back(), buildPacket(0x14, ask)) << hexDump(m.packets.back());
    m.packets.clear();
    return 0;
  });
  expectCardReaderAnswers();

  // A second capture on the same Link: nothing left to configure.
  CaptureResult second = capture();
  ASSERT_EQ(second.end, CaptureEnd::Captured);
  EXPECT_EQ(second.digits, first.digits);
  withModule([](sim::SimFingerprintModule& m) {
    EXPECT_EQ(m.saves, 1);
    EXPECT_EQ(m.sessions, 2);
    for (const auto& p : m.packets) EXPECT_NE(static_cast<std::uint8_t>(p[1]), 0x01) << hexDump(p);
    return 0;
  });
  expectCardReaderAnswers();
}

TEST_P(DeskReaderCapture, ASilentModuleIsReportedAndNeverCountsAsCaptured) {
  withModule([](sim::SimFingerprintModule& m) { return m.silent = -1; });
  prompt.script({Answer::Cancel});
  CaptureResult result = capture();
  EXPECT_EQ(result.end, CaptureEnd::Failed);
  EXPECT_TRUE(result.digits.empty());
  ASSERT_EQ(prompt.texts().size(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore non risponde.");
  // Three attempts at the first parameter, then "+++" all the same.
  withModule([](sim::SimFingerprintModule& m) {
    EXPECT_EQ(m.packets.size(), 3u);
    EXPECT_EQ(m.endings, 1);
    return 0;
  });
  expectCardReaderAnswers();
}

INSTANTIATE_TEST_SUITE_P(Lines, DeskReaderCapture, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Pty"; });

}  // namespace
}  // namespace cfg
