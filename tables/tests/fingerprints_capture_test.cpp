// Capturing a fingerprint: the packets the module gets, byte for byte, over
// a scripted line.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace cfg
