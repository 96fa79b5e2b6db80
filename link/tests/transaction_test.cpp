// Attempt rules of the transaction, over a transport that never waits.
#include <gtest/gtest.h>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"
#include "tests/support/fake_transport.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

using test::FakeTransport;
using test::FakeWire;
using test::ScriptedPrompt;

std::string ack(const char* address = "01") {
  std::string f = std::string{SOH} + address + ACK + " \r";
  sealMain(f);
  return f;
}
std::string nak(const char* address = "01") {
  std::string f = std::string{SOH} + address + NAK + " \r";
  sealMain(f);
  return f;
}
std::string data(std::string_view payload, const char* address = "01") {
  std::string f = buildRequest(address, payload);
  sealMain(f);
  return f;
}

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wire = std::make_shared<FakeWire>();
    link.config.model = "LX-P2";
    link.config.address = "01";
  }
  void openFake(LinkKind kind = LinkKind::Serial, int extraWait = 0) {
    ASSERT_TRUE(link.openWith(std::make_unique<FakeTransport>(wire, kind, extraWait), messages));
  }
  TxResult run(std::string_view command, int expected, int timeout = 200, std::size_t capacity = 64) {
    return exchange(link, messages, command, reply, capacity, timeout, expected);
  }

  std::shared_ptr<FakeWire> wire;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  std::string reply;
};

TEST_F(TransactionTest, AckSatisfiesExpectedSix) {
  openFake();
  wire->replies = {ack()};
  TxResult r = run("30", 6);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.length, 6);
  ASSERT_EQ(wire->sent.size(), 1u);
  EXPECT_EQ(validateMain(wire->sent[0]), 9) << "request sent with its check byte: " << hexDump(wire->sent[0]);
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(TransactionTest, NakFailsEachAttemptThenAsksWithNakText) {
  openFake();
  wire->replies = {nak(), nak(), nak()};
  TxResult r = run("30", 6);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(wire->sent.size(), 3u);
  ASSERT_EQ(prompt.count(), 1u);
  PromptRequest shown = prompt.shown()[0];
  EXPECT_EQ(shown.text, "Errore: il lettore risponde NAK.");
  EXPECT_EQ(shown.title, "Error Message");
  EXPECT_EQ(shown.icon, Icon::Error);
  EXPECT_EQ(shown.buttons, Buttons::RetryCancel);
}

TEST_F(TransactionTest, OneNakAmongSilencesStillReportsNak) {
  openFake();
  wire->replies = {"", nak(), ""};
  EXPECT_FALSE(run("30", 6).ok);
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore risponde NAK.");
}

TEST_F(TransactionTest, SilenceReportsNoAnswerAndRetryStartsANewSeries) {
  openFake();
  // First series: nothing. Retry. Second series: a NAK, then the answer.
  wire->replies = {"", "", "", nak(), data("36A501", "01")};
  prompt.script({Answer::Retry});
  TxResult r = run("36", 13);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.length, 13);
  EXPECT_EQ(wire->sent.size(), 5u);
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore non risponde.");
  // The request is resent unchanged.
  for (const auto& s : wire->sent) EXPECT_EQ(s, wire->sent[0]);
}

TEST_F(TransactionTest, AckDoesNotSatisfyADataRequest) {
  openFake();
  wire->replies = {ack(), ack(), ack()};
  EXPECT_FALSE(run("36", 13).ok);
  EXPECT_EQ(prompt.texts().at(0), "Errore: il lettore non risponde.");
}

TEST_F(TransactionTest, AnyValidReplyOfNineOrMoreIsAccepted) {
  openFake();
  wire->replies = {data("28")};  // 9 bytes where 23 are expected
  TxResult r = run("28", 23);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.length, 9) << "callers must see that the reply is short";
}

TEST_F(TransactionTest, ValidSevenOrEightByteRepliesOfTheWrongLengthFail) {
  openFake();
  std::string seven = buildRequest("01", "");  // SOH a a STX ETX c CR
  sealMain(seven);
  std::string eight = buildRequest("01", "X");
  sealMain(eight);
  ASSERT_EQ(validateMain(seven), 7);
  ASSERT_EQ(validateMain(eight), 8);
  wire->replies = {seven, eight, seven};
  EXPECT_FALSE(run("36", 13).ok);
  EXPECT_EQ(wire->sent.size(), 3u);
  // The same lengths pass when they are the ones expected.
  wire->replies = {eight};
  EXPECT_TRUE(run("36", 8).ok);
}

TEST_F(TransactionTest, CorruptOrTruncatedRepliesAreRetried) {
  openFake();
  std::string good = data("36A501");
  std::string badCheck = good;
  badCheck[good.size() - 2] ^= 0x20;
  wire->replies = {badCheck, good.substr(0, 8), good};
  TxResult r = run("36", 13);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(reply, good) << hexDump(reply);
}

TEST_F(TransactionTest, ReplyBufferIsClearedBeforeEachAttempt) {
  openFake();
  std::string good = data("36A501");
  wire->replies = {good, ""};
  ASSERT_TRUE(run("36", 13).ok);
  EXPECT_FALSE(run("36", 13).ok);
  EXPECT_TRUE(reply.empty()) << hexDump(reply);
}

TEST_F(TransactionTest, ReplyLongerThanCapacityIsNeverReadPastTheBuffer) {
  openFake();
  wire->replies = {data(std::string(200, '7'))};
  EXPECT_FALSE(run("34", 41, 200, 64).ok);
  EXPECT_LE(reply.size(), 64u);
}

TEST_F(TransactionTest, ReplyArrivingInSmallChunksIsAssembled) {
  openFake();
  wire->chunk = 1;
  wire->replies = {data("2820260305080709")};
  TxResult r = run("28", 23);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.length, 23);
}

TEST_F(TransactionTest, AskOnFailureClearedFailsSilently) {
  openFake();
  messages.flags.askOnFailure = false;
  EXPECT_FALSE(run("30", 6).ok);
  EXPECT_EQ(wire->sent.size(), 3u);
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_F(TransactionTest, SingleAttemptModelsWaitFiveSecondsLonger) {
  for (const char* model : {"LX-K4", "LX-K1", "LX-K5"}) {
    wire = std::make_shared<FakeWire>();
    prompt.clear();
    link.config.model = model;
    openFake();
    EXPECT_FALSE(run("30", 6, 200).ok);
    EXPECT_EQ(wire->sent.size(), 1u) << model;
    ASSERT_EQ(wire->deadlinesMs.size(), 1u);
    EXPECT_NEAR(wire->deadlinesMs[0], 5200, 20) << model;
    EXPECT_EQ(prompt.count(), 1u);
  }
  for (const char* model : {"LX-K2", "LX-K3", "LX-P1", "LX-P2", "HND  "}) {
    wire = std::make_shared<FakeWire>();
    link.config.model = model;
    openFake();
    EXPECT_FALSE(run("30", 6, 200).ok);
    EXPECT_EQ(wire->sent.size(), 3u) << model;
    EXPECT_NEAR(wire->deadlinesMs.at(0), 200, 20) << model;
  }
}

TEST_F(TransactionTest, ModemAndTransportExtraWaits) {
  link.config.modem = true;
  openFake(LinkKind::Serial, 500);  // a serial line at 1200 baud adds 500 ms
  messages.flags.askOnFailure = false;
  run("30", 6, 200);
  EXPECT_NEAR(wire->deadlinesMs.at(0), 200 + 3000 + 500, 20);

  link.config.model = "LX-K1";
  wire->deadlinesMs.clear();
  run("30", 6, 200);
  EXPECT_NEAR(wire->deadlinesMs.at(0), 200 + 3000 + 5000 + 500, 20);
}

TEST_F(TransactionTest, EchoIsDroppedAndACrInsideItDoesNotEndTheWait) {
  link.config.echo = true;
  openFake();
  wire->echo = true;
  wire->chunk = 3;  // the echo's CR arrives alone in a read
  wire->replies = {ack()};
  TxResult r = run("30", 6);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(reply, ack()) << hexDump(reply);
}

TEST_F(TransactionTest, EchoWithoutReplyIsNothing) {
  link.config.echo = true;
  openFake();
  wire->echo = true;
  messages.flags.askOnFailure = false;
  std::string frame = buildRequest("01", "30");
  TxResult r = transact(link, messages, frame, reply, 64, 200, 6);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(link.receiveFrame(reply, 64, 10), 0);
}

TEST_F(TransactionTest, XorVariantAcceptsExpectedOrNineAndAlwaysAsks) {
  openFake();
  messages.flags.askOnFailure = false;  // the card reader's variant asks anyway
  std::string frame = buildRequest("00", "30");
  std::string nine = buildRequest("00", "40");
  sealXor(nine);
  wire->replies = {nine};
  EXPECT_TRUE(transactXor(link, messages, frame, reply, 64, 200, 21).ok);
  EXPECT_EQ(static_cast<std::uint8_t>(wire->sent[0][7]), xorCheckByte(wire->sent[0]));

  std::string mainChecked = buildRequest("00", "40");
  sealMain(mainChecked);
  wire->replies = {mainChecked, nak("00"), ""};
  EXPECT_FALSE(transactXor(link, messages, frame, reply, 64, 200, 21).ok);
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore non risponde.");
}

TEST_F(TransactionTest, PacketVariantNeedsTheExpectedLength) {
  openFake();
  const std::uint8_t params[9] = {};
  std::string request = buildPacket(0x01, params);
  request[11] = 0;
  std::string answer = buildPacket(0x30, params);
  wire->replies = {answer};
  EXPECT_TRUE(transactPacket(link, messages, request, reply, 64, 200, 13).ok);
  EXPECT_EQ(static_cast<std::uint8_t>(wire->sent[0][11]), 0x41);

  messages.flags.askOnFailure = false;
  wire->replies = {answer, answer, answer};
  EXPECT_FALSE(transactPacket(link, messages, request, reply, 64, 200, 20).ok);
  EXPECT_EQ(prompt.count(), 0u);
}

}  // namespace
}  // namespace cfg
